// keyglass-share: the community preset service. `keyglass-share [--listen HOST:PORT] [--db DATABASE]
// [--tls-cert FILE --tls-key FILE] [--public-url URL]` serves; `keyglass-share admin list|delete ID`
// looks after the database.

#include "share/ShareServer.h"
#include "share/ShareStorage.h"

#include <csignal>
#include <ctime>
#include <iostream>
#include <mutex>
#include <pthread.h>
#include <string>
#include <thread>
#include <vector>

using namespace keyglass;

namespace {

constexpr const char* Usage =
    "usage: keyglass-share [--listen HOST:PORT] [--db sqlite:PATH|postgresql://...] [--tls-cert FILE --tls-key FILE]\n"
    "                      [--public-url URL]\n"
    "       keyglass-share [--db DATABASE] admin list\n"
    "       keyglass-share [--db DATABASE] admin delete ID\n";

std::string timestamp()
{
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    gmtime_r(&now, &tm);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &tm);
    return text;
}

std::mutex g_logMutex;
void logLine(const std::string& message)
{
    std::lock_guard lock(g_logMutex);
    std::cout << "[" << timestamp() << "] " << message << std::endl;
}

bool splitListen(const std::string& text, std::string& host, int& port)
{
    const auto colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0)
        return false;
    host = text.substr(0, colon);
    if (host.size() > 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    try {
        std::size_t used = 0;
        port = std::stoi(text.substr(colon + 1), &used);
        return used == text.size() - colon - 1 && port >= 0 && port <= 65535;
    } catch (...) {
        return false;
    }
}

int admin(ShareStorage& storage, const std::vector<std::string>& args)
{
    if (args.size() == 1 && args[0] == "list") {
        int offset = 0;
        for (;;) {
            auto page = storage.list(500, offset);
            if (!page) {
                std::cerr << page.error().message << "\n";
                return 1;
            }
            for (const auto& p : *page) {
                std::time_t t = static_cast<std::time_t>(p.createdAt);
                std::tm tm{};
                gmtime_r(&t, &tm);
                char when[32];
                std::strftime(when, sizeof when, "%Y-%m-%dT%H:%M:%SZ", &tm);
                std::cout << p.id << "\t" << when << "\t" << p.name << "\n";
            }
            if (page->size() < 500)
                return 0;
            offset += 500;
        }
    }
    if (args.size() == 2 && args[0] == "delete") {
        auto removed = storage.remove(args[1]);
        if (!removed) {
            std::cerr << removed.error().message << "\n";
            return 1;
        }
        if (!*removed) {
            std::cerr << "No preset " << args[1] << "\n";
            return 1;
        }
        std::cout << "Deleted " << args[1] << "\n";
        return 0;
    }
    std::cerr << Usage;
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    ShareServerOptions options;
    options.log = logLine;
    std::string db = defaultShareDatabase();
    std::vector<std::string> adminArgs;
    bool adminMode = false;

    std::vector<std::string> args(argv + 1, argv + argc);
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= args.size())
                return false;
            out = args[++i];
            return true;
        };
        std::string v;
        if (adminMode) {
            adminArgs.push_back(a);
        } else if (a == "admin") {
            adminMode = true;
        } else if (a == "--help" || a == "-h") {
            std::cout << Usage;
            return 0;
        } else if (a == "--listen" && value(v)) {
            if (!splitListen(v, options.host, options.port)) {
                std::cerr << "--listen wants HOST:PORT, not " << v << "\n";
                return 2;
            }
        } else if (a == "--db" && value(v)) {
            db = v;
        } else if (a == "--tls-cert" && value(v)) {
            options.tlsCert = v;
        } else if (a == "--tls-key" && value(v)) {
            options.tlsKey = v;
        } else if (a == "--public-url" && value(v)) {
            options.publicURL = v;
        } else {
            std::cerr << Usage;
            return 2;
        }
    }

    auto storage = openShareStorage(db);
    if (!storage) {
        std::cerr << storage.error().message << "\n";
        return 1;
    }
    if (adminMode)
        return admin(**storage, adminArgs);

    // Every thread inherits the blocked set, so only the watcher below ever sees SIGTERM and SIGINT.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    auto server = ShareServer::create(**storage, options);
    if (!server) {
        std::cerr << server.error().message << "\n";
        return 1;
    }
    if (auto bound = (*server)->bind(); !bound) {
        std::cerr << bound.error().message << "\n";
        return 1;
    }
    logLine("keyglass-share listening on " + (*server)->baseURL() + ", links " + (*server)->service().publicBaseURL() +
            ", database " + (db.starts_with("sqlite:") ? db : std::string("postgresql")));

    ShareServer* running = server->get();
    std::thread watcher([&signals, running] {
        int received = 0;
        sigwait(&signals, &received);
        logLine(std::string("Stopping on ") + (received == SIGTERM ? "SIGTERM" : "SIGINT"));
        running->stop();
    });
    running->run();
    // run() also returns when the accept loop fails; wake the watcher so it can be joined.
    pthread_kill(watcher.native_handle(), SIGTERM);
    watcher.join();
    server->reset();
    logLine("keyglass-share stopped");
    return 0;
}
