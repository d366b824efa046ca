#pragma once
// The HTTP seam. A transport moves bytes (cpp-httplib for the CLI, Qt Network for the app, and it may
// finish on any thread); HttpClient puts every completion back on the main queue, drops it when its
// owner is gone, and refuses bodies above MaxHttpResponseBytes before anyone decodes them.

#include "model/Expected.h"
#include "platform/Clock.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace keyglass {

class Scheduler;

/// Largest response body any caller gets to see.
constexpr std::size_t MaxHttpResponseBytes = 4 * 1024 * 1024;

enum class HttpMethod
{
    get,
    post,
};

struct HttpRequest
{
    HttpMethod method = HttpMethod::get;
    std::string url; // absolute: scheme://host[:port]/path?query
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
    /// For the whole exchange (connect, send, headers and body), not for each read.
    Duration timeout = std::chrono::seconds(10);
};

struct HttpResponse
{
    int status = 0;
    std::string body;
    std::string contentType;
};

/// Transport errors use this domain; the codes tell a timeout from other failures.
inline constexpr const char* HttpErrorDomain = "Http";
enum HttpErrorCode : int
{
    HttpTimedOut = 1,
    HttpCannotConnect = 2,
    HttpBadURL = 3,
    HttpTooLarge = 4,
    HttpFailed = 5,
};
Error httpError(HttpErrorCode code, std::string message);

/// Moves one request over the wire. `done` is called exactly once, from any thread (possibly before
/// start returns). A transport should stop reading a body above MaxHttpResponseBytes.
class HttpTransport
{
public:
    using Done = std::function<void(Expected<HttpResponse>)>;
    virtual ~HttpTransport() = default;
    virtual void start(HttpRequest request, Done done) = 0;
};

/// The process-wide client. Completions run on the main thread, and only while `owner` still exists.
class HttpClient
{
public:
    using Completion = std::function<void(const Expected<HttpResponse>&)>;

    HttpClient(Scheduler& scheduler, HttpTransport& transport) : m_scheduler(scheduler), m_transport(transport) {}

    void get(std::string url, Duration timeout, std::weak_ptr<const void> owner, Completion completion);
    void post(std::string url,
              std::string body,
              std::string contentType,
              Duration timeout,
              std::weak_ptr<const void> owner,
              Completion completion);
    void send(HttpRequest request, std::weak_ptr<const void> owner, Completion completion);

private:
    Scheduler& m_scheduler;
    HttpTransport& m_transport;
};

/// The parts of an absolute http(s) URL; none when it is not one.
struct ParsedURL
{
    std::string scheme; // "http" or "https"
    std::string host;
    int port = 0;
    std::string target; // path and query, at least "/"
};
std::optional<ParsedURL> parseURL(std::string_view url);

} // namespace keyglass
