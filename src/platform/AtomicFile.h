#pragma once

#include "model/Expected.h"

#include <filesystem>
#include <string>
#include <string_view>

namespace keyglass {

/// Writes `contents` to `path` atomically: a temporary file in the same folder, flushed to disk, renamed
/// over the target, then the folder itself flushed so the rename survives a power cut. Either the old
/// file or the complete new one is there, never a mix. The parent folder is created when missing. A
/// symbolic link is written through (its target is replaced, the link stays), and an existing file keeps
/// its permissions (new files get 0644, or 0600 with `privateFile`). Errors carry the file name and the
/// system's reason; after an error the old file is untouched and no temporary file is left behind.
Expected<void>
writeFileAtomically(const std::filesystem::path& path, std::string_view contents, bool privateFile = false);

/// Reads a whole regular file, refusing files larger than `maxBytes` (outside input is always capped) and
/// anything that is not a regular file: a FIFO, device or folder is an error, never a wait.
Expected<std::string> readFileCapped(const std::filesystem::path& path, std::size_t maxBytes);

} // namespace keyglass
