#pragma once
// How every reader of outside JSON (files in the user's home, definitions from a pad, downloads) turns
// text into a tree: the size is capped before parsing and the nesting depth is checked before the tree
// is built, so no hostile file can exhaust memory or overflow the stack in the code that walks it.

#include "model/Expected.h"

#include <nlohmann/json.hpp>

#include <cstddef>
#include <filesystem>
#include <string_view>

namespace keyglass {

/// Deeper than any document this program reads or writes (presets and backups need 5 levels).
constexpr int MaxJsonDepth = 64;

/// Error codes of the "Json" domain, for callers that map them to their own messages.
enum JsonErrorCode : int
{
    JsonTooLarge = 1,
    JsonTooDeep = 2,
    JsonNotJson = 3,
};

/// True when no array or object in `text` is nested deeper than `maxDepth`. Brackets inside strings do
/// not count; the text need not be valid JSON. Linear, no recursion.
bool jsonDepthWithin(std::string_view text, int maxDepth = MaxJsonDepth);

/// Parses `text` after checking its size and nesting. Errors: "larger than N KiB", "nested deeper than
/// 64 levels", "not valid JSON: <reason at byte n>". Never throws.
Expected<nlohmann::json> parseJsonCapped(std::string_view text, std::size_t maxBytes, int maxDepth = MaxJsonDepth);

/// readFileCapped (regular files only) followed by parseJsonCapped; errors start with the file name.
Expected<nlohmann::json>
readJsonFile(const std::filesystem::path& path, std::size_t maxBytes, int maxDepth = MaxJsonDepth);

} // namespace keyglass
