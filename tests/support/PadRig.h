#pragma once
// One VirtualPad on a virtual HID stack, loaded and written through the real device code.

#include "device/Discovery.h"
#include "device/HardwareWriter.h"
#include "sim/VirtualHidBackend.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>

namespace keyglass::test {

struct PadRig
{
    VirtualHidBackend backend;
    std::shared_ptr<VirtualPad> pad;

    explicit PadRig(std::shared_ptr<VirtualPad> p) : pad(std::move(p)) { backend.addPad(pad); }

    DeviceModel load()
    {
        for (const auto& endpoint : enumerateEndpoints(backend)) {
            if (endpoint.id() == pad->identifier()) {
                if (auto model = loadDevice(backend, endpoint))
                    return *model;
            }
        }
        ADD_FAILURE() << "the pad did not load";
        return {};
    }

    void write(const DeviceModel& model)
    {
        const auto written = writeDeviceToHardware(backend, model);
        ASSERT_TRUE(written) << written.error().message;
    }

    /// The pad's EEPROM keymap, encoders and tap dances, read directly from the emulator.
    Keymap eepromKeymap() const
    {
        Keymap out(static_cast<size_t>(pad->layerCount()));
        for (int l = 0; l < pad->layerCount(); ++l) {
            out[static_cast<size_t>(l)].resize(static_cast<size_t>(pad->rows()));
            for (int r = 0; r < pad->rows(); ++r)
                for (int c = 0; c < pad->cols(); ++c)
                    out[static_cast<size_t>(l)][static_cast<size_t>(r)].push_back(pad->keycode(l, r, c));
        }
        return out;
    }

    EncoderMap eepromEncoders() const
    {
        EncoderMap out(static_cast<size_t>(pad->layerCount()));
        for (int l = 0; l < pad->layerCount(); ++l)
            for (int e = 0; e < pad->encoderCount(); ++e)
                out[static_cast<size_t>(l)].push_back({pad->encoder(l, e, false), pad->encoder(l, e, true)});
        return out;
    }

    std::vector<TapDanceData> eepromTapDances() const
    {
        std::vector<TapDanceData> out;
        for (int i = 0; i < pad->tapDanceCount(); ++i)
            out.push_back(pad->tapDance(i));
        return out;
    }
};

} // namespace keyglass::test
