// keyglass-cli autostart on|off|status: the "Start at login" switch of the tray menu, for scripts.

#include "cli/Cli.h"
#include "platform/Autostart.h"

#include <filesystem>
#include <ostream>

namespace keyglass::cli {

namespace {

// The desktop app installed next to this program; by name (found on PATH at login) otherwise.
std::filesystem::path appExecutable()
{
    std::error_code ec;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec) {
        const auto sibling = self.parent_path() / "keyglass";
        if (std::filesystem::is_regular_file(sibling, ec))
            return sibling;
    }
    return "keyglass";
}

int autostartCommand(Invocation& call)
{
    if (call.args.size() != 1) {
        call.err << "usage: keyglass-cli autostart on|off|status\n";
        return ExitUsage;
    }
    const std::string& what = call.args[0];
    if (what == "status") {
        call.out << (autostart::isEnabled() ? "on" : "off") << "\t" << autostart::entryFile().string() << "\n";
        return ExitOk;
    }
    if (what != "on" && what != "off") {
        call.err << "keyglass-cli autostart: expected on, off or status, not " << what << "\n";
        return ExitUsage;
    }
    const auto done = what == "on" ? autostart::enable(appExecutable()) : autostart::disable();
    if (!done) {
        call.err << "keyglass-cli autostart: " << done.error().message << "\n";
        return ExitFailed;
    }
    call.out << what << "\t" << autostart::entryFile().string() << "\n";
    return ExitOk;
}

const bool registered =
    registerCommand("autostart",
                    "autostart on|off|status                   start Keyglass at login (XDG autostart entry)",
                    autostartCommand);

} // namespace

} // namespace keyglass::cli
