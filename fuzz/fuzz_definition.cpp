// Keyboard definitions from outside: any bytes, as an xz stream or as plain JSON, go through the
// decoder and the layout walk without crashing, and what comes out keeps the layout's invariants.

#include "device/Definition.h"
#include "device/KleLayout.h"
#include "device/Lighting.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

namespace {
using namespace keyglass;
using json = nlohmann::json;

void checkLayout(const json& definition)
{
    (void)lightingKindFromDefinition(definition);
    const auto layout = layoutFromDefinition(definition);
    if (!layout)
        return;
    if (layout->rows < 0 || layout->rows > MaxMatrixSide || layout->cols < 0 || layout->cols > MaxMatrixSide)
        std::abort();
    const auto sorted = std::is_sorted(layout->keys.begin(), layout->keys.end(), [](const auto& a, const auto& b) {
        return a.y < b.y || (a.y == b.y && a.x < b.x);
    });
    if (!sorted)
        std::abort();
    for (std::size_t i = 1; i < layout->encoders.size(); ++i)
        if (layout->encoders[i - 1].id >= layout->encoders[i].id)
            std::abort();
    for (const auto& encoder : layout->encoders)
        if (encoder.clickRow.has_value() != encoder.clickCol.has_value())
            std::abort();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::span<const std::uint8_t> bytes(data, size);
    if (auto decoded = decodeDefinition(bytes))
        checkLayout(*decoded);
    const json plain = json::parse(bytes.begin(), bytes.end(), nullptr, false);
    if (!plain.is_discarded()) {
        checkLayout(plain);
        (void)parseLayout(plain);
    }
    return 0;
}
