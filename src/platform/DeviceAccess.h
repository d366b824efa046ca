#pragma once
// Giving the user at the seat access to the pads' RawHID nodes when nothing installed the udev rule
// (a source build): the rule and its helper are copied into the system folders by an administrator.
// The commands are built here so they can be shown to the user word for word before they run.

#include "model/Expected.h"
#include "platform/Desktop.h"

#include <string>
#include <vector>

namespace keyglass {

struct DeviceAccessFix
{
    /// Shell lines, as shown to the user and run in this order.
    std::vector<std::string> commands;
    /// What runs them as administrator: pkexec /bin/sh -c "<the commands>".
    std::vector<std::string> argv;
};

/// Where the fix puts the rule's helper: udev finds helpers without a path only in the folder its
/// own package installs into, so the rule copied to /etc names this one in full.
inline constexpr const char* InstalledAccessHelper = "/usr/local/lib/keyglass/keyglass-rawhid-check";
inline constexpr const char* InstalledAccessRule = "/etc/udev/rules.d/60-keyglass-hidraw.rules";

/// The fix built from the first resource folder that holds udev/60-keyglass-hidraw.rules and
/// udev/keyglass-rawhid-check; an error when none does.
Expected<DeviceAccessFix> deviceAccessFix();

/// The question asked before the fix runs, with every command spelled out. Buttons: "Cancel", "Install Rule".
AlertRequest deviceAccessAlert(const DeviceAccessFix& fix);

/// `text` quoted for a POSIX shell: single quotes, an embedded one written as '\''.
std::string shellQuoted(const std::string& text);

} // namespace keyglass
