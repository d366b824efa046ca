// The Loomshare community service from the command line: list the shared presets, share one of yours,
// and fetch one into My Presets. Listing and sharing go through the store, so the safety check, the
// author and the messages are the HUD's.

#include "cli/Cli.h"
#include "cli/StoreSession.h"
#include "community/CommunityClient.h"
#include "platform/AtomicFile.h"
#include "platform/HttpClient.h"
#include "presets/PresetLibrary.h"
#include "presets/PresetSafety.h"

#include <iostream>

namespace keyglass::cli {

namespace {

int runList(Invocation& call)
{
    const bool json = takeFlag(call.args, "--json");
    if (!call.args.empty()) {
        call.err << "usage: keyglass-cli community list [--json]\n";
        return ExitUsage;
    }
    auto session = StoreSession::open(call);
    if (reportError(call, session))
        return ExitFailed;
    PadStore& store = (*session)->store();
    store.loadCommunityPresets();
    (*session)->settle();
    if (store.toastMessage() && store.toastIsError()) {
        call.err << *store.toastMessage() << "\n";
        return ExitFailed;
    }
    if (json) {
        nlohmann::json list = nlohmann::json::array();
        for (const auto& preset : store.communityPresets())
            list.push_back(presetToJson(preset));
        call.out << nlohmann::json{{"community", list}}.dump(2, ' ', false, nlohmann::json::error_handler_t::replace)
                 << "\n";
        return ExitOk;
    }
    for (const auto& p : store.communityPresets())
        call.out << p.id << "\t" << p.name << "\t" << p.appName << "\t" << p.os << "\t" << p.deviceProfile << "\t"
                 << p.author.value_or("Community") << "\n";
    return ExitOk;
}

int runShare(Invocation& call)
{
    if (call.args.size() != 1) {
        call.err << "usage: keyglass-cli community share PRESET_ID|FILE\n";
        return ExitUsage;
    }
    auto session = StoreSession::open(call);
    if (reportError(call, session))
        return ExitFailed;
    PadStore& store = (*session)->store();
    std::optional<DevicePreset> preset;
    for (const auto& candidate : store.availablePresets())
        if (candidate.id == call.args[0])
            preset = candidate;
    if (!preset) {
        auto text = readFileCapped(call.args[0], MaxPresetDocumentBytes);
        if (!text) {
            call.err << "no preset with id \"" << call.args[0] << "\" and no readable file of that name ("
                     << text.error().message << ")\n";
            return ExitFailed;
        }
        auto decoded = decodePreset(*text);
        if (!decoded) {
            call.err << call.args[0] << ": not a readable preset: " << decoded.error().message << "\n";
            return ExitFailed;
        }
        preset = std::move(*decoded);
    }
    store.sharePreset(*preset, {});
    (*session)->settle();
    const bool ok = (*session)->reportToast(call);
    return ok ? ExitOk : ExitFailed;
}

// "http://host/p/<id>", "<id>", or a link with a trailing slash or query.
std::string presetURL(const std::string& base, const std::string& reference)
{
    if (reference.find("://") != std::string::npos)
        return reference;
    std::string url = base;
    url += "/p/";
    url += reference;
    return url;
}

int runGet(Invocation& call)
{
    if (call.args.size() != 1) {
        call.err << "usage: keyglass-cli community get URL|ID\n";
        return ExitUsage;
    }
    auto session = StoreSession::open(call);
    if (reportError(call, session))
        return ExitFailed;
    StoreSession& s = **session;
    HttpRequest request;
    request.url = presetURL(s.store().communityBaseURL(), call.args[0]);
    request.headers.emplace_back("Accept", "application/json");
    request.timeout = std::chrono::seconds(10);
    std::optional<Expected<HttpResponse>> answer;
    s.http().send(request, s.lifetime(), [&](const Expected<HttpResponse>& r) { answer = r; });
    s.settle();
    if (!answer || !*answer) {
        call.err << "Could not fetch " << request.url << ": "
                 << (answer ? (*answer).error().message : std::string("no answer")) << "\n";
        return ExitFailed;
    }
    const HttpResponse& response = **answer;
    if (response.status != 200) {
        call.err << "Could not fetch " << request.url << ": the service answered " << response.status << "\n";
        return ExitFailed;
    }
    auto preset = decodePreset(response.body);
    if (!preset) {
        call.err << request.url << ": not a readable preset: " << preset.error().message << "\n";
        return ExitFailed;
    }
    if (const auto problems = validatePreset(*preset, false); !problems.empty()) {
        call.err << "Blocked unsafe preset: " << problems.front() << "\n";
        return ExitFailed;
    }
    // A custom copy: the user's own from now on, free to edit and delete.
    auto copy = clonePreset(*preset, preset->name, preset->appName, preset->os);
    if (!copy) {
        call.err << "Failed to save preset: " << copy.error().message << "\n";
        return ExitFailed;
    }
    copy->author = preset->author;
    auto saved = savePreset(*copy);
    if (!saved) {
        call.err << "Failed to save preset: " << saved.error().message << "\n";
        return ExitFailed;
    }
    call.out << "Saved custom preset \"" << copy->name << "\"\t" << copy->id << "\t" << saved->string() << "\n";
    return ExitOk;
}

const bool registered = registerCommand("community list", "community list [--json]", runList) &&
                        registerCommand("community share", "community share PRESET_ID|FILE", runShare) &&
                        registerCommand("community get", "community get URL|ID", runGet);

} // namespace

} // namespace keyglass::cli
