// Any bytes posted to keyglass-share give a preset that is within the limits and safe, or a refusal
// with a status and at least one reason. The page query values are read the same way.

#include "presets/PresetSafety.h"
#include "share/ShareService.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace keyglass;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    ShareLimits limits;
    limits.maxBodyBytes = 64 * 1024;
    const auto decoded = decodePublishRequest(text, limits);
    if (decoded) {
        if (decoded->layers.size() > limits.maxLayers || !validatePreset(*decoded, false).empty())
            std::abort();
    } else if (decoded.error().errors.empty() || decoded.error().status < 400) {
        std::abort();
    }
    const std::string escaped = htmlEscape(text);
    if (escaped.find('<') != std::string::npos || escaped.find('"') != std::string::npos)
        std::abort();
    (void)isShareID(text);
    return 0;
}
