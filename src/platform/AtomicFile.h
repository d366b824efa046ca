#pragma once

#include "model/Expected.h"

#include <filesystem>
#include <string>
#include <string_view>

namespace keyglass {

/// Writes `contents` to `path` atomically: a temporary file in the same folder, flushed to disk, then
/// renamed over the target. Either the old file or the complete new one is there, never a mix. The
/// parent folder is created when missing. Errors carry the file name and the system's reason.
Expected<void> writeFileAtomically(const std::filesystem::path& path, std::string_view contents);

/// Reads a whole file, refusing files larger than `maxBytes` (outside input is always capped).
Expected<std::string> readFileCapped(const std::filesystem::path& path, std::size_t maxBytes);

} // namespace keyglass
