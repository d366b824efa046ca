// Any bytes given to the skin manifest reader yield a manifest or an error with a message; a manifest
// it yields can be laid out and its colorways resolved without leaving the skin folder.

#include "skins/HardwareSkinManifest.h"
#include "skins/SkinGeometry.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace keyglass;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto manifest = decodeSkinManifest(text);
    if (!manifest) {
        if (manifest.error().message.empty())
            std::abort();
        return 0;
    }
    if (!(manifest->aspectRatio > 0))
        std::abort();
    const SkinRect area = fitAspect(400, 400, manifest->aspectRatio);
    if (area.w <= 0 || area.h <= 0)
        std::abort();
    for (const auto& key : manifest->keys)
        (void)skinKeyRect(key, area.w, area.h);
    for (const auto& e : manifest->encoders)
        (void)skinCircleRect(e.cx, e.cy, e.r, area.w, area.h);
    const SkinColorway* chosen = selectedColorway(*manifest, "no-such-colorway");
    if (manifest->colorways.empty() != (chosen == nullptr))
        std::abort();
    const std::filesystem::path folder = "/skins/pad";
    for (const auto& c : manifest->colorways)
        if (const auto path = colorwayImagePath(folder, c);
            path && path->lexically_normal().string().rfind("/skins/pad/", 0) != 0)
            std::abort();
    return 0;
}
