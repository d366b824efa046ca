#pragma once
// The T3 Code keybindings, read so that keycaps sending one of its shortcuts show the command's name.

#include "keycodes/Keycodes.h"

#include <filesystem>
#include <map>
#include <string_view>

namespace keyglass {

/// The 35 T3 Code command ids the keycaps know, with their keycap titles.
const std::map<std::string_view, std::string_view>& t3CommandTitles();

/// Key string (lower-cased, "mod+shift+o") -> command title, from a T3 Code keybindings file: a JSON
/// array of {key, command, when} objects. A binding scoped to a focused terminal or preview never
/// displaces one already read, unless it is scoped to "!terminalFocus". Anything unreadable gives
/// fewer or no entries, never an error.
T3Map loadT3Map(const std::filesystem::path& file);

/// The same rules over file contents already in memory.
T3Map parseT3Map(std::string_view text);

} // namespace keyglass
