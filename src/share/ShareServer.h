#pragma once
// keyglass-share's HTTP front: cpp-httplib's server (with TLS when given a certificate and key) over a
// ShareService. One log line per request: method, path, status and milliseconds, never a body.

#include "model/Expected.h"
#include "share/ShareService.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

namespace httplib {
class Server;
}

namespace keyglass {

struct ShareServerOptions
{
    std::string host = "127.0.0.1";
    int port = 8737; // 0: any free port
    std::optional<std::string> tlsCert;
    std::optional<std::string> tlsKey;
    /// Where share links point; empty: the address the server listens on.
    std::string publicURL;
    ShareLimits limits;
    std::function<void(const std::string&)> log;
};

class ShareServer
{
public:
    static Expected<std::unique_ptr<ShareServer>> create(ShareStorage& storage, ShareServerOptions options);
    ~ShareServer();
    ShareServer(const ShareServer&) = delete;
    ShareServer& operator=(const ShareServer&) = delete;

    /// Binds the listening socket; the port is known from here on.
    Expected<void> bind();
    /// Serves until stop(); call after bind().
    void run();
    /// bind(), then run() on a thread of its own; returns once the server accepts connections.
    Expected<void> start();
    /// Stops serving and joins the thread start() made. Safe to call from a signal-watching thread and
    /// more than once.
    void stop();

    int port() const { return m_port; }
    std::string baseURL() const;
    ShareService& service() { return *m_service; }

private:
    ShareServer() = default;
    void installRoutes();

    ShareServerOptions m_options;
    std::unique_ptr<httplib::Server> m_server;
    std::unique_ptr<ShareService> m_service;
    std::thread m_thread;
    int m_port = 0;
    bool m_tls = false;
};

} // namespace keyglass
