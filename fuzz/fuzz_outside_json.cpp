// The JSON reading every outside file goes through (settings, focus map, definitions, presets, backups,
// layout files, skins): any bytes give a tree or an error, never a crash, and the nesting check that runs
// before the tree is built agrees with the tree.

#include "platform/JsonReading.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace {

int depthOf(const nlohmann::json& value)
{
    // Bounded by the depth check that ran before parsing, so recursion stays shallow.
    int deepest = 0;
    if (value.is_structured())
        for (const auto& child : value)
            deepest = std::max(deepest, depthOf(child));
    return value.is_structured() ? deepest + 1 : 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    constexpr int Depth = 16;
    const auto parsed = keyglass::parseJsonCapped(text, 1 << 20, Depth);
    const bool shallow = keyglass::jsonDepthWithin(text, Depth);
    if (!parsed) {
        if (!shallow && parsed.error().code != keyglass::JsonTooDeep)
            __builtin_trap();
        return 0;
    }
    if (!shallow || depthOf(*parsed) > Depth)
        __builtin_trap();
    // What was read can be written and reads back the same.
    const auto again = keyglass::parseJsonCapped(parsed->dump(), 1 << 21, Depth);
    if (!again || *again != *parsed)
        __builtin_trap();
    return 0;
}
