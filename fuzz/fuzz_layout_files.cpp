// Layout files a user opens for restore: Keyglass backups, VIA snapshots and "Save + Load" exports,
// QMK keymap.json and Vial .vil files, plus the strict backup decoder. Whatever the bytes, the model
// keeps its shape and only changes on success.

#include "backup/DeviceBackupFile.h"
#include "backup/LayoutImport.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

using namespace keyglass;

namespace {

DeviceModel makePad(bool legacy)
{
    DeviceModel model;
    model.vid = 0x1A86;
    model.pid = 0xFE16;
    model.id = deviceIdentifier(model.vid, model.pid);
    model.proto = legacy ? DeviceProtocol::vial(9, 5, 1) : DeviceProtocol::via(12);
    model.rows = 3;
    model.cols = 2;
    model.layerCount = 2;
    model.keymap.assign(2, std::vector<std::vector<Keycode>>(3, std::vector<Keycode>(2, 0x04)));
    model.encoderMap.assign(2, {{0x00AA, 0x00A9}, {0x0004}});
    model.tapDanceCount = 2;
    model.tapDances.assign(2, TapDanceData{0x04, 0, 0, 0, 200});
    model.rgb.kind = RGBProtocolKind::qmkRgblight;
    model.protectedCells = {"2,1"};
    return model;
}

bool sameShape(const DeviceModel& a, const DeviceModel& b)
{
    if (a.keymap.size() != b.keymap.size() || a.encoderMap.size() != b.encoderMap.size() ||
        a.tapDances.size() != b.tapDances.size())
        return false;
    for (size_t l = 0; l < a.keymap.size(); ++l) {
        if (a.keymap[l].size() != b.keymap[l].size())
            return false;
        for (size_t r = 0; r < a.keymap[l].size(); ++r)
            if (a.keymap[l][r].size() != b.keymap[l][r].size())
                return false;
    }
    for (size_t l = 0; l < a.encoderMap.size(); ++l)
        for (size_t e = 0; e < a.encoderMap[l].size(); ++e)
            if (a.encoderMap[l][e].size() != b.encoderMap[l][e].size())
                return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    (void)decodeBackup(text);

    const bool legacy = size > 0 && (data[0] & 1);
    const DeviceModel original = makePad(legacy);
    DeviceModel model = original;
    const auto result = loadLayoutText(text, "fuzz.vil", model);
    if (!sameShape(model, original))
        __builtin_trap();
    if (!result && !(model == original))
        __builtin_trap();
    if (result && (!model.dirty || result->leftUnchanged < 0 || model.keymap[0][2][1] != 0x04))
        __builtin_trap(); // (2,1) is hardware-reserved
    return 0;
}
