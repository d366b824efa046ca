#include "platform/HttpClient.h"

#include "platform/Scheduler.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <optional>

namespace keyglass {

Error httpError(HttpErrorCode code, std::string message)
{
    return Error(std::move(message), code, HttpErrorDomain);
}

void HttpClient::get(std::string url, Duration timeout, std::weak_ptr<const void> owner, Completion completion)
{
    HttpRequest request;
    request.method = HttpMethod::get;
    request.url = std::move(url);
    request.timeout = timeout;
    send(std::move(request), std::move(owner), std::move(completion));
}

void HttpClient::post(std::string url,
                      std::string body,
                      std::string contentType,
                      Duration timeout,
                      std::weak_ptr<const void> owner,
                      Completion completion)
{
    HttpRequest request;
    request.method = HttpMethod::post;
    request.url = std::move(url);
    request.body = std::move(body);
    request.headers.emplace_back("Content-Type", std::move(contentType));
    request.timeout = timeout;
    send(std::move(request), std::move(owner), std::move(completion));
}

void HttpClient::send(HttpRequest request, std::weak_ptr<const void> owner, Completion completion)
{
    // The scheduler outlives the client and every transport it is given, so the raw reference is safe
    // on the transport's threads; the owner is what may be gone by then.
    Scheduler* scheduler = &m_scheduler;
    m_transport.start(std::move(request),
                      [scheduler, owner = std::move(owner), completion = std::move(completion)](
                          Expected<HttpResponse> result) mutable {
                          if (result && result->body.size() > MaxHttpResponseBytes)
                              result = unexpected(httpError(HttpTooLarge, "The response is larger than 4 MiB"));
                          scheduler->postMain([owner = std::move(owner),
                                               completion = std::move(completion),
                                               result = std::move(result)] {
                              if (owner.expired())
                                  return;
                              completion(result);
                          });
                      });
}

std::optional<ParsedURL> parseURL(std::string_view url)
{
    ParsedURL out;
    const auto schemeEnd = url.find("://");
    if (schemeEnd == std::string_view::npos)
        return std::nullopt;
    for (char c : url.substr(0, schemeEnd))
        out.scheme += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (out.scheme != "http" && out.scheme != "https")
        return std::nullopt;
    std::string_view rest = url.substr(schemeEnd + 3);
    const auto pathStart = rest.find_first_of("/?#");
    std::string_view authority = rest.substr(0, pathStart);
    std::string_view target = pathStart == std::string_view::npos ? std::string_view("/") : rest.substr(pathStart);
    if (authority.find('@') != std::string_view::npos)
        return std::nullopt;
    out.port = out.scheme == "https" ? 443 : 80;
    std::string_view host = authority;
    if (!authority.empty() && authority.front() == '[') {
        const auto close = authority.find(']');
        if (close == std::string_view::npos)
            return std::nullopt;
        host = authority.substr(1, close - 1);
        authority.remove_prefix(close + 1);
        if (!authority.empty() && authority.front() != ':')
            return std::nullopt;
    } else {
        const auto colon = authority.rfind(':');
        host = authority.substr(0, colon);
        authority = colon == std::string_view::npos ? std::string_view() : authority.substr(colon);
    }
    if (!authority.empty()) {
        std::string_view digits = authority.substr(1);
        int port = 0;
        const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), port);
        if (digits.empty() || ec != std::errc() || end != digits.data() + digits.size() || port <= 0 || port > 65535)
            return std::nullopt;
        out.port = port;
    }
    if (host.empty() || std::any_of(host.begin(), host.end(), [](unsigned char c) {
            return c <= ' ' || c == '/' || c == '\\' || c >= 0x7F;
        }))
        return std::nullopt;
    out.host.assign(host.begin(), host.end());
    const std::string_view path = target.substr(0, target.find('#'));
    if (path.empty() || path.front() != '/')
        out.target.push_back('/');
    // Character by character: GCC 12 misreads the bounds of a string_view append here.
    for (char c : path)
        out.target.push_back(c);
    if (std::any_of(out.target.begin(), out.target.end(), [](unsigned char c) { return c <= ' ' || c >= 0x7F; }))
        return std::nullopt;
    return out;
}

} // namespace keyglass
