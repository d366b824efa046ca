#pragma once
// App Focus triggers: pad keys sending F13-F24 (optionally with Control) bring a chosen application to
// the front. The bindings live in a small JSON file the user may also edit by hand:
//   {"hotkeys": [{"key": "F13", "mods": ["ctrl"], "app": "/usr/share/applications/firefox.desktop"}]}

#include "keycodes/Keycodes.h"
#include "model/Expected.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace keyglass {

/// Trigger keycode -> application. A file that is missing or unusable gives an empty map; entries
/// without a string "key" and "app", or with a key name the label table does not know, are skipped;
/// a later entry for the same trigger replaces an earlier one. Reads at most 1 MiB.
FocusMap loadFocusMap(const std::filesystem::path& file);
FocusMap parseFocusMap(std::string_view text);

/// None when the file is missing or its attributes cannot be read.
std::optional<std::filesystem::file_time_type> focusFileModificationTime(const std::filesystem::path& file);

/// The name an application goes by on a keycap: the last path component without its extension, with
/// " (Beta)" and "Google " removed ("/opt/Google Chrome.app" -> "Chrome"). A readable .desktop file
/// gives its Name instead of the file name.
std::string focusAppName(std::string_view appPath);

/// F13..F24 (0x0068-0x0073), then Control+F13..F24 (0x0168-0x0173).
const std::vector<Keycode>& focusTriggerCodes();

/// The trigger for a new binding: the slot's own code when it already is a trigger, else the first
/// trigger without an application, else F13.
Keycode chooseFocusTrigger(std::optional<Keycode> currentSlotCode, const FocusMap& map);

/// Error codes of bindFocusApp (domain "FocusMap").
enum class FocusBindError
{
    noKeyName = 1,   // the low byte has no key name: nothing was written
    writeFailed = 2, // the message names the file and the reason
    notSerialisable = 3,
};

/// The text of a focus file after binding `code` to `appPath`: the entries of `existingText` (none
/// when it is no usable focus file) without those of the same trigger, then the new one.
Expected<std::string> focusTextWithBinding(std::string_view existingText, Keycode code, const std::string& appPath);

/// Binds `code` to the application at `appPath` in the focus file: every entry for the same trigger
/// (same key name and the same set of modifier names) is removed and the new one appended; the file
/// is rewritten atomically with sorted keys, keeping only the members it knows. A file that exists
/// but cannot be used is kept beside it as "<file>.bak" before being replaced. Returns the
/// application's file name without extension, for the confirmation message.
Expected<std::string> bindFocusApp(const std::filesystem::path& file, Keycode code, const std::string& appPath);

} // namespace keyglass
