#pragma once
// What keyglass-share answers, without the HTTP server around it: listing, publishing (decode, size
// limits, the same safety rules as the client, a per-client rate limit), the preset page and health.

#include "model/Expected.h"
#include "presets/DevicePreset.h"

#include <chrono>
#include <cstddef>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace keyglass {

class ShareStorage;

struct ShareLimits
{
    std::size_t maxBodyBytes = 256 * 1024;
    std::size_t maxLayers = 32;
    std::size_t maxKeysPerLayer = 256;
    std::size_t maxTapDances = 256;
    int publishesPerMinute = 10;
    int defaultPageSize = 100;
    int maxPageSize = 500;
};

struct ShareReply
{
    int status = 200;
    std::string contentType = "application/json";
    std::string body;
};

/// A publish body read and checked: the preset, or every reason it is refused (first the shape, then
/// the limits, then the safety rules) with the status to answer.
struct PublishRefusal
{
    int status = 400;
    std::vector<std::string> errors;
};
Expected<DevicePreset, PublishRefusal> decodePublishRequest(std::string_view body, const ShareLimits& limits);

/// Text made safe inside HTML elements and attribute values.
std::string htmlEscape(std::string_view text);
/// 128 random bits as 32 lower-case hexadecimal digits.
std::string newShareID();
/// True for what newShareID makes (so a path never reaches the database with anything else).
bool isShareID(std::string_view id);

class ShareService
{
public:
    using SteadyClock = std::function<std::chrono::steady_clock::time_point()>;

    /// `publicBaseURL` is what share links start with ("https://share.example.org"), without a slash.
    ShareService(ShareStorage& storage, std::string publicBaseURL, ShareLimits limits = {}, SteadyClock clock = {});

    ShareReply list(std::optional<std::string_view> source,
                    std::optional<std::string_view> limit,
                    std::optional<std::string_view> offset);
    /// `client` keys the rate limit (the peer's address).
    ShareReply publish(std::string_view body, const std::string& client);
    ShareReply page(std::string_view id, bool wantsJson);
    ShareReply health();

    const ShareLimits& limits() const { return m_limits; }
    const std::string& publicBaseURL() const { return m_publicBaseURL; }
    void setPublicBaseURL(std::string url) { m_publicBaseURL = std::move(url); }

    /// `{"ok":false,"errors":[...]}`.
    static std::string refusalBody(const std::vector<std::string>& errors);

private:
    bool admitPublish(const std::string& client);

    ShareStorage& m_storage;
    std::string m_publicBaseURL;
    ShareLimits m_limits;
    SteadyClock m_clock;
    std::mutex m_rateMutex;
    std::map<std::string, std::deque<std::chrono::steady_clock::time_point>> m_recentPublishes;
};

} // namespace keyglass
