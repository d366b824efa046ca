// Presets and backups through the store, so the CLI applies the same checks, automatic backups and
// messages as the HUD.

#include "backup/AutomaticBackups.h"
#include "cli/Cli.h"
#include "cli/StoreSession.h"
#include "platform/AtomicFile.h"
#include "presets/PresetLibrary.h"
#include "presets/PresetSafety.h"

#include <iostream>

namespace keyglass::cli {

namespace {
// After staging: print the toast, then write to the pad unless this is a dry run.
int finishStaging(const Invocation& call, StoreSession& session, const std::string& deviceID, bool dryRun)
{
    if (!session.reportToast(call))
        return ExitFailed;
    if (dryRun)
        return ExitOk;
    session.store().apply(deviceID);
    session.settle();
    return session.reportToast(call) ? ExitOk : ExitFailed;
}

std::optional<std::string> single(Invocation& call, std::string_view name)
{
    bool missing = false;
    const auto values = takeOption(call.args, name, &missing);
    if (missing || values.empty())
        return std::nullopt;
    return values.back();
}

int runList(Invocation& call)
{
    if (call.args.size() > 1) {
        call.err << "usage: keyglass-cli preset list [ID]\n";
        return ExitUsage;
    }
    auto session = StoreSession::open(call);
    if (reportError(call, session))
        return ExitFailed;
    const DeviceModel* device = nullptr;
    if (!call.args.empty()) {
        auto found = (*session)->findDevice(call.args[0]);
        if (reportError(call, found))
            return ExitFailed;
        device = *found;
    }
    const PadStore& store = (*session)->store();
    for (const auto& preset : store.availablePresets()) {
        if (device && !presetFitsDevice(preset, *device))
            continue;
        const bool active = device && store.activePresetIDByDevice().count(device->id) &&
                            store.activePresetIDByDevice().at(device->id) == preset.id;
        call.out << preset.id << "\t" << preset.name << "\t" << preset.appName << "\t" << preset.os << "\t"
                 << preset.deviceProfile << "\t" << (preset.builtIn ? "built-in" : "custom")
                 << (active ? "\tactive" : "") << "\n";
    }
    return ExitOk;
}

int runApply(Invocation& call)
{
    const bool dryRun = takeFlag(call.args, "--dry-run");
    if (call.args.size() != 2) {
        call.err << "usage: keyglass-cli preset apply ID PRESET_ID_OR_FILE [--dry-run]\n";
        return ExitUsage;
    }
    std::string deviceID;
    auto session = StoreSession::openWithDevice(call, call.args[0], deviceID);
    if (!session)
        return ExitFailed;
    PadStore& store = session->store();
    std::optional<DevicePreset> preset;
    for (const auto& candidate : store.availablePresets()) {
        if (candidate.id == call.args[1])
            preset = candidate;
    }
    if (!preset) {
        auto text = readFileCapped(call.args[1], MaxPresetDocumentBytes);
        if (!text) {
            call.err << "no preset with id \"" << call.args[1] << "\" and no readable file of that name ("
                     << text.error().message << ")\n";
            return ExitFailed;
        }
        auto decoded = decodePreset(*text);
        if (!decoded) {
            call.err << call.args[1] << ": not a readable preset: " << decoded.error().message << "\n";
            return ExitFailed;
        }
        preset = std::move(*decoded);
    }
    if (dryRun) {
        // Nothing may be written: no automatic backup, no active-preset choice, no pad write.
        const DeviceModel* device = store.device(deviceID);
        if (const auto problems = validatePreset(*preset, device && device->legacyKeycodes()); !problems.empty()) {
            call.err << "Blocked unsafe preset: " << problems.front() << "\n";
            return ExitFailed;
        }
        call.out << "Dry run: " << preset->name << " passes the safety check; nothing written\n";
        return ExitOk;
    }
    store.applyPreset(*preset, deviceID, false);
    return finishStaging(call, *session, deviceID, false);
}

int runSaveCurrent(Invocation& call)
{
    const auto name = single(call, "--name");
    const auto app = single(call, "--app");
    const auto os = single(call, "--os");
    const auto category = single(call, "--category");
    if (call.args.size() != 1 || !name || !app || !os || (*os != "macos" && *os != "windows")) {
        call.err << "usage: keyglass-cli preset save-current ID --name N --app A --os macos|windows [--category C]\n";
        return ExitUsage;
    }
    std::string deviceID;
    auto session = StoreSession::openWithDevice(call, call.args[0], deviceID);
    if (!session)
        return ExitFailed;
    session->store().saveCurrentAsPreset(deviceID, *name, *app, *os, category.value_or("Custom"));
    if (!session->reportToast(call))
        return ExitFailed;
    if (const auto chosen = session->store().activePresetIDByDevice().find(deviceID);
        chosen != session->store().activePresetIDByDevice().end())
        call.out << chosen->second << "\n";
    return ExitOk;
}

int runClone(Invocation& call)
{
    const auto name = single(call, "--name");
    const auto app = single(call, "--app");
    const auto os = single(call, "--os");
    if (call.args.size() != 1) {
        call.err << "usage: keyglass-cli preset clone PRESET_ID [--name N] [--app A] [--os macos|windows]\n";
        return ExitUsage;
    }
    const auto presets = loadPresets();
    const auto source =
        std::find_if(presets.begin(), presets.end(), [&](const auto& p) { return p.id == call.args[0]; });
    if (source == presets.end()) {
        call.err << "no preset with id \"" << call.args[0] << "\"\n";
        return ExitFailed;
    }
    auto clone = clonePreset(*source, name.value_or(""), app.value_or(""), os.value_or(""));
    if (!clone) {
        call.err << "Failed to clone preset: " << clone.error().message << "\n";
        return ExitFailed;
    }
    call.out << "Cloned \"" << clone->name << "\" — edit keys, then save or Apply\n" << clone->id << "\n";
    return ExitOk;
}

int runDelete(Invocation& call)
{
    if (call.args.size() != 1) {
        call.err << "usage: keyglass-cli preset delete PRESET_ID\n";
        return ExitUsage;
    }
    auto session = StoreSession::open(call);
    if (reportError(call, session))
        return ExitFailed;
    PadStore& store = (*session)->store();
    for (const auto& preset : store.availablePresets()) {
        if (preset.id != call.args[0])
            continue;
        if (preset.builtIn) {
            call.err << "\"" << preset.name << "\" is built in and cannot be deleted\n";
            return ExitFailed;
        }
        const DevicePreset copy = preset;
        store.deletePreset(copy);
        return (*session)->reportToast(call) ? ExitOk : ExitFailed;
    }
    call.err << "no preset with id \"" << call.args[0] << "\"\n";
    return ExitFailed;
}

int runBackup(Invocation& call)
{
    if (call.args.empty() || call.args.size() > 2) {
        call.err << "usage: keyglass-cli backup ID [FILE]\n";
        return ExitUsage;
    }
    std::string deviceID;
    auto session = StoreSession::openWithDevice(call, call.args[0], deviceID);
    if (!session)
        return ExitFailed;
    if (call.args.size() == 1) {
        // No file: an automatic backup, listed beside the ones taken before presets are applied.
        auto written = writeAutomaticBackup(*session->store().device(deviceID), "cli");
        if (!written) {
            call.err << "Backup failed: " << written.error().message << "\n";
            return ExitFailed;
        }
        call.out << "Saved backup to " << written->string() << "\n";
        return ExitOk;
    }
    session->desktop().saveAnswers = {std::filesystem::absolute(call.args[1])};
    session->store().saveBackup(deviceID);
    return session->reportToast(call) ? ExitOk : ExitFailed;
}

int runRestore(Invocation& call)
{
    const bool dryRun = takeFlag(call.args, "--dry-run");
    if (call.args.size() != 2) {
        call.err << "usage: keyglass-cli restore ID FILE [--dry-run]\n";
        return ExitUsage;
    }
    std::string deviceID;
    auto session = StoreSession::openWithDevice(call, call.args[0], deviceID);
    if (!session)
        return ExitFailed;
    session->store().loadLayoutFile(call.args[1], deviceID);
    return finishStaging(call, *session, deviceID, dryRun);
}

int runRestoreLatest(Invocation& call)
{
    const bool dryRun = takeFlag(call.args, "--dry-run");
    if (call.args.size() != 1) {
        call.err << "usage: keyglass-cli restore-latest ID [--dry-run]\n";
        return ExitUsage;
    }
    std::string deviceID;
    auto session = StoreSession::openWithDevice(call, call.args[0], deviceID);
    if (!session)
        return ExitFailed;
    session->store().restoreLatestAutoBackup(deviceID);
    return finishStaging(call, *session, deviceID, dryRun);
}

const bool registered =
    registerCommand("preset list", "preset list [ID]        presets (that fit a pad)", runList) &&
    registerCommand(
        "preset apply", "preset apply ID PRESET_ID_OR_FILE [--dry-run]   stage a preset, then apply", runApply) &&
    registerCommand("preset save-current",
                    "preset save-current ID --name N --app A --os macos|windows [--category C]",
                    runSaveCurrent) &&
    registerCommand("preset clone", "preset clone PRESET_ID [--name N] [--app A] [--os macos|windows]", runClone) &&
    registerCommand("preset delete", "preset delete PRESET_ID   a custom preset", runDelete) &&
    registerCommand("backup", "backup ID [FILE]        back up a pad (an automatic backup without FILE)", runBackup) &&
    registerCommand(
        "restore", "restore ID FILE [--dry-run]   backup, VIA export, keymap.json or .vil, then apply", runRestore) &&
    registerCommand(
        "restore-latest", "restore-latest ID [--dry-run]   the newest automatic backup, then apply", runRestoreLatest);
} // namespace

} // namespace keyglass::cli
