#pragma once
// Device models shaped like the pads the built-in presets are made for, without the emulator: enough
// for staging, captions and backups.

#include "model/DeviceModel.h"

#include <string>

namespace keyglass::test {

/// A model with `layers` x `rows` x `cols` keys numbered from 0x0004 up (plain letters and digits) and
/// `encoders` knobs holding Vol-/Vol+.
inline DeviceModel gridModel(int layers, int rows, int cols, int encoders = 0, int tapDances = 0)
{
    DeviceModel model;
    model.vid = 0x1234;
    model.pid = 0x0005;
    model.id = deviceIdentifier(model.vid, model.pid);
    model.manufacturer = "Acme";
    model.product = "Test Pad";
    model.proto = DeviceProtocol::via(12);
    model.connected = true;
    model.rows = rows;
    model.cols = cols;
    model.layerCount = layers;
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < cols; ++c)
            model.keys.push_back(PhysicalKey{
                "r" + std::to_string(r) + "c" + std::to_string(c), r, c, double(c), double(r), 1, 1, false});
    }
    for (int e = 0; e < encoders; ++e)
        model.encoders.push_back(PhysicalEncoder{e, "Knob " + std::to_string(e), std::nullopt, std::nullopt});
    Keycode next = 0x04;
    model.keymap.assign(static_cast<size_t>(layers), {});
    for (auto& layer : model.keymap) {
        layer.assign(static_cast<size_t>(rows), std::vector<Keycode>(static_cast<size_t>(cols)));
        for (auto& row : layer) {
            for (auto& cell : row) {
                cell = next;
                next = next >= 0x27 ? 0x04 : static_cast<Keycode>(next + 1);
            }
        }
    }
    model.encoderMap.assign(static_cast<size_t>(layers),
                            std::vector<std::vector<Keycode>>(static_cast<size_t>(encoders), {0x00AA, 0x00A9}));
    model.tapDanceCount = tapDances;
    model.tapDances.assign(static_cast<size_t>(tapDances), TapDanceData{0x0004, 0, 0, 0, 175});
    return model;
}

/// The 16-key grid with three knobs: 5 x 4 matrix, keys in rows 0-3, knob switches at (4,0) and (4,1),
/// hardware layer keys at (4,2) and (4,3); 4 layers; knobs 0 and 1 with push switches, knob 2 a wheel.
inline DeviceModel quadgridModel()
{
    DeviceModel model = gridModel(4, 5, 4, 3);
    model.vid = 0x1A86;
    model.pid = 0xFE16;
    model.id = deviceIdentifier(model.vid, model.pid);
    model.manufacturer = "Keyglass";
    model.product = "QuadGrid";
    model.keys.erase(model.keys.begin() + 16, model.keys.end());
    model.encoders[0].clickRow = 4;
    model.encoders[0].clickCol = 0;
    model.encoders[1].clickRow = 4;
    model.encoders[1].clickCol = 1;
    model.encoders[2].name = "Wheel";
    for (auto& layer : model.keymap) {
        layer[4][2] = 0x00F1;
        layer[4][3] = 0x00F2;
    }
    model.protectedCells = {"4,2", "4,3"};
    model.rgb.kind = RGBProtocolKind::viaCustomCh1;
    return model;
}

/// The single-knob pad: one key at (0,0) (the knob's own switch), one knob, four tap dances, Vial.
inline DeviceModel solodialModel()
{
    DeviceModel model = gridModel(4, 1, 1, 1, 4);
    model.vid = 0x5831;
    model.pid = 0x4249;
    model.id = deviceIdentifier(model.vid, model.pid);
    model.manufacturer = "Keyglass";
    model.product = "SoloDial";
    model.proto = DeviceProtocol::vial(9, 6, 0x1122334455667788ull);
    model.encoders[0].name = "Knob";
    model.encoders[0].clickRow = 0;
    model.encoders[0].clickCol = 0;
    for (auto& layer : model.keymap)
        layer[0][0] = 0x5700; // TD(0)
    model.rgb.kind = RGBProtocolKind::qmkRgblight;
    return model;
}

} // namespace keyglass::test
