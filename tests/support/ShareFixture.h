#pragma once
// A real keyglass-share on 127.0.0.1 (a free port, SQLite in a temporary folder) and small stand-in
// servers for the answers a healthy service never gives. Every server runs on its own thread and is
// accepting before the fixture returns, so stopping it can never miss the accept loop.

#include "share/ShareServer.h"
#include "share/ShareStorage.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace keyglass::test {

class RunningShare
{
public:
    explicit RunningShare(const std::filesystem::path& folder, ShareLimits limits = {})
    {
        auto storage = openShareStorage("sqlite:" + (folder / "share.db").string());
        EXPECT_TRUE(storage) << (storage ? "" : storage.error().message);
        storage_ = std::move(*storage);
        ShareServerOptions options;
        options.port = 0;
        options.limits = limits;
        options.log = [this](const std::string& line) {
            std::lock_guard lock(logMutex_);
            log_.push_back(line);
        };
        auto server = ShareServer::create(*storage_, options);
        EXPECT_TRUE(server);
        server_ = std::move(*server);
        auto started = server_->start();
        EXPECT_TRUE(started) << (started ? "" : started.error().message);
    }
    ~RunningShare() { server_->stop(); }

    std::string baseURL() const { return server_->baseURL(); }
    int port() const { return server_->port(); }
    ShareStorage& storage() { return *storage_; }
    /// The log lines so far; with `atLeast`, first waits (bounded) for that many, since the server
    /// logs a request just after its answer has gone out.
    std::vector<std::string> requestLog(std::size_t atLeast = 0)
    {
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        for (;;) {
            {
                std::lock_guard lock(logMutex_);
                if (log_.size() >= atLeast || std::chrono::steady_clock::now() > giveUp)
                    break;
            }
            std::this_thread::yield();
        }
        std::lock_guard lock(logMutex_);
        return log_;
    }

private:
    std::unique_ptr<ShareStorage> storage_;
    std::unique_ptr<ShareServer> server_;
    std::mutex logMutex_;
    std::vector<std::string> log_;
};

/// Answers every request to `path` with a fixed status and body.
class CannedServer
{
public:
    CannedServer(int status, std::string body)
    {
        setAnswer(status, std::move(body));
        auto reply = [this](const httplib::Request&, httplib::Response& res) {
            std::lock_guard lock(mutex_);
            res.status = status_;
            res.set_content(body_, "application/json");
            ++hits_;
        };
        server_.Get("/api/presets", reply);
        server_.Post("/api/presets", reply);
        port_ = server_.bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { server_.listen_after_bind(); });
        while (!server_.is_running())
            std::this_thread::yield();
    }
    ~CannedServer()
    {
        server_.stop();
        thread_.join();
    }
    std::string baseURL() const { return "http://127.0.0.1:" + std::to_string(port_); }
    int hits() const { return hits_; }
    void setAnswer(int status, std::string body)
    {
        std::lock_guard lock(mutex_);
        status_ = status;
        body_ = std::move(body);
    }

private:
    std::mutex mutex_;
    int status_ = 200;
    std::string body_;
    std::atomic<int> hits_{0};
    httplib::Server server_;
    int port_ = 0;
    std::thread thread_;
};

/// A socket that takes connections (the kernel completes them) but never reads or answers.
class SilentServer
{
public:
    SilentServer()
    {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = 0;
        EXPECT_EQ(::bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
        EXPECT_EQ(::listen(fd_, 16), 0);
        socklen_t len = sizeof addr;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len);
        port_ = ntohs(addr.sin_port);
    }
    ~SilentServer() { ::close(fd_); }
    std::string baseURL() const { return "http://127.0.0.1:" + std::to_string(port_); }

private:
    int fd_ = -1;
    int port_ = 0;
};

} // namespace keyglass::test
