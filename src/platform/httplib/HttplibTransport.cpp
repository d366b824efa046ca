#include "platform/httplib/HttplibTransport.h"

#include <httplib.h>

#include <algorithm>
#include <cctype>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace keyglass {

namespace {

// cpp-httplib's timeouts apply to each connect, read and write. The deadline of the whole exchange is
// kept by a watchdog that shuts the socket when it passes, so a server trickling a byte at a time
// cannot hold a request open past its timeout.
class Watchdog
{
public:
    Watchdog(httplib::Client& client, Duration timeout)
        : m_thread([this, &client, timeout] {
              std::unique_lock lock(m_mutex);
              if (!m_cv.wait_for(lock, timeout, [this] { return m_done; })) {
                  m_fired = true;
                  lock.unlock();
                  client.stop();
              }
          })
    {
    }
    ~Watchdog() { finish(); }
    void finish()
    {
        {
            std::lock_guard lock(m_mutex);
            m_done = true;
        }
        m_cv.notify_all();
        if (m_thread.joinable())
            m_thread.join();
    }
    bool fired()
    {
        std::lock_guard lock(m_mutex);
        return m_fired;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_done = false;
    bool m_fired = false;
    std::thread m_thread;
};

bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
               return std::tolower(x) == std::tolower(y);
           });
}

Error transportError(httplib::Error error, const ParsedURL& url)
{
    switch (error) {
    case httplib::Error::Connection:
    case httplib::Error::ConnectionTimeout:
        return httpError(HttpCannotConnect,
                         "Could not connect to the server " + url.host + ":" + std::to_string(url.port));
    case httplib::Error::Read:
    case httplib::Error::Write:
        return httpError(HttpFailed, "The network connection was lost");
    case httplib::Error::SSLConnection:
    case httplib::Error::SSLLoadingCerts:
    case httplib::Error::SSLServerVerification:
        return httpError(HttpFailed, "A secure connection to the server could not be made");
    default:
        return httpError(HttpFailed, "The request failed (" + httplib::to_string(error) + ")");
    }
}

} // namespace

Expected<HttpResponse> HttplibTransport::perform(const HttpRequest& request)
{
    const auto url = parseURL(request.url);
    if (!url)
        return unexpected(httpError(HttpBadURL, "Unsupported URL"));
    std::string origin = url->scheme + "://";
    origin += url->host.find(':') != std::string::npos ? "[" + url->host + "]" : url->host;
    origin += ":" + std::to_string(url->port);
    httplib::Client client(origin);
    // A second beyond the request's own deadline, so that the watchdog, not a single read, ends a
    // silent exchange and the caller is told it timed out rather than that the connection broke.
    const auto total =
        std::chrono::duration_cast<std::chrono::microseconds>(request.timeout) + std::chrono::microseconds(1'000'000);
    const auto seconds = static_cast<time_t>(total.count() / 1'000'000);
    const auto micros = static_cast<time_t>(total.count() % 1'000'000);
    client.set_connection_timeout(seconds, micros);
    client.set_read_timeout(seconds, micros);
    client.set_write_timeout(seconds, micros);
    client.set_keep_alive(false);

    httplib::Headers headers;
    std::string contentType;
    for (const auto& [name, value] : request.headers) {
        if (equalsIgnoringCase(name, "Content-Type"))
            contentType = value;
        else
            headers.emplace(name, value);
    }

    std::string body;
    bool tooLarge = false;
    auto receive = [&](const char* data, size_t length) {
        if (body.size() + length > MaxHttpResponseBytes) {
            tooLarge = true;
            return false;
        }
        body.append(data, length);
        return true;
    };

    Watchdog watchdog(client, request.timeout);
    httplib::Result result = [&] {
        if (request.method == HttpMethod::post) {
            // Post has no body receiver in this cpp-httplib; the request goes through send() instead.
            httplib::Request req;
            req.method = "POST";
            req.path = url->target;
            req.headers = headers;
            req.body = request.body;
            req.set_header("Content-Type", contentType.empty() ? "application/octet-stream" : contentType);
            req.content_receiver = [&](const char* data, size_t length, uint64_t, uint64_t) {
                return receive(data, length);
            };
            return client.send(req);
        }
        return client.Get(url->target, headers, receive);
    }();
    watchdog.finish();

    if (tooLarge)
        return unexpected(httpError(HttpTooLarge, "The response is larger than 4 MiB"));
    if (watchdog.fired())
        return unexpected(httpError(HttpTimedOut, "The request timed out"));
    if (!result)
        return unexpected(transportError(result.error(), *url));
    HttpResponse response;
    response.status = result->status;
    response.body = std::move(body);
    response.contentType = result->get_header_value("Content-Type");
    return response;
}

void HttplibTransport::start(HttpRequest request, Done done)
{
    done(perform(request));
}

} // namespace keyglass
