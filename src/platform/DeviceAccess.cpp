#include "platform/DeviceAccess.h"

#include "platform/Paths.h"

#include <filesystem>

namespace keyglass {

namespace fs = std::filesystem;

std::string shellQuoted(const std::string& text)
{
    std::string quoted = "'";
    for (const char c : text) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    return quoted + "'";
}

AlertRequest deviceAccessAlert(const DeviceAccessFix& fix)
{
    AlertRequest alert;
    alert.style = AlertStyle::informational;
    alert.message = "Give Keyglass access to your pads?";
    alert.informativeText = "Keyglass will ask for an administrator password and run:\n\n";
    for (const auto& line : fix.commands)
        alert.informativeText += line + "\n";
    alert.informativeText += "\nThis lets the user at this seat open the RawHID interface of VIA and Vial pads, "
                             "and nothing else. Replug the pad afterwards if it still does not show.";
    alert.buttons = {"Cancel", "Install Rule"};
    return alert;
}

Expected<DeviceAccessFix> deviceAccessFix()
{
    for (const auto& dir : paths::resourceDirs()) {
        const fs::path rule = dir / "udev" / "60-keyglass-hidraw.rules";
        const fs::path helper = dir / "udev" / "keyglass-rawhid-check";
        std::error_code ec;
        if (!fs::is_regular_file(rule, ec) || !fs::is_regular_file(helper, ec))
            continue;
        DeviceAccessFix fix;
        std::string install = "install -D -m 0755 ";
        install += shellQuoted(helper.string());
        install += ' ';
        install += InstalledAccessHelper;
        std::string rewrite = "sed 's#PROGRAM=\"keyglass-rawhid-check#PROGRAM=\"";
        rewrite += InstalledAccessHelper;
        rewrite += "#' ";
        rewrite += shellQuoted(rule.string());
        rewrite += " > ";
        rewrite += InstalledAccessRule;
        fix.commands = {install,
                        rewrite,
                        "udevadm control --reload-rules",
                        "udevadm trigger --subsystem-match=hidraw --action=change"};
        std::string script = "set -e";
        for (const auto& line : fix.commands)
            script += "\n" + line;
        fix.argv = {"pkexec", "/bin/sh", "-c", script};
        return fix;
    }
    return unexpected(Error("The udev rule that ships with Keyglass was not found"));
}

} // namespace keyglass
