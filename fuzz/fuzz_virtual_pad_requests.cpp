// Whatever a host sends, the emulator answers 32 bytes and keeps its EEPROM within the matrix; any
// definition text either makes a pad or an error; a state file it accepts survives a save/load cycle.
//
// Input: byte 0 picks the subject (requests to a pad, a Vial definition, a state file), byte 1 the
// pad; the rest is the subject's data.

#include "sim/DemoPads.h"
#include "sim/VirtualPad.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

using namespace keyglass;

// Compressing a definition costs far more than one run, so each model's stream is made once.
const VirtualPadConfig& model(std::uint8_t which)
{
    static const VirtualPadConfig configs[] = {
        quadgridConfig(),
        [] {
            auto s = solodialConfig();
            s.definitionBlob = VirtualPad(s).compressedDefinition();
            return s;
        }(),
        [] {
            auto s = quadgridConfig();
            s.viaVersion = 9;
            s.lighting = LightingDialect::legacyRgblight;
            return s;
        }(),
    };
    return configs[which % std::size(configs)];
}

void feedRequests(VirtualPad& pad, std::string_view data)
{
    for (std::size_t at = 0; at < data.size(); at += RawHidReportSize) {
        RawHidReport request{};
        const auto n = std::min(RawHidReportSize, data.size() - at);
        std::copy_n(reinterpret_cast<const std::uint8_t*>(data.data() + at), n, request.begin());
        const auto delivery = pad.exchange(request);
        if (!delivery.accepted || !delivery.answer)
            std::abort();
        // Live input between requests, driven by the same bytes.
        if (request[31] & 1)
            pad.press(request[29] % 8, request[30] % 8);
        if (request[31] & 2)
            pad.turn(request[29] % 4, request[30] & 1);
        if (request[31] & 4)
            (void)pad.click(request[29] % 4);
        if (pad.activeLayer() < 0 || pad.activeLayer() >= pad.layerCount())
            std::abort();
    }
    if (pad.keycode(pad.layerCount(), 0, 0) != 0 || pad.keycode(0, pad.rows(), 0) != 0 ||
        pad.encoder(0, pad.encoderCount(), true) != 0)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2)
        return 0;
    const std::string_view rest(reinterpret_cast<const char*>(data) + 2, size - 2);
    switch (data[0] % 3) {
    case 0: {
        VirtualPad pad(model(data[1]));
        pad.setInputSink([](const VirtualPad&, std::uint16_t, std::uint16_t, std::int32_t) {});
        feedRequests(pad, rest);
        break;
    }
    case 1: {
        auto pad = VirtualPad::fromVialDefinitionText(rest);
        if (pad) {
            if ((*pad)->rows() < 1 || (*pad)->cols() < 1 || (*pad)->compressedDefinition().empty())
                std::abort();
            feedRequests(**pad,
                         std::string_view("\x01\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0"
                                          "\xFE\x01\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0",
                                          64));
        }
        break;
    }
    default: {
        VirtualPad pad(model(data[1]));
        if (pad.loadStateJson(rest)) {
            const std::string saved = pad.stateJson();
            VirtualPad again(model(data[1]));
            if (!again.loadStateJson(saved) || again.stateJson() != saved)
                std::abort();
        }
        break;
    }
    }
    return 0;
}
