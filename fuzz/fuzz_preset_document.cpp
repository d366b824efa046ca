// Any bytes given to the preset reader yield a preset or an error; a preset it yields is written and
// read back unchanged, and validating it never fails in any other way.

#include "keycodes/KeycodeSafety.h"
#include "presets/DevicePreset.h"
#include "presets/PresetSafety.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace keyglass;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto preset = decodePreset(text);
    if (!preset) {
        if (preset.error().message.empty())
            std::abort();
        return 0;
    }
    const auto again = decodePreset(encodePreset(*preset));
    if (!again || !(*again == *preset))
        std::abort();
    (void)validatePreset(*preset, false);
    (void)validatePreset(*preset, true);
    return 0;
}
