#include "share/ShareServer.h"

#include "share/ShareStorage.h"

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <filesystem>

namespace keyglass {

namespace {

thread_local std::chrono::steady_clock::time_point t_requestStart{};

std::optional<std::string_view> param(const httplib::Request& req, const char* name)
{
    if (!req.has_param(name))
        return std::nullopt;
    const auto it = req.params.find(name);
    return std::string_view(it->second);
}

void send(httplib::Response& res, ShareReply reply)
{
    res.status = reply.status;
    res.set_content(std::move(reply.body), reply.contentType.c_str());
}

bool wantsJson(const httplib::Request& req)
{
    return req.get_header_value("Accept").find("application/json") != std::string::npos;
}

const char* reasonFor(int status)
{
    switch (status) {
    case 400:
        return "Bad request";
    case 404:
        return "Not found";
    case 405:
        return "Method not allowed";
    case 413:
        return "Preset is larger than 256 KiB";
    case 414:
        return "Address too long";
    default:
        return "Request refused";
    }
}

} // namespace

Expected<std::unique_ptr<ShareServer>> ShareServer::create(ShareStorage& storage, ShareServerOptions options)
{
    std::unique_ptr<ShareServer> server(new ShareServer());
    if (options.tlsCert || options.tlsKey) {
        if (!options.tlsCert || !options.tlsKey)
            return unexpected(Error("--tls-cert and --tls-key go together"));
        for (const auto* file : {&*options.tlsCert, &*options.tlsKey})
            if (!std::filesystem::is_regular_file(*file))
                return unexpected(Error("Cannot read " + *file));
        auto tls = std::make_unique<httplib::SSLServer>(options.tlsCert->c_str(), options.tlsKey->c_str());
        if (!tls->is_valid())
            return unexpected(Error("The TLS certificate or key could not be loaded"));
        server->m_server = std::move(tls);
        server->m_tls = true;
    } else {
        server->m_server = std::make_unique<httplib::Server>();
    }
    server->m_service = std::make_unique<ShareService>(storage, options.publicURL, options.limits);
    server->m_options = std::move(options);
    server->installRoutes();
    return server;
}

ShareServer::~ShareServer()
{
    stop();
}

void ShareServer::installRoutes()
{
    httplib::Server& svr = *m_server;
    // A little above the limit, so that an oversize preset still gets the service's own refusal; far
    // larger bodies are cut off by the server before they are read.
    svr.set_payload_max_length(m_options.limits.maxBodyBytes + 1024);
    svr.set_read_timeout(10, 0);
    svr.set_write_timeout(10, 0);
    svr.set_keep_alive_max_count(100);
    // Each open connection holds a worker while it waits for its next request: enough workers for a
    // busy group, and idle connections let go of theirs after a second.
    svr.set_keep_alive_timeout(1);
    svr.new_task_queue = [] { return new httplib::ThreadPool(64); };

    svr.set_pre_routing_handler([](const httplib::Request&, httplib::Response&) {
        t_requestStart = std::chrono::steady_clock::now();
        return httplib::Server::HandlerResponse::Unhandled;
    });
    svr.set_logger([this](const httplib::Request& req, const httplib::Response& res) {
        if (!m_options.log)
            return;
        long long ms = 0;
        if (t_requestStart != std::chrono::steady_clock::time_point{})
            ms =
                std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t_requestStart)
                    .count();
        t_requestStart = {};
        std::string line = req.method;
        line += ' ';
        if (req.path.size() > 200) {
            line.append(req.path, 0, 200);
            line += "...";
        } else {
            line += req.path;
        }
        line += ' ';
        line += std::to_string(res.status);
        line += ' ';
        line += std::to_string(ms);
        line += "ms";
        m_options.log(line);
    });
    svr.set_error_handler([](const httplib::Request&, httplib::Response& res) {
        if (res.body.empty())
            res.set_content(ShareService::refusalBody({reasonFor(res.status)}), "application/json");
    });

    svr.Get("/api/presets", [this](const httplib::Request& req, httplib::Response& res) {
        send(res, m_service->list(param(req, "source"), param(req, "limit"), param(req, "offset")));
    });
    svr.Post("/api/presets", [this](const httplib::Request& req, httplib::Response& res) {
        send(res, m_service->publish(req.body, req.remote_addr));
    });
    svr.Get(R"(/p/([^/]+))", [this](const httplib::Request& req, httplib::Response& res) {
        send(res, m_service->page(req.matches[1].str(), wantsJson(req)));
    });
    svr.Get("/healthz", [this](const httplib::Request&, httplib::Response& res) { send(res, m_service->health()); });
}

Expected<void> ShareServer::bind()
{
    if (m_options.port == 0) {
        m_port = m_server->bind_to_any_port(m_options.host);
        if (m_port <= 0)
            return unexpected(Error("Cannot listen on " + m_options.host));
    } else {
        if (!m_server->bind_to_port(m_options.host, m_options.port))
            return unexpected(Error("Cannot listen on " + m_options.host + ":" + std::to_string(m_options.port)));
        m_port = m_options.port;
    }
    if (m_options.publicURL.empty())
        m_service->setPublicBaseURL(baseURL());
    return {};
}

std::string ShareServer::baseURL() const
{
    std::string url = m_tls ? "https://" : "http://";
    url += m_options.host.find(':') != std::string::npos ? "[" + m_options.host + "]" : m_options.host;
    url += ":";
    url += std::to_string(m_port);
    return url;
}

void ShareServer::run()
{
    m_server->listen_after_bind();
}

Expected<void> ShareServer::start()
{
    if (auto bound = bind(); !bound)
        return bound;
    auto ended = std::make_shared<std::atomic<bool>>(false);
    m_thread = std::thread([this, ended] {
        m_server->listen_after_bind();
        ended->store(true);
    });
    // Stopping before the accept loop runs would be lost and leave the thread serving forever.
    while (!m_server->is_running()) {
        if (ended->load()) {
            m_thread.join();
            return unexpected(Error("The server stopped at once"));
        }
        std::this_thread::yield();
    }
    return {};
}

void ShareServer::stop()
{
    if (m_server)
        m_server->stop();
    if (m_thread.joinable())
        m_thread.join();
}

} // namespace keyglass
