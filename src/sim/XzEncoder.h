#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace keyglass {

/// Compresses `data` into an .xz stream the way Vial's build compresses keyboard definitions: liblzma
/// easy preset 6 with a CRC64 check. Empty on failure.
std::vector<std::uint8_t> xzCompress(std::string_view data);

} // namespace keyglass
