#pragma once
// The Loomshare community client: lists the shared presets and publishes one. The rules of what goes
// out (author, flags) and how an answer is read live here as plain functions; the store sequences
// them with its safety check, toasts and the clipboard.

#include "model/Expected.h"
#include "platform/Clock.h"
#include "presets/DevicePreset.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace keyglass {

class HttpClient;
class SettingsStore;

inline constexpr const char* LoomshareErrorDomain = "Loomshare";
enum LoomshareErrorCode : int
{
    LoomshareInvalidURL = 1,
    LoomshareCannotEncode = 2,
    LoomshareUnexpectedResponse = 3,
    LoomshareRejected = 4,
};
inline constexpr const char* LoomshareInvalidURLText = "Invalid community API URL";
inline constexpr const char* LoomshareCannotEncodeText = "Could not encode preset";
inline constexpr const char* LoomshareUnexpectedResponseText = "Unexpected response from Loomshare";
inline constexpr const char* LoomshareRejectedText = "Preset rejected by safety validator";
Error loomshareError(LoomshareErrorCode code, std::string message = {});

/// The settings entry naming the service's scheme and host, and the variable that overrides it.
inline constexpr const char* CommunityURLSettingsKey = "Keyglass.communityBaseURL";
inline constexpr const char* CommunityURLEnvironment = "KEYGLASS_COMMUNITY_URL";
inline constexpr const char* DefaultCommunityBaseURL = "http://127.0.0.1:8737";
/// KEYGLASS_COMMUNITY_URL when set and not empty, else the settings entry when it is a non-empty
/// string, else the default; trailing slashes removed.
std::string communityBaseURL(const SettingsStore& settings);

/// Both none when `base` is not an absolute http(s) address with a host.
std::optional<std::string> communityListURL(std::string_view base);
std::optional<std::string> communityPublishURL(std::string_view base);

/// Largest list or publish answer read (HttpClient refuses larger ones before this sees them).
constexpr std::size_t MaxCommunityResponseBytes = 4 * 1024 * 1024;
/// Most presets one list answer may carry; the rest are dropped.
constexpr std::size_t MaxCommunityListPresets = 2000;

/// A list body: `{"community":[...]}`. Every preset comes back as a community preset (builtIn false,
/// community true) in the order received; entries that are not presets are skipped. Anything else is
/// the unexpected-response error.
Expected<std::vector<DevicePreset>> decodeCommunityList(std::optional<std::string_view> body);

/// A publish answer: the share link when it is accepted with a link; code 3 when there is no body or
/// it is not a publish answer; code 4 with the first reason (or the validator's text) otherwise.
Expected<std::string> decodePublishAnswer(std::optional<std::string_view> body);

/// The account's full name trimmed of white space and line breaks, or "Community".
std::string communityAuthor(std::string_view fullName);

/// What leaves the machine: the preset with the author set and the community flags forced.
DevicePreset outgoingCommunityPreset(const DevicePreset& preset, std::string_view fullName);

class CommunityClient
{
public:
    struct Timeouts
    {
        Duration list = std::chrono::seconds(10);
        Duration publish = std::chrono::seconds(12);
    };

    CommunityClient(HttpClient& http, std::string baseURL, Timeouts timeouts);
    CommunityClient(HttpClient& http, std::string baseURL) : CommunityClient(http, std::move(baseURL), Timeouts{}) {}

    const std::string& baseURL() const { return m_baseURL; }

    using ListDone = std::function<void(Expected<std::vector<DevicePreset>>)>;
    using PublishDone = std::function<void(Expected<std::string>)>;
    /// Completions run on the main thread, only while `owner` lives. A list URL that cannot be formed
    /// finishes at once as an empty success.
    void loadPresets(std::weak_ptr<const void> owner, ListDone done);
    /// `outgoing` is sent as it is (see outgoingCommunityPreset); the caller has checked its safety.
    void publish(const DevicePreset& outgoing, std::weak_ptr<const void> owner, PublishDone done);

private:
    HttpClient& m_http;
    std::string m_baseURL;
    Timeouts m_timeouts;
};

} // namespace keyglass
