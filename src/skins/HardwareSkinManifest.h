#pragma once
// skin.json: the photograph of a known pad model and where its keys, knobs, layer button and LEDs sit
// on it. Every member is required except `layerButton`; a file that lacks one or has one of the wrong
// type does not decode.

#include "model/Expected.h"

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace keyglass {

struct SkinColorway
{
    std::string id;
    std::string name;
    std::string swatchHex;
    std::string imageFile; // relative to the skin folder
    bool lightKeycaps = false;
    bool operator==(const SkinColorway&) const = default;
};

/// x, y top-left and w, h size; horizontal values are fractions of the drawn width, vertical ones of
/// its height.
struct SkinKeySlot
{
    int row = 0;
    int col = 0;
    double x = 0, y = 0, w = 0, h = 0;
    bool operator==(const SkinKeySlot&) const = default;
};

/// cx is a fraction of the width; cy and r are fractions of the height.
struct SkinEncoderSlot
{
    int index = 0;
    double cx = 0, cy = 0, r = 0;
    bool isFlushWheel = false;
    bool operator==(const SkinEncoderSlot&) const = default;
};

struct SkinCircleSpot
{
    double cx = 0, cy = 0, r = 0;
    bool operator==(const SkinCircleSpot&) const = default;
};

struct HardwareSkinManifest
{
    std::string id;
    std::string name;
    double aspectRatio = 1;              // width / height of the photograph
    std::vector<SkinColorway> colorways; // the first is the default
    std::vector<SkinKeySlot> keys;
    std::vector<SkinEncoderSlot> encoders;
    std::optional<SkinCircleSpot> layerButton;
    std::vector<SkinCircleSpot> leds;
    bool operator==(const HardwareSkinManifest&) const = default;
};

/// Larger files are refused unread: a manifest is a few kilobytes.
inline constexpr std::size_t MaxSkinManifestBytes = 1 << 20;
/// Deeper nesting is refused before a tree is built; a manifest nests three levels.
inline constexpr int MaxSkinManifestDepth = 16;

Expected<HardwareSkinManifest> decodeSkinManifest(std::string_view text);
Expected<HardwareSkinManifest> readSkinManifest(const std::filesystem::path& file);

/// The colorway with `id`, else the first; none when the manifest has no colorways.
const SkinColorway* selectedColorway(const HardwareSkinManifest& manifest, std::string_view id);

/// `imageFile` inside `folder`, or none when the name would leave the folder (absolute, or with a
/// ".." part): a downloaded skin must not make the program read files elsewhere.
std::optional<std::filesystem::path> colorwayImagePath(const std::filesystem::path& folder,
                                                       const SkinColorway& colorway);

} // namespace keyglass
