#pragma once
// The keyboard definition a Vial firmware carries: an xz-compressed JSON document downloaded in
// 32-byte blocks, and the matrix size and layout taken from it.

#include "device/RawHidSession.h"
#include "model/DeviceModel.h"
#include "model/Expected.h"

#include <nlohmann/json.hpp>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace keyglass {

/// Largest compressed definition a firmware can announce.
constexpr std::uint32_t MaxDefinitionSize = 65535;
/// Decoded definitions beyond this are refused as decompression bombs; real ones are a few KiB.
constexpr std::size_t MaxDecodedDefinitionBytes = 4u * 1024u * 1024u;
/// Largest matrix side a definition may declare: rows and columns are one wire byte each.
constexpr int MaxMatrixSide = 256;

/// FE 01 then FE 02 blocks. None when the size is missing or outside 1...65535 or a block goes
/// unanswered.
std::optional<std::vector<std::uint8_t>> downloadDefinition(RawHidSession& session);

/// Decodes a whole xz stream (capped at MaxDecodedDefinitionBytes) and parses it as a JSON object.
Expected<nlohmann::json> decodeDefinition(std::span<const std::uint8_t> compressed);
/// Decodes an xz stream without parsing it.
Expected<std::vector<std::uint8_t>> decompressXz(std::span<const std::uint8_t> compressed,
                                                 std::size_t maxOutput = MaxDecodedDefinitionBytes);

/// Downloads, decodes and checks the definition; none whenever it cannot be used (the device is then
/// read as a plain VIA device).
std::optional<nlohmann::json> fetchDefinition(RawHidSession& session);

struct DefinitionLayout
{
    int rows = 0;
    int cols = 0;
    std::vector<PhysicalKey> keys; // the keys of the chosen layout options
    std::vector<PhysicalEncoder> encoders;
    std::vector<LayoutOptionLabel> labels;
    std::uint32_t layoutOptions = 0;
    /// Every key of every option, as the layout lists them.
    std::vector<PhysicalKey> allKeys;
};

/// Matrix size, keys and named encoders of a definition, for the given layout options value. Fails
/// when "matrix" -> "rows"/"cols" are not integers in 0...256.
Expected<DefinitionLayout> layoutFromDefinition(const nlohmann::json& definition, std::uint32_t layoutOptions = 0);

} // namespace keyglass
