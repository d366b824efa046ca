#include "input/DesktopEntry.h"

#include "keycodes/KeycodeText.h"
#include "platform/AtomicFile.h"

namespace keyglass {

namespace {

constexpr std::size_t MaxDesktopFileBytes = 256 * 1024;

std::string_view trimBlanks(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

// The escapes every string value may carry (\s \n \t \r \\).
std::string unescapeValue(std::string_view value)
{
    std::string out;
    out.reserve(value.size());
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\' || i + 1 == value.size()) {
            out += value[i];
            continue;
        }
        const char next = value[++i];
        switch (next) {
        case 's':
            out += ' ';
            break;
        case 'n':
            out += '\n';
            break;
        case 't':
            out += '\t';
            break;
        case 'r':
            out += '\r';
            break;
        case '\\':
            out += '\\';
            break;
        default:
            out += '\\';
            out += next;
        }
    }
    return out;
}

// Drops field codes (%f, %U, ...) and turns %% into %. An argument made only of field codes
// disappears, since the launcher would have substituted nothing for it.
std::optional<std::string> stripFieldCodes(const std::string& arg)
{
    std::string out;
    bool removed = false;
    for (size_t i = 0; i < arg.size(); ++i) {
        if (arg[i] != '%' || i + 1 == arg.size()) {
            out += arg[i];
            continue;
        }
        if (arg[i + 1] == '%')
            out += '%';
        else
            removed = true;
        ++i;
    }
    if (removed && out.empty())
        return std::nullopt;
    return out;
}

std::vector<std::string> splitExec(std::string_view command)
{
    std::vector<std::string> args;
    std::string current;
    bool inArg = false;
    bool quoted = false;
    for (size_t i = 0; i < command.size(); ++i) {
        const char c = command[i];
        if (quoted) {
            if (c == '"') {
                quoted = false;
            } else if (c == '\\' && i + 1 < command.size() &&
                       (command[i + 1] == '"' || command[i + 1] == '`' || command[i + 1] == '$' ||
                        command[i + 1] == '\\')) {
                current += command[++i];
            } else {
                current += c;
            }
            continue;
        }
        if (c == ' ' || c == '\t' || c == '\n') {
            if (inArg) {
                if (auto arg = stripFieldCodes(current))
                    args.push_back(std::move(*arg));
                current.clear();
                inArg = false;
            }
            continue;
        }
        inArg = true;
        if (c == '"')
            quoted = true;
        else
            current += c;
    }
    // An unterminated quote makes the whole command line malformed: launching a guess could run the
    // wrong program, so the entry gets no command at all.
    if (quoted)
        return {};
    if (inArg) {
        if (auto arg = stripFieldCodes(current))
            args.push_back(std::move(*arg));
    }
    return args;
}

} // namespace

std::optional<DesktopEntry> parseDesktopEntry(std::string_view text)
{
    DesktopEntry entry;
    bool sawGroup = false;
    bool inGroup = false;
    bool haveName = false, haveExec = false, haveClass = false, haveIcon = false;

    while (!text.empty()) {
        const size_t end = text.find('\n');
        std::string_view line = trimBlanks(text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);

        if (line.empty() || line.front() == '#')
            continue;
        if (line.front() == '[') {
            inGroup = line == "[Desktop Entry]";
            sawGroup = sawGroup || inGroup;
            continue;
        }
        if (!inGroup)
            continue;
        const size_t equals = line.find('=');
        if (equals == std::string_view::npos)
            continue;
        const std::string_view key = trimBlanks(line.substr(0, equals));
        const std::string_view value = trimBlanks(line.substr(equals + 1));

        // A repeated key is invalid; the first one counts, as launchers do.
        if (key == "Name" && !haveName) {
            entry.name = unescapeValue(value);
            haveName = true;
        } else if (key == "Exec" && !haveExec) {
            entry.exec = splitExec(unescapeValue(value));
            haveExec = true;
        } else if (key == "StartupWMClass" && !haveClass) {
            entry.startupWMClass = unescapeValue(value);
            haveClass = true;
        } else if (key == "Icon" && !haveIcon) {
            entry.iconName = unescapeValue(value);
            haveIcon = true;
        }
    }
    if (!sawGroup)
        return std::nullopt;
    return entry;
}

std::optional<DesktopEntry> readDesktopEntry(const std::filesystem::path& file)
{
    const auto text = readFileCapped(file, MaxDesktopFileBytes);
    if (!text)
        return std::nullopt;
    return parseDesktopEntry(*text);
}

std::vector<std::string> launchCommandFor(std::string_view appPath)
{
    if (appPath.empty())
        return {};
    if (asciiLower(appPath).ends_with(".desktop")) {
        if (auto entry = readDesktopEntry(std::filesystem::path(appPath)))
            return entry->exec;
        return {};
    }
    return {std::string(appPath)};
}

} // namespace keyglass
