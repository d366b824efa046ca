#include "community/CommunityClient.h"

#include "platform/HttpClient.h"
#include "platform/JsonReading.h"
#include "platform/SettingsStore.h"

#include <cstdlib>

namespace keyglass {

Error loomshareError(LoomshareErrorCode code, std::string message)
{
    if (message.empty()) {
        switch (code) {
        case LoomshareInvalidURL:
            message = LoomshareInvalidURLText;
            break;
        case LoomshareCannotEncode:
            message = LoomshareCannotEncodeText;
            break;
        case LoomshareUnexpectedResponse:
            message = LoomshareUnexpectedResponseText;
            break;
        case LoomshareRejected:
            message = LoomshareRejectedText;
            break;
        }
    }
    return Error(std::move(message), code, LoomshareErrorDomain);
}

namespace {

std::string withoutTrailingSlashes(std::string text)
{
    while (!text.empty() && text.back() == '/')
        text.pop_back();
    return text;
}

std::optional<std::string> endpoint(std::string_view base, std::string_view pathAndQuery)
{
    const auto parsed = parseURL(base);
    // The base is scheme and host (and port); a path or query in it would change where requests go.
    if (!parsed || parsed->target != "/")
        return std::nullopt;
    std::string url = withoutTrailingSlashes(std::string(base));
    url += pathAndQuery;
    return url;
}

bool isSpaceOrBreak(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

} // namespace

std::string communityBaseURL(const SettingsStore& settings)
{
    if (const char* env = std::getenv(CommunityURLEnvironment); env && *env)
        return withoutTrailingSlashes(env);
    if (const auto value = settings.value(CommunityURLSettingsKey); value && value->is_string()) {
        std::string text = value->get<std::string>();
        if (!text.empty())
            return withoutTrailingSlashes(std::move(text));
    }
    return DefaultCommunityBaseURL;
}

std::optional<std::string> communityListURL(std::string_view base)
{
    return endpoint(base, "/api/presets?source=community");
}

std::optional<std::string> communityPublishURL(std::string_view base)
{
    return endpoint(base, "/api/presets");
}

Expected<std::vector<DevicePreset>> decodeCommunityList(std::optional<std::string_view> body)
{
    if (!body)
        return unexpected(loomshareError(LoomshareUnexpectedResponse));
    auto parsed = parseJsonCapped(*body, MaxCommunityResponseBytes);
    if (!parsed || !parsed->is_object())
        return unexpected(loomshareError(LoomshareUnexpectedResponse));
    const auto list = parsed->find("community");
    if (list == parsed->end() || !list->is_array())
        return unexpected(loomshareError(LoomshareUnexpectedResponse));
    std::vector<DevicePreset> presets;
    for (const auto& entry : *list) {
        if (presets.size() >= MaxCommunityListPresets)
            break;
        auto preset = presetFromJson(entry);
        if (!preset)
            continue;
        preset->builtIn = false;
        preset->community = true;
        presets.push_back(std::move(*preset));
    }
    return presets;
}

Expected<std::string> decodePublishAnswer(std::optional<std::string_view> body)
{
    if (!body)
        return unexpected(loomshareError(LoomshareUnexpectedResponse));
    auto parsed = parseJsonCapped(*body, MaxCommunityResponseBytes);
    if (!parsed || !parsed->is_object())
        return unexpected(loomshareError(LoomshareUnexpectedResponse));
    const nlohmann::json& answer = *parsed;
    // Every member is optional, but one of the wrong type makes the answer unreadable.
    auto member = [&](const char* name) -> const nlohmann::json* {
        const auto it = answer.find(name);
        return it == answer.end() || it->is_null() ? nullptr : &*it;
    };
    const auto* ok = member("ok");
    const auto* shareUrl = member("shareUrl");
    const auto* errors = member("errors");
    const auto* preset = member("preset");
    if ((ok && !ok->is_boolean()) || (shareUrl && !shareUrl->is_string()) || (errors && !errors->is_array()))
        return unexpected(loomshareError(LoomshareUnexpectedResponse));
    if (errors)
        for (const auto& e : *errors)
            if (!e.is_string())
                return unexpected(loomshareError(LoomshareUnexpectedResponse));
    if (preset && !presetFromJson(*preset))
        return unexpected(loomshareError(LoomshareUnexpectedResponse));
    if (ok && ok->get<bool>() && shareUrl)
        return shareUrl->get<std::string>();
    if (errors && !errors->empty())
        return unexpected(loomshareError(LoomshareRejected, errors->front().get<std::string>()));
    return unexpected(loomshareError(LoomshareRejected));
}

std::string communityAuthor(std::string_view fullName)
{
    while (!fullName.empty() && isSpaceOrBreak(fullName.front()))
        fullName.remove_prefix(1);
    while (!fullName.empty() && isSpaceOrBreak(fullName.back()))
        fullName.remove_suffix(1);
    return fullName.empty() ? std::string("Community") : std::string(fullName);
}

DevicePreset outgoingCommunityPreset(const DevicePreset& preset, std::string_view fullName)
{
    DevicePreset out = preset;
    out.author = communityAuthor(fullName);
    out.builtIn = false;
    out.community = true;
    return out;
}

CommunityClient::CommunityClient(HttpClient& http, std::string baseURL, Timeouts timeouts)
    : m_http(http), m_baseURL(std::move(baseURL)), m_timeouts(timeouts)
{
}

namespace {
std::optional<std::string_view> bodyOf(const HttpResponse& response)
{
    return std::string_view(response.body);
}
} // namespace

void CommunityClient::loadPresets(std::weak_ptr<const void> owner, ListDone done)
{
    const auto url = communityListURL(m_baseURL);
    if (!url) {
        done(std::vector<DevicePreset>{});
        return;
    }
    m_http.get(*url, m_timeouts.list, std::move(owner), [done = std::move(done)](const Expected<HttpResponse>& r) {
        if (!r) {
            done(unexpected(r.error()));
            return;
        }
        done(decodeCommunityList(bodyOf(*r)));
    });
}

void CommunityClient::publish(const DevicePreset& outgoing, std::weak_ptr<const void> owner, PublishDone done)
{
    const auto url = communityPublishURL(m_baseURL);
    if (!url) {
        done(unexpected(loomshareError(LoomshareInvalidURL)));
        return;
    }
    std::string body;
    try {
        body = nlohmann::json(presetToJson(outgoing)).dump();
    } catch (const std::exception&) {
        // Invalid UTF-8 in a text member cannot be written as JSON.
        done(unexpected(loomshareError(LoomshareCannotEncode)));
        return;
    }
    m_http.post(*url,
                std::move(body),
                "application/json",
                m_timeouts.publish,
                std::move(owner),
                [done = std::move(done)](const Expected<HttpResponse>& r) {
                    if (!r) {
                        done(unexpected(r.error()));
                        return;
                    }
                    done(decodePublishAnswer(bodyOf(*r)));
                });
}

} // namespace keyglass
