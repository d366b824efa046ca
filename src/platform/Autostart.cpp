#include "platform/Autostart.h"

#include "platform/AtomicFile.h"
#include "platform/Paths.h"

#include <cstdlib>
#include <sstream>
#include <string_view>

namespace keyglass::autostart {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t MaxEntryBytes = 64u << 10;

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

// The Exec key's quoting: an argument with a reserved character goes in double quotes with `"`, `` ` ``,
// `$` and `\` backslash-escaped; then the whole value gets the string escapes of the format, which
// double every backslash, and `%` is written `%%` so it is not a field code.
std::string execValue(const std::string& argument)
{
    constexpr std::string_view Reserved = " \t\n\"'\\><~|&;$*?#()`";
    std::string quoted;
    if (argument.find_first_of(Reserved) == std::string::npos) {
        quoted = argument;
    } else {
        quoted = "\"";
        for (const char c : argument) {
            if (c == '"' || c == '`' || c == '$' || c == '\\')
                quoted += '\\';
            quoted += c;
        }
        quoted += '"';
    }
    std::string out;
    for (const char c : quoted) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '%')
            out += "%%";
        else if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    return out;
}

} // namespace

fs::path entryFile()
{
    const char* config = std::getenv("XDG_CONFIG_HOME");
    const fs::path base =
        config && *config && fs::path(config).is_absolute() ? fs::path(config) : paths::home() / ".config";
    return base / "autostart" / "keyglass.desktop";
}

bool isEnabled()
{
    const auto text = readFileCapped(entryFile(), MaxEntryBytes);
    if (!text)
        return false;
    std::istringstream lines(*text);
    std::string line;
    bool inEntry = false;
    while (std::getline(lines, line)) {
        const std::string_view l = trimmed(line);
        if (l.starts_with('[')) {
            inEntry = l == "[Desktop Entry]";
            continue;
        }
        if (!inEntry)
            continue;
        const auto equals = l.find('=');
        if (equals == std::string_view::npos)
            continue;
        const std::string_view key = trimmed(l.substr(0, equals));
        const std::string_view value = trimmed(l.substr(equals + 1));
        if ((key == "Hidden" && value == "true") || (key == "X-GNOME-Autostart-enabled" && value == "false"))
            return false;
    }
    return true;
}

std::string entryText(const fs::path& executable)
{
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Keyglass\n"
           "Comment=See and remap the keys and knobs of your VIA and Vial macropads\n"
           "Exec=" +
           execValue(executable.string()) +
           "\n"
           "Icon=keyglass\n"
           "Terminal=false\n"
           "X-GNOME-Autostart-enabled=true\n";
}

Expected<void> enable(const fs::path& executable)
{
    return writeFileAtomically(entryFile(), entryText(executable));
}

Expected<void> disable()
{
    std::error_code ec;
    fs::remove(entryFile(), ec);
    if (ec)
        return unexpected(Error(entryFile().string() + ": " + ec.message()));
    return {};
}

} // namespace keyglass::autostart
