// Load on keyglass-share over loopback: N clients, each listing and publishing in turn for a fixed
// time (KG_LOAD_SECONDS, default 10), against SQLite or the database KG_LOAD_DB names. Reports
// requests per second, the 99th-percentile latency and the presets stored afterwards (which must
// equal the accepted publishes).

#include "presets/DevicePreset.h"
#include "share/ShareServer.h"
#include "share/ShareStorage.h"

#include <benchmark/benchmark.h>
#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using namespace keyglass;
using Clock = std::chrono::steady_clock;

std::string presetBody()
{
    DevicePreset p;
    p.id = "custom-load";
    p.name = "Load";
    p.appId = "load";
    p.appName = "Load";
    p.category = "Bench";
    p.os = "macos";
    p.deviceProfile = "quadgrid";
    p.description = "";
    PresetLayer layer;
    layer.name = "Base";
    layer.keys = std::vector<std::vector<std::string>>(4, {"KC_A", "LCTL(KC_C)", "KC_VOLU", "MO(1)"});
    p.layers = {layer, layer};
    p.layers[1].index = 1;
    return presetToJson(p).dump();
}

void BM_ShareLoad(benchmark::State& state)
{
    const int clients = static_cast<int>(state.range(0));
    const char* secondsText = std::getenv("KG_LOAD_SECONDS");
    const auto duration = std::chrono::seconds(secondsText ? std::max(1, std::atoi(secondsText)) : 10);
    const auto folder = std::filesystem::temp_directory_path() / ("kg-share-load-" + std::to_string(::getpid()));
    std::filesystem::remove_all(folder);

    for (auto _ : state) {
        // KG_LOAD_DB names another database, for example a PostgreSQL server: postgresql://...
        const char* database = std::getenv("KG_LOAD_DB");
        auto storage = openShareStorage(database && *database ? std::string(database)
                                                              : "sqlite:" + (folder / "share.db").string());
        if (!storage) {
            state.SkipWithError(storage.error().message.c_str());
            return;
        }
        ShareServerOptions options;
        options.port = 0;
        options.limits.publishesPerMinute = 1'000'000; // every client shares one loopback address
        auto server = ShareServer::create(**storage, options);
        if (!server || !(*server)->start()) {
            state.SkipWithError("server did not start");
            return;
        }
        const int port = (*server)->port();
        const std::string body = presetBody();
        std::mutex mutex;
        std::vector<double> latencies;
        std::atomic<long> accepted{0}, failed{0};
        const auto end = Clock::now() + duration;
        std::vector<std::thread> threads;
        for (int c = 0; c < clients; ++c)
            threads.emplace_back([&] {
                httplib::Client client("127.0.0.1", port);
                client.set_keep_alive(true);
                std::vector<double> mine;
                for (bool publish = false; Clock::now() < end; publish = !publish) {
                    const auto start = Clock::now();
                    auto res = publish ? client.Post("/api/presets", body, "application/json")
                                       : client.Get("/api/presets?source=community&limit=20");
                    mine.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
                    if (!res || (res->status != 200 && res->status != 201))
                        ++failed;
                    else if (publish)
                        ++accepted;
                }
                std::lock_guard lock(mutex);
                latencies.insert(latencies.end(), mine.begin(), mine.end());
            });
        for (auto& t : threads)
            t.join();
        (*server)->stop();
        std::sort(latencies.begin(), latencies.end());
        const double seconds = std::chrono::duration<double>(duration).count();
        state.counters["requests_per_s"] = static_cast<double>(latencies.size()) / seconds;
        state.counters["p50_ms"] = latencies.empty() ? 0 : latencies[latencies.size() / 2];
        state.counters["p99_ms"] = latencies.empty() ? 0 : latencies[latencies.size() * 99 / 100];
        state.counters["failed"] = static_cast<double>(failed.load());
        state.counters["accepted"] = static_cast<double>(accepted.load());
        state.counters["presets_stored"] = static_cast<double>((*storage)->count().value_or(-1));
    }
    std::filesystem::remove_all(folder);
}

BENCHMARK(BM_ShareLoad)->Arg(4)->Arg(16)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
