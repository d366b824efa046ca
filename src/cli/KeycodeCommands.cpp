// keyglass-cli keycode parse|format|describe|validate|names and preset validate: the keycode
// vocabulary and the safety rules for scripts, one result per input line.

#include "cli/Cli.h"
#include "keycodes/KeycodeExpression.h"
#include "keycodes/KeycodeSafety.h"
#include "keycodes/KeycodeText.h"
#include "keycodes/Keycodes.h"
#include "keycodes/LegacyNumbering.h"
#include "keycodes/QmkVocabulary.h"
#include "platform/AtomicFile.h"
#include "presets/DevicePreset.h"
#include "presets/PresetSafety.h"

#include <nlohmann/json.hpp>

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

namespace keyglass::cli {

namespace {

// Leftover "--something" after the known flags is a typo, not an input.
bool rejectUnknownOptions(Invocation& call, std::string_view command)
{
    for (const std::string& arg : call.args) {
        if (arg.size() > 2 && arg.starts_with("--")) {
            call.err << "keyglass-cli " << command << ": unknown option " << arg << "\n";
            return true;
        }
    }
    return false;
}

// CODE as decimal or 0x-hexadecimal, 0-65535.
std::optional<Keycode> parseCodeArgument(std::string_view text)
{
    const std::string_view trimmed = trimWhitespace(text);
    std::uint16_t value = 0;
    if (trimmed.size() > 2 && trimmed[0] == '0' && (trimmed[1] == 'x' || trimmed[1] == 'X')) {
        if (parseHex16(trimmed.substr(2), value))
            return value;
        return std::nullopt;
    }
    if (parseDecimal16(trimmed, value))
        return value;
    return std::nullopt;
}

// The file helpers start their messages with the file's name; the command already names the file.
std::string_view withoutFileName(std::string_view message, const std::string& file)
{
    const std::string name = std::filesystem::path(file).filename().string();
    if (!name.empty() && message.starts_with(name) && message.substr(name.size()).starts_with(": "))
        message.remove_prefix(name.size() + 2);
    return message;
}

int keycodeParse(Invocation& call)
{
    const bool legacy = takeFlag(call.args, "--legacy");
    if (rejectUnknownOptions(call, "keycode parse"))
        return ExitUsage;
    int status = ExitOk;
    for (const std::string& input : inputsOrStdin(call, call.args)) {
        if (const auto code = parseKeycodeExpression(input, legacy)) {
            call.out << hex4(*code) << "\n";
        } else {
            call.out << "none\n";
            status = ExitFailed;
        }
    }
    return status;
}

int keycodeFormat(Invocation& call)
{
    const bool legacy = takeFlag(call.args, "--legacy");
    if (rejectUnknownOptions(call, "keycode format"))
        return ExitUsage;
    int status = ExitOk;
    for (const std::string& input : inputsOrStdin(call, call.args)) {
        if (const auto code = parseCodeArgument(input)) {
            call.out << formatKeycode(*code, legacy) << "\n";
        } else {
            call.err << "keyglass-cli keycode format: not a keycode (0-65535 or 0x0000-0xFFFF): \"" << input << "\"\n";
            status = ExitFailed;
        }
    }
    return status;
}

int keycodeDescribe(Invocation& call)
{
    const bool legacy = takeFlag(call.args, "--legacy");
    const bool windows = takeFlag(call.args, "--windows");
    if (rejectUnknownOptions(call, "keycode describe"))
        return ExitUsage;
    const T3Map noT3;
    const FocusMap noFocus;
    int status = ExitOk;
    for (const std::string& input : inputsOrStdin(call, call.args)) {
        if (const auto code = parseCodeArgument(input)) {
            const KeyAction action = describeKeycode(*code, legacy, windows, noT3, noFocus);
            call.out << action.title << "\t" << action.shortcut << "\n";
        } else {
            call.err << "keyglass-cli keycode describe: not a keycode (0-65535 or 0x0000-0xFFFF): \"" << input
                     << "\"\n";
            status = ExitFailed;
        }
    }
    return status;
}

int keycodeValidate(Invocation& call)
{
    const bool legacy = takeFlag(call.args, "--legacy");
    if (rejectUnknownOptions(call, "keycode validate"))
        return ExitUsage;
    int status = ExitOk;
    for (const std::string& input : inputsOrStdin(call, call.args)) {
        if (const auto problem = validateExpression(input, legacy)) {
            call.out << *problem << "\n";
            status = ExitFailed;
        } else {
            call.out << "ok\n";
        }
    }
    return status;
}

// Every QMK key the pad's numbering has a code for: code, key, aliases (current names first, then
// the ones older QMK used), title and shortcut.
int keycodeNames(Invocation& call)
{
    const bool legacy = takeFlag(call.args, "--legacy");
    const bool asJson = takeFlag(call.args, "--json");
    if (rejectUnknownOptions(call, "keycode names"))
        return ExitUsage;
    if (!call.args.empty()) {
        call.err << "usage: keyglass-cli keycode names [--legacy] [--json]\n";
        return ExitUsage;
    }
    const T3Map noT3;
    const FocusMap noFocus;
    nlohmann::json list = nlohmann::json::array();
    for (const QmkKeycode& entry : qmkKeycodes()) {
        const auto code = legacy ? toLegacyNumbering(entry.code) : std::optional<Keycode>(entry.code);
        if (!code)
            continue;
        std::vector<std::string> aliases;
        const auto add = [&](std::string_view name) { aliases.emplace_back(name); };
        forEachName(entry.aliases, add);
        forEachName(entry.former, add);
        const KeyAction action = describeKeycode(*code, legacy, false, noT3, noFocus);
        if (asJson) {
            list.push_back({{"code", hex4(*code)},
                            {"name", entry.key},
                            {"aliases", aliases},
                            {"title", action.title},
                            {"shortcut", action.shortcut}});
            continue;
        }
        std::string joined;
        for (const std::string& alias : aliases)
            joined += (joined.empty() ? "" : ",") + alias;
        call.out << hex4(*code) << "\t" << entry.key << "\t" << joined << "\t" << action.title << "\t"
                 << action.shortcut << "\n";
    }
    if (asJson)
        call.out << list.dump(2) << "\n";
    return ExitOk;
}

int presetValidate(Invocation& call)
{
    const bool legacy = takeFlag(call.args, "--legacy");
    if (rejectUnknownOptions(call, "preset validate"))
        return ExitUsage;
    std::vector<std::string> files;
    for (std::string& name : inputsOrStdin(call, call.args)) {
        // Blank lines in a list of file names on standard input name no file.
        if (!trimWhitespace(name).empty())
            files.push_back(std::move(name));
    }
    if (files.empty()) {
        call.err << "usage: keyglass-cli preset validate [--legacy] FILE...\n";
        return ExitUsage;
    }
    const bool prefixed = files.size() > 1;
    int status = ExitOk;
    for (const std::string& file : files) {
        const auto text = readFileCapped(file, MaxPresetDocumentBytes);
        if (!text) {
            call.err << file << ": cannot read: " << withoutFileName(text.error().message, file) << "\n";
            status = ExitFailed;
            continue;
        }
        const auto preset = decodePreset(*text);
        if (!preset) {
            call.err << file << ": not a readable preset: " << preset.error().message << "\n";
            status = ExitFailed;
            continue;
        }
        const std::string prefix = prefixed ? file + ": " : std::string();
        const std::vector<std::string> problems = validatePreset(*preset, legacy);
        if (problems.empty())
            call.out << prefix << "ok\n";
        for (const std::string& problem : problems)
            call.out << prefix << problem << "\n";
        if (!problems.empty())
            status = ExitFailed;
    }
    return status;
}

const bool registered = [] {
    registerCommand("keycode parse",
                    "keycode parse [--legacy] [EXPR...]        keycode of each QMK expression (0x%04X or none)",
                    keycodeParse);
    registerCommand("keycode format",
                    "keycode format [--legacy] [CODE...]       QMK expression of each keycode (decimal or 0x-hex)",
                    keycodeFormat);
    registerCommand("keycode describe",
                    "keycode describe [--legacy] [--windows] [CODE...]  keycap title, a tab, shortcut",
                    keycodeDescribe);
    registerCommand("keycode validate",
                    "keycode validate [--legacy] [EXPR...]     ok, or why the expression is refused",
                    keycodeValidate);
    registerCommand("keycode names",
                    "keycode names [--legacy] [--json]         every QMK key: code, name, aliases, title, shortcut",
                    keycodeNames);
    registerCommand("preset validate",
                    "preset validate [--legacy] FILE...        each refused expression of a preset file, or ok",
                    presetValidate);
    return true;
}();

} // namespace

} // namespace keyglass::cli
