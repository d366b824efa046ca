// A pad that answers with fuzz bytes: every load and every write over it ends with a model or an
// error, never a crash, and never leaves the device open.
//
// Input: byte 0 chooses whether the pad serves a real compressed definition for the Vial commands
// (so the Vial path is reachable; bits 1-2 pick its lighting: rgblight, VialRGB, backlight), the rest is one record per
// request: 0xFF = silence, 0xFE = echo of the request, otherwise n = byte % 41 followed by the n bytes of the answer.
// Once the input runs out the pad goes silent.

#include "device/Discovery.h"
#include "device/HardwareWriter.h"
#include "device/Lighting.h"

#include <lzma.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>

namespace {
using namespace keyglass;
using Bytes = std::vector<std::uint8_t>;

Bytes compressed(const std::string& lighting)
{
    std::string text = R"({"lighting":")";
    text += lighting;
    text += R"(","matrix":{"rows":2,"cols":3},"layouts":{"keymap":[["0,0","0,1",)"
            R"("0,0\n\n\n\ne"],[{"w":2},"1,0",{"d":true},"1,1","1,2"]]}})";
    Bytes out(lzma_stream_buffer_bound(text.size()));
    std::size_t written = 0;
    lzma_easy_buffer_encode(6,
                            LZMA_CHECK_CRC64,
                            nullptr,
                            reinterpret_cast<const std::uint8_t*>(text.data()),
                            text.size(),
                            out.data(),
                            &written,
                            out.size());
    out.resize(written);
    return out;
}

const Bytes& servedDefinition(int lighting)
{
    static const Bytes blobs[] = {compressed("qmk_rgblight"), compressed("vialrgb"), compressed("qmk_backlight")};
    return blobs[lighting % 3];
}

struct FuzzPad
{
    std::span<const std::uint8_t> input;
    std::size_t at = 0;
    bool serveDefinition = false;
    int lighting = 0;
    TimePoint clock{};
    std::vector<Bytes> queued;
    int open = 0;

    std::optional<Bytes> answer(const RawHidReport& request)
    {
        if (serveDefinition && request[0] == 0xFE && (request[1] == 0x01 || request[1] == 0x02)) {
            const Bytes& blob = servedDefinition(lighting);
            Bytes out(request.begin(), request.end());
            if (request[1] == 0x01) {
                for (int i = 0; i < 4; ++i)
                    out[i] = static_cast<std::uint8_t>(blob.size() >> (8 * i));
            } else {
                const std::size_t start = static_cast<std::size_t>(request[2] | request[3] << 8) * 32;
                for (std::size_t i = 0; i < 32 && start + i < blob.size(); ++i)
                    out[i] = blob[start + i];
            }
            return out;
        }
        if (at >= input.size())
            return std::nullopt;
        const std::uint8_t tag = input[at++];
        if (tag == 0xFF)
            return std::nullopt;
        if (tag == 0xFE)
            return Bytes(request.begin(), request.end());
        const std::size_t n = std::min<std::size_t>(tag % 41, input.size() - at);
        Bytes out(input.begin() + static_cast<std::ptrdiff_t>(at), input.begin() + static_cast<std::ptrdiff_t>(at + n));
        at += n;
        return out;
    }
};

class FuzzDevice : public HidDevice
{
public:
    explicit FuzzDevice(FuzzPad& pad) : m_pad(pad) { ++m_pad.open; }
    ~FuzzDevice() override { --m_pad.open; }
    bool write(const RawHidReport& report) override
    {
        if (auto a = m_pad.answer(report))
            m_pad.queued.push_back(std::move(*a));
        return true;
    }
    HidReadResult read(Duration timeout) override
    {
        if (!m_pad.queued.empty()) {
            HidReadResult result{HidReadStatus::report, std::move(m_pad.queued.front())};
            m_pad.queued.erase(m_pad.queued.begin());
            return result;
        }
        m_pad.clock += timeout;
        return {};
    }

private:
    FuzzPad& m_pad;
};

class FuzzBackend : public HidBackend
{
public:
    explicit FuzzBackend(FuzzPad& pad) : m_pad(pad) {}
    std::vector<HidInterfaceInfo> enumerate(std::uint16_t page, std::uint16_t usage) override
    {
        return {HidInterfaceInfo{"fuzz", 0x4B47, 0x0001, page, usage, "Fuzz", "Pad", ""}};
    }
    Expected<std::unique_ptr<HidDevice>> open(const HidInterfaceInfo&) override
    {
        return std::unique_ptr<HidDevice>(std::make_unique<FuzzDevice>(m_pad));
    }
    TimePoint now() const override { return m_pad.clock; }

private:
    FuzzPad& m_pad;
};
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    FuzzPad pad;
    pad.serveDefinition = data[0] & 1;
    pad.lighting = (data[0] >> 1) & 3;
    pad.input = std::span<const std::uint8_t>(data + 1, size - 1);
    FuzzBackend backend(pad);
    const auto endpoints = enumerateEndpoints(backend);
    if (endpoints.size() != 1)
        std::abort();
    const auto model = loadDevice(backend, endpoints[0]);
    if (pad.open != 0)
        std::abort();
    if (!model)
        return 0;
    if (static_cast<int>(model->keymap.size()) != model->layerCount || model->layerCount < 1 ||
        model->layerCount > 32 || model->tapDances.size() > 255 || model->encoderMap.size() != model->keymap.size())
        std::abort();
    // Tap dances keep their index: one entry (read or a marked placeholder) per reported one.
    if (model->tapDanceCount > 0 && static_cast<int>(model->tapDances.size()) != model->tapDanceCount)
        std::abort();
    const auto& ids = model->lightingEffectIds;
    if (ids.size() > 32 * 15 || !std::is_sorted(ids.begin(), ids.end()) ||
        std::adjacent_find(ids.begin(), ids.end()) != ids.end())
        std::abort();
    writeLighting(backend, model->vid, model->pid, model->rgb, true);
    if (pad.open != 0)
        std::abort();
    for (const auto& layer : model->keymap)
        if (static_cast<int>(layer.size()) != model->rows)
            std::abort();
    const auto written = writeDeviceToHardware(backend, *model);
    if (pad.open != 0)
        std::abort();
    if (model->isPartial() && (written || written.error().code != 6))
        std::abort();
    if (!written && (written.error().code < 2 || written.error().code > 6))
        std::abort();
    return 0;
}
