// VIA definitions from outside (files the user adds or drops on the HUD): any bytes go through the
// reader and validator without crashing; an accepted definition keeps its invariants under every
// layout options value.

#include "device/Definition.h"
#include "device/KleLayout.h"
#include "device/ViaDefinitions.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {
using namespace keyglass;

void checkKeys(const DefinitionLayout& layout)
{
    if (layout.keys.size() > layout.allKeys.size() || layout.allKeys.size() > MaxLayoutKeys + 1)
        std::abort();
    for (const auto& key : layout.allKeys) {
        if (!std::isfinite(key.x) || !std::isfinite(key.y) || !std::isfinite(key.r) ||
            std::fabs(key.x) > MaxLayoutCoordinate + MaxKeySide || std::fabs(key.y) > MaxLayoutCoordinate + 1)
            std::abort();
        if (!(key.w > 0) || key.w > MaxKeySide || !(key.h > 0) || key.h > MaxKeySide)
            std::abort();
        if (key.hasSecondary() && (key.w2 > MaxKeySide || key.h2 > MaxKeySide))
            std::abort();
    }
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto definition = parseViaDefinition(text);
    if (!definition)
        return 0;
    const auto summary = validateViaDefinition(*definition);
    if (!summary || summary->vid < 0 || summary->vid > 0xFFFF || summary->pid < 0 || summary->pid > 0xFFFF)
        std::abort();
    for (std::uint32_t options : {0u, 1u, 0x55555555u, 0xFFFFFFFFu}) {
        const auto layout = layoutFromDefinition(*definition, options);
        if (!layout)
            std::abort(); // validated definitions always have a layout
        checkKeys(*layout);
        const auto choices = decodeLayoutOptions(layout->labels, options);
        for (std::size_t i = 0; i < choices.size(); ++i)
            if (choices[i] < 0 || (choices[i] > 0 && choices[i] >= layout->labels[i].choiceCount()))
                std::abort();
        if (decodeLayoutOptions(layout->labels, encodeLayoutOptions(layout->labels, choices)) != choices)
            std::abort();
    }
    return 0;
}
