// keyglass-share's answers: the publish checks (shape, limits, safety), the rate limit, listing and
// paging, the preset page, over the service directly and over HTTP on 127.0.0.1.

#include "share/ShareService.h"
#include "presets/DevicePreset.h"
#include "share/ShareStorage.h"
#include "support/ShareFixture.h"
#include "support/SharePresets.h"
#include "support/TempHome.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <httplib.h>

#include <cstdlib>
#include <set>
#include <unistd.h>

namespace keyglass::test {
namespace {

std::string body(const DevicePreset& preset)
{
    return presetToJson(preset).dump();
}

nlohmann::json parsed(const std::string& text)
{
    return nlohmann::json::parse(text, nullptr, false);
}

TEST(SharePublishChecks, RefusesWhatTheClientWouldRefuse)
{
    const ShareLimits limits;
    const auto blocked = decodePublishRequest(body(blockedPreset()), limits);
    ASSERT_FALSE(blocked);
    EXPECT_EQ(blocked.error().status, 422);
    EXPECT_EQ(blocked.error().errors, std::vector<std::string>{"L0 (0,0): Blocked bootloader/reset token \"QK_BOOT\""});

    auto sneaky = sharePreset();
    sneaky.layers[0].encoders = std::vector<std::vector<std::string>>{{"KC_A", "0x7E00"}};
    sneaky.tapDances = std::vector<PresetTapDance>{{3, "KC_A", "EE_CLR", "", "", 200, std::nullopt}};
    const auto several = decodePublishRequest(body(sneaky), limits);
    ASSERT_FALSE(several);
    EXPECT_EQ(several.error().errors.size(), 2u) << testing::PrintToString(several.error().errors);

    EXPECT_TRUE(decodePublishRequest(body(sharePreset()), limits));
}

TEST(SharePublishChecks, SizeAndShapeLimits)
{
    ShareLimits limits;
    auto tooBig = sharePreset();
    tooBig.description = std::string(257 * 1024, 'x');
    EXPECT_EQ(decodePublishRequest(body(tooBig), limits).error().status, 413);

    auto manyLayers = sharePreset();
    const PresetLayer first = manyLayers.layers[0];
    while (manyLayers.layers.size() < 33)
        manyLayers.layers.push_back(first);
    const auto layers = decodePublishRequest(body(manyLayers), limits);
    ASSERT_FALSE(layers);
    EXPECT_EQ(layers.error().errors[0], "Preset has more than 32 layers");
    manyLayers.layers.resize(32);
    EXPECT_TRUE(decodePublishRequest(body(manyLayers), limits));

    auto wide = sharePreset();
    wide.layers[0].keys = std::vector<std::vector<std::string>>(16, std::vector<std::string>(16, "KC_A"));
    EXPECT_TRUE(decodePublishRequest(body(wide), limits));
    wide.layers[0].keys[3].push_back("KC_B");
    EXPECT_EQ(decodePublishRequest(body(wide), limits).error().errors[0], "Layer 0 has more than 256 keys");

    for (const char* junk : {"", "[]", "{\"name\":\"x\"}", "{{{{", "null"}) {
        const auto refused = decodePublishRequest(junk, limits);
        ASSERT_FALSE(refused) << junk;
        EXPECT_EQ(refused.error().status, 400);
        EXPECT_TRUE(refused.error().errors[0].starts_with("Not a preset: ")) << refused.error().errors[0];
    }
}

TEST(ShareIDs, AreRandom128BitHex)
{
    std::set<std::string> seen;
    for (int i = 0; i < 200; ++i) {
        const auto id = newShareID();
        EXPECT_TRUE(isShareID(id)) << id;
        seen.insert(id);
    }
    EXPECT_EQ(seen.size(), 200u);
    EXPECT_FALSE(isShareID("../../etc/passwd"));
    EXPECT_FALSE(isShareID(std::string(32, 'G')));
}

TEST(ShareText, HtmlEscaping)
{
    EXPECT_EQ(htmlEscape("<script>alert(\"x\" & 'y')</script>"),
              "&lt;script&gt;alert(&quot;x&quot; &amp; &#39;y&#39;)&lt;/script&gt;");
}

class ShareServiceTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        auto opened = openShareStorage("sqlite:" + (home.path() / "share.db").string());
        ASSERT_TRUE(opened) << opened.error().message;
        storage = std::move(*opened);
        service =
            std::make_unique<ShareService>(*storage, "https://share.test/", ShareLimits{}, [this] { return now; });
    }
    TempHome home;
    std::unique_ptr<ShareStorage> storage;
    std::unique_ptr<ShareService> service;
    std::chrono::steady_clock::time_point now{};
};

TEST_F(ShareServiceTest, PublishStoresACommunityCopy)
{
    auto preset = sharePreset();
    preset.builtIn = true;
    preset.author = "   ";
    const auto reply = service->publish(body(preset), "10.0.0.1");
    ASSERT_EQ(reply.status, 201) << reply.body;
    const auto answer = parsed(reply.body);
    EXPECT_EQ(answer["ok"], true);
    const std::string id = answer["preset"]["id"];
    EXPECT_EQ(answer["shareUrl"], "https://share.test/p/" + id);
    const auto stored = storage->find(id);
    ASSERT_TRUE(stored && *stored);
    const auto back = decodePreset((*stored)->json);
    ASSERT_TRUE(back);
    EXPECT_FALSE(back->builtIn);
    EXPECT_EQ(back->community, true);
    EXPECT_EQ(back->verifiedSafe, true);
    EXPECT_EQ(back->author, "Community");
}

TEST_F(ShareServiceTest, RateLimitPerClientPerMinute)
{
    for (int i = 0; i < 10; ++i)
        ASSERT_EQ(service->publish(body(sharePreset()), "10.0.0.1").status, 201) << i;
    const auto limited = service->publish(body(sharePreset()), "10.0.0.1");
    EXPECT_EQ(limited.status, 429);
    EXPECT_EQ(parsed(limited.body)["ok"], false);
    // Refused attempts count too, and another address has its own allowance.
    EXPECT_EQ(service->publish("garbage", "10.0.0.2").status, 400);
    EXPECT_EQ(service->publish(body(sharePreset()), "10.0.0.2").status, 201);
    now += std::chrono::seconds(61);
    EXPECT_EQ(service->publish(body(sharePreset()), "10.0.0.1").status, 201);
    EXPECT_EQ(storage->count().value_or(0), 12);
}

TEST_F(ShareServiceTest, ListsNewestFirstInPages)
{
    for (const char* name : {"One", "Two", "Three"})
        ASSERT_EQ(service->publish(body(sharePreset(name)), "c").status, 201);
    auto names = [&](std::optional<std::string_view> limit, std::optional<std::string_view> offset) {
        const auto reply = service->list("community", limit, offset);
        EXPECT_EQ(reply.status, 200) << reply.body;
        std::vector<std::string> out;
        const auto answer = parsed(reply.body);
        for (const auto& p : answer["community"])
            out.push_back(p["name"]);
        return out;
    };
    EXPECT_EQ(names(std::nullopt, std::nullopt), (std::vector<std::string>{"Three", "Two", "One"}));
    EXPECT_EQ(names("2", std::nullopt), (std::vector<std::string>{"Three", "Two"}));
    EXPECT_EQ(names("2", "2"), (std::vector<std::string>{"One"}));
    EXPECT_EQ(service->list("community", "-1", std::nullopt).status, 400);
    EXPECT_EQ(service->list("community", "ten", std::nullopt).status, 400);
    EXPECT_EQ(service->list("official", std::nullopt, std::nullopt).status, 400);
}

TEST_F(ShareServiceTest, PageEscapesEveryText)
{
    auto preset = sharePreset("<script>alert(1)</script>");
    preset.appName = "A&B";
    preset.author = "\"Eve\"";
    preset.layers[0].name = "<b>Base</b>";
    preset.description = "KC_B<img src=x>";
    const auto reply = service->publish(body(preset), "c");
    ASSERT_EQ(reply.status, 201);
    const std::string id = parsed(reply.body)["preset"]["id"];

    const auto html = service->page(id, false);
    EXPECT_EQ(html.status, 200);
    EXPECT_EQ(html.contentType, "text/html; charset=utf-8");
    EXPECT_EQ(html.body.find("<script>"), std::string::npos);
    EXPECT_EQ(html.body.find("<img"), std::string::npos);
    EXPECT_EQ(html.body.find("<b>"), std::string::npos);
    EXPECT_NE(html.body.find("&lt;script&gt;alert(1)&lt;/script&gt;"), std::string::npos);
    EXPECT_NE(html.body.find("A&amp;B"), std::string::npos);
    EXPECT_NE(html.body.find("&quot;Eve&quot;"), std::string::npos);
    EXPECT_NE(html.body.find("macOS"), std::string::npos);

    const auto json = service->page(id, true);
    EXPECT_EQ(json.contentType, "application/json");
    EXPECT_EQ(parsed(json.body)["name"], "<script>alert(1)</script>");

    EXPECT_EQ(service->page(newShareID(), true).status, 404);
    EXPECT_EQ(service->page("'; DROP TABLE presets; --", false).status, 404);
}

int run(const std::string& command)
{
    return std::system((command + " >/dev/null 2>&1").c_str());
}

// The same storage contract against SQLite and, where a throwaway cluster can be started, PostgreSQL.
class StorageContract : public ::testing::TestWithParam<std::string>
{
protected:
    void SetUp() override;
    void TearDown() override;
    TempHome home;
    std::unique_ptr<ShareStorage> storage;
    std::filesystem::path cluster;
    std::filesystem::path scratch;
    std::string asUser;
};

void StorageContract::SetUp()
{
    std::string database;
    if (GetParam() == "sqlite") {
        database = "sqlite:" + (home.path() / "sub" / "share.db").string();
    } else {
        const std::string bin = "/usr/lib/postgresql/15/bin/";
        if (!std::filesystem::exists(bin + "initdb"))
            GTEST_SKIP() << "PostgreSQL 15 server binaries missing: skipping the PostgreSQL storage tests";
        // initdb refuses to run as root: the throwaway cluster then belongs to the postgres account.
        if (::geteuid() == 0) {
            if (run("id postgres") != 0)
                GTEST_SKIP() << "running as root without a postgres account: skipping the PostgreSQL storage tests";
            asUser = "runuser -u postgres -- ";
        }
        char pattern[] = "/tmp/kg-pg-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        scratch = pattern;
        cluster = scratch / "data";
        const auto socketDir = scratch / "sock";
        std::filesystem::create_directories(socketDir);
        if (!asUser.empty())
            run("chown -R postgres " + scratch.string());
        if (run(asUser + bin + "initdb -A trust -U kg -D " + cluster.string()) != 0)
            GTEST_SKIP() << "initdb failed: skipping the PostgreSQL storage tests";
        if (run(asUser + bin + "pg_ctl -w -t 60 -D " + cluster.string() + " -o \"-k " + socketDir.string() +
                " -c listen_addresses=''\" start") != 0) {
            cluster.clear();
            GTEST_SKIP() << "pg_ctl start failed: skipping the PostgreSQL storage tests";
        }
        database = "postgresql:///postgres?host=" + socketDir.string() + "&user=kg";
    }
    auto opened = openShareStorage(database);
    ASSERT_TRUE(opened) << opened.error().message;
    storage = std::move(*opened);
}

void StorageContract::TearDown()
{
    storage.reset();
    if (!cluster.empty())
        run(asUser + "/usr/lib/postgresql/15/bin/pg_ctl -w -m immediate -D " + cluster.string() + " stop");
    if (!scratch.empty())
        std::filesystem::remove_all(scratch);
}

TEST_P(StorageContract, InsertListFindRemove)
{
    for (int i = 0; i < 5; ++i)
        ASSERT_TRUE(storage->insert(
            {"id" + std::to_string(i), "{\"n\":" + std::to_string(i) + "}", 1000 + i, "name " + std::to_string(i)}));
    EXPECT_FALSE(storage->insert({"id0", "{}", 0, "dup"}));
    EXPECT_EQ(storage->count().value_or(0), 5);
    const auto page = storage->list(2, 1);
    ASSERT_TRUE(page);
    ASSERT_EQ(page->size(), 2u);
    EXPECT_EQ((*page)[0].id, "id3");
    EXPECT_EQ((*page)[1].id, "id2");
    const auto found = storage->find("id4");
    ASSERT_TRUE(found && *found);
    EXPECT_EQ((*found)->json, "{\"n\":4}");
    EXPECT_EQ((*found)->createdAt, 1004);
    EXPECT_EQ((*found)->name, "name 4");
    EXPECT_FALSE(*storage->find("nope"));
    EXPECT_EQ(storage->remove("id4").value_or(false), true);
    EXPECT_EQ(storage->remove("id4").value_or(true), false);
    EXPECT_EQ(storage->count().value_or(0), 4);
    // Text with quotes and non-ASCII goes through unchanged.
    ASSERT_TRUE(storage->insert({"q", "{\"s\":\"it's \\u00e9 \xC3\xA9\"}", 1, "O'Brien \xC3\xA9"}));
    EXPECT_EQ((*storage->find("q"))->name, "O'Brien \xC3\xA9");
}

INSTANTIATE_TEST_SUITE_P(Backends, StorageContract, ::testing::Values("sqlite", "postgresql"));

TEST(ShareDatabaseAddress, UnknownSchemesAreRefused)
{
    EXPECT_FALSE(openShareStorage("mysql://x"));
    EXPECT_FALSE(openShareStorage("sqlite:"));
}

// Over HTTP: what a client that skips the local check, or sends too much, gets.
class ShareOverHttp : public ::testing::Test
{
protected:
    TempHome home;
    RunningShare share{home.path()};
    httplib::Client client{"127.0.0.1", share.port()};
};

TEST_F(ShareOverHttp, RefusesABlockedPresetPostedDirectly)
{
    const auto res = client.Post("/api/presets", body(blockedPreset()), "application/json");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 422);
    const auto answer = parsed(res->body);
    EXPECT_EQ(answer["ok"], false);
    EXPECT_EQ(answer["errors"][0], "L0 (0,0): Blocked bootloader/reset token \"QK_BOOT\"");
    EXPECT_EQ(share.storage().count().value_or(-1), 0);
}

TEST_F(ShareOverHttp, OversizeBodiesGetARefusalTheClientCanShow)
{
    for (std::size_t size : {std::size_t{300} * 1024, std::size_t{3} * 1024 * 1024}) {
        auto big = sharePreset();
        big.description = std::string(size, 'x');
        const auto res = client.Post("/api/presets", body(big), "application/json");
        ASSERT_TRUE(res) << size;
        EXPECT_EQ(res->status, 413) << size;
        const auto answer = parsed(res->body);
        EXPECT_EQ(answer["ok"], false);
        EXPECT_EQ(answer["errors"][0], "Preset is larger than 256 KiB");
    }
    EXPECT_EQ(share.storage().count().value_or(-1), 0);
}

TEST_F(ShareOverHttp, RoutesAndTheRequestLog)
{
    const auto posted = client.Post("/api/presets", body(sharePreset("<script>x</script>")), "application/json");
    ASSERT_TRUE(posted);
    ASSERT_EQ(posted->status, 201);
    const std::string url = parsed(posted->body)["shareUrl"];
    const std::string path = url.substr(url.find("/p/"));

    const auto html = client.Get(path.c_str());
    ASSERT_TRUE(html);
    EXPECT_EQ(html->get_header_value("Content-Type"), "text/html; charset=utf-8");
    EXPECT_EQ(html->body.find("<script>"), std::string::npos);
    const auto json = client.Get(path.c_str(), httplib::Headers{{"Accept", "application/json"}});
    ASSERT_TRUE(json);
    EXPECT_EQ(parsed(json->body)["name"], "<script>x</script>");

    const auto list = client.Get("/api/presets?source=community");
    ASSERT_TRUE(list);
    EXPECT_EQ(parsed(list->body)["community"].size(), 1u);
    const auto health = client.Get("/healthz");
    ASSERT_TRUE(health);
    EXPECT_EQ(health->status, 200);
    EXPECT_EQ(parsed(health->body)["presets"], 1);
    const auto missing = client.Get("/nothing/here");
    ASSERT_TRUE(missing);
    EXPECT_EQ(missing->status, 404);

    // Each request's line is written after its answer, by whichever worker served it, so the lines of
    // back-to-back requests may come in either order.
    const auto log = share.requestLog(6);
    ASSERT_EQ(log.size(), 6u);
    const auto logged = [&](std::string_view prefix) {
        return std::count_if(log.begin(), log.end(), [&](const std::string& line) { return line.starts_with(prefix); });
    };
    EXPECT_EQ(logged("POST /api/presets 201 "), 1);
    EXPECT_EQ(logged("GET /api/presets 200 "), 1);
    EXPECT_EQ(logged("GET /nothing/here 404 "), 1);
    for (const auto& line : log) {
        EXPECT_TRUE(line.ends_with("ms")) << line;
        EXPECT_EQ(line.find("script"), std::string::npos) << line;
    }
}

} // namespace
} // namespace keyglass::test
