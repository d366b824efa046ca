#include "support/FakeHid.h"

#include "device/HardwareWriter.h"

#include <gtest/gtest.h>

namespace keyglass::test {
namespace {

DeviceModel viaModel(int layers, int rows, int cols)
{
    DeviceModel model;
    model.id = "1A86:FE16";
    model.vid = 0x1A86;
    model.pid = 0xFE16;
    model.manufacturer = "Acme";
    model.product = "Pad";
    model.proto = DeviceProtocol::via(12);
    model.layerCount = layers;
    model.rows = rows;
    model.cols = cols;
    model.keymap.assign(layers, std::vector<std::vector<Keycode>>(rows, std::vector<Keycode>(cols, 0)));
    for (int l = 0; l < layers; ++l)
        for (int r = 0; r < rows; ++r)
            for (int c = 0; c < cols; ++c)
                model.keymap[l][r][c] = static_cast<Keycode>(0x100 * l + 0x10 * r + c + 1);
    return model;
}

void addKey(DeviceModel& model, int row, int col, bool decal = false)
{
    model.keys.push_back(
        PhysicalKey{"r" + std::to_string(row) + "c" + std::to_string(col), row, col, 0, 0, 1, 1, decal});
}

struct Rig
{
    ScriptedBackend backend;
    MiniFirmware firmware;
    std::function<std::optional<Bytes>(const RawHidReport&, std::optional<Bytes>)> tamper;

    Rig()
    {
        backend.respond = [this](const RawHidReport& r) {
            auto answer = firmware.answer(r);
            return tamper ? tamper(r, answer) : answer;
        };
    }
    std::vector<std::string> keycodeCells() const
    {
        std::vector<std::string> cells;
        for (const auto& r : backend.requestsStartingWith({0x05}))
            cells.push_back(layerCellKey(r[1], r[2], r[3]));
        return cells;
    }
};

TEST(HardwareWriter, WritesEveryLayoutCellAndBothDirectionsOfEveryEncoder)
{
    Rig rig;
    auto model = viaModel(2, 3, 4);
    for (int i = 0; i < 10; ++i)
        addKey(model, i / 4, i % 4);
    model.encoders = {{0, "Knob 0", std::nullopt, std::nullopt}, {1, "Knob 1", std::nullopt, std::nullopt}};
    model.encoderMap = {{{0xE9, 0xEA}, {0x01}}, {{0x52, 0x51}}};
    const auto result = writeDeviceToHardware(rig.backend, model);
    ASSERT_TRUE(result) << result.error().message;
    EXPECT_EQ(*result, 28);
    EXPECT_EQ(rig.backend.closed, 1);

    EXPECT_EQ(rig.backend.requestsStartingWith({0x05})[5], bytesOf({0x05, 0, 1, 1, 0x00, 0x12}));
    const auto encoderWrites = rig.backend.requestsStartingWith({0x15});
    ASSERT_EQ(encoderWrites.size(), 8u);
    EXPECT_EQ(encoderWrites[0], bytesOf({0x15, 0, 0, 0, 0x00, 0xE9}));
    EXPECT_EQ(encoderWrites[1], bytesOf({0x15, 0, 0, 1, 0x00, 0xEA}));
    EXPECT_EQ(encoderWrites[2], bytesOf({0x15, 0, 1, 0, 0, 0})) << "a pair shorter than 2 writes zeros";
    EXPECT_EQ(encoderWrites[7], bytesOf({0x15, 1, 1, 1, 0, 0})) << "missing pairs write zeros";
    EXPECT_EQ(rig.backend.requests.back()[0], 0x15) << "keymap first, encoders after";
}

TEST(HardwareWriter, WritableCellRules)
{
    Rig rig;
    auto model = viaModel(2, 2, 3);
    addKey(model, 0, 0);
    addKey(model, 0, 1, true);
    addKey(model, 1, 2);
    model.keymap[0][0][1] = 0x04; // under the decal
    model.encoders = {{0, "Knob", 1, 1}};
    model.encoderMap = {{{0, 0}}, {{0, 0}}};
    model.protectedCells = {"1,2"};
    model.protectedLayerCells = {"1,0,0"};
    ASSERT_TRUE(writeDeviceToHardware(rig.backend, model));
    EXPECT_EQ(rig.keycodeCells(), (std::vector<std::string>{"0,0,0", "0,1,1", "1,1,1"}));

    Rig bare;
    auto grid = viaModel(2, 2, 2);
    grid.protectedCells = {"0,1"};
    grid.protectedLayerCells = {"1,1,0"};
    const auto count = writeDeviceToHardware(bare.backend, grid);
    ASSERT_TRUE(count);
    EXPECT_EQ(*count, 5);
    EXPECT_EQ(bare.keycodeCells(), (std::vector<std::string>{"0,0,0", "0,1,0", "0,1,1", "1,0,0", "1,1,1"}));
}

TEST(HardwareWriter, VialTapDancesGoFirstAndVialEncodersUseTheirOwnCommand)
{
    Rig rig;
    rig.firmware.vial = true;
    rig.firmware.tapDances.resize(3);
    auto model = viaModel(1, 1, 2);
    model.proto = DeviceProtocol::vial(9, 6, 1);
    addKey(model, 0, 0);
    model.tapDances = {{0x04, 0x05, 0x06, 0x07, 0x01C2}, {}, {0x0104, 0, 0, 0, 200}};
    model.encoders = {{3, "Knob", std::nullopt, std::nullopt}};
    model.encoderMap = {{{0x1234, 0xABCD}}};
    const auto result = writeDeviceToHardware(rig.backend, model);
    ASSERT_TRUE(result);
    EXPECT_EQ(*result, 3);
    ASSERT_EQ(rig.backend.requests.size(), 3u + 1 + 2);
    EXPECT_EQ(Bytes(rig.backend.requests[0].begin(), rig.backend.requests[0].end()),
              bytesOf({0xFE, 0x0D, 0x02, 0, 0x04, 0, 0x05, 0, 0x06, 0, 0x07, 0, 0xC2, 0x01}));
    EXPECT_EQ(rig.backend.requests[2][3], 2);
    EXPECT_EQ(rig.backend.requests[3][0], 0x05);
    EXPECT_EQ(Bytes(rig.backend.requests[5].begin(), rig.backend.requests[5].end()),
              bytesOf({0xFE, 0x04, 0, 3, 1, 0xAB, 0xCD}));
    EXPECT_EQ(rig.firmware.tapDances[2].onTap, 0x0104);

    Rig via;
    auto plain = viaModel(1, 1, 1);
    plain.tapDances = {{1, 2, 3, 4, 5}};
    ASSERT_TRUE(writeDeviceToHardware(via.backend, plain));
    EXPECT_EQ(via.backend.countStartingWith({0xFE}), 0);
}

TEST(HardwareWriter, EveryFailureHasItsMessageCodeAndStopsAtOnce)
{
    struct Case
    {
        const char* name;
        bool vial;
        std::function<std::optional<Bytes>(const RawHidReport&, std::optional<Bytes>)> tamper;
        int code;
        std::string message;
        std::size_t requestsSent;
    };
    auto silentOn = [](std::vector<std::uint8_t> prefix) {
        return [prefix](const RawHidReport& r, std::optional<Bytes> a) -> std::optional<Bytes> {
            return std::equal(prefix.begin(), prefix.end(), r.begin()) ? std::nullopt : a;
        };
    };
    auto rewriteFirst = [](std::vector<std::uint8_t> prefix, std::optional<Bytes> replacement) {
        return [prefix, replacement](const RawHidReport& r, std::optional<Bytes> a) -> std::optional<Bytes> {
            return std::equal(prefix.begin(), prefix.end(), r.begin()) ? replacement : a;
        };
    };
    // Model: 2 layers, 1 x 2 matrix, both cells keys, one encoder (id 7), two tap dances when Vial.
    const std::vector<Case> cases = {
        {"tap dance silent", true, silentOn({0xFE, 0x0D, 0x02, 0x01}), 2, "Failed writing Tap Dance 1", 2},
        {"keycode silent", false, silentOn({0x05, 0x01, 0x00, 0x01}), 3, "Failed writing L1 (0,1)", 4},
        {"keycode wrong echo",
         false,
         rewriteFirst({0x05, 0x00, 0x00, 0x00}, bytesOf({0x04})),
         3,
         "Failed writing L0 (0,0)",
         1},
        {"keycode empty answer",
         false,
         rewriteFirst({0x05, 0x00, 0x00, 0x01}, Bytes{}),
         3,
         "Failed writing L0 (0,1)",
         2},
        {"via encoder wrong echo",
         false,
         rewriteFirst({0x15, 0x01, 0x07, 0x01}, bytesOf({0xFF})),
         5,
         "Failed writing VIA encoder 7 on L1",
         8},
        {"via encoder silent", false, silentOn({0x15, 0x00, 0x07, 0x00}), 5, "Failed writing VIA encoder 7 on L0", 5},
        {"vial encoder silent",
         true,
         silentOn({0xFE, 0x04, 0x01, 0x07, 0x00}),
         4,
         "Failed writing Vial encoder 7 on L1",
         2 + 4 + 3},
        {"vial encoder garbled",
         true,
         rewriteFirst({0xFE, 0x04, 0x00, 0x07, 0x01}, bytesOf({0xFE, 0x04, 0x00, 0x08})),
         4,
         "Failed writing Vial encoder 7 on L0",
         2 + 4 + 2},
        // A firmware without tap dances echoes the request unchanged: byte 0 stays 0xFE.
        {"tap dance not stored",
         true,
         rewriteFirst({0xFE, 0x0D, 0x02, 0x00}, bytesOf({0xFE, 0x0D, 0x02, 0x00})),
         2,
         "Failed writing Tap Dance 0",
         1},
    };
    for (const auto& c : cases) {
        Rig rig;
        rig.firmware.vial = c.vial;
        rig.tamper = c.tamper;
        auto model = viaModel(2, 1, 2);
        addKey(model, 0, 0);
        addKey(model, 0, 1);
        model.encoders = {{7, "Knob", std::nullopt, std::nullopt}};
        model.encoderMap = {{{1, 2}}, {{3, 4}}};
        if (c.vial) {
            model.proto = DeviceProtocol::vial(9, 6, 1);
            model.tapDances.resize(2);
        }
        const auto result = writeDeviceToHardware(rig.backend, model);
        ASSERT_FALSE(result) << c.name;
        EXPECT_EQ(result.error().code, c.code) << c.name;
        EXPECT_EQ(result.error().domain, "Keyglass") << c.name;
        EXPECT_EQ(result.error().message, c.message) << c.name;
        EXPECT_EQ(rig.backend.requests.size(), c.requestsSent) << c.name << ": nothing after the first failure";
        EXPECT_EQ(rig.backend.closed, 1) << c.name;
    }
}

TEST(HardwareWriter, UnopenableDeviceAndDisconnectMidWrite)
{
    Rig rig;
    rig.backend.refuseOpen = true;
    auto model = viaModel(1, 1, 1);
    const auto refused = writeDeviceToHardware(rig.backend, model);
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error().code, 1);
    EXPECT_EQ(refused.error().message, "Could not open Acme Pad over RawHID (close Vial.app if open).");

    Rig gone;
    gone.backend.disconnectAfter = 3;
    auto bigger = viaModel(2, 2, 2);
    const auto cut = writeDeviceToHardware(gone.backend, bigger);
    ASSERT_FALSE(cut);
    EXPECT_EQ(cut.error().message, "Failed writing L0 (1,1)");
    EXPECT_EQ(gone.backend.requests.size(), 4u);
    EXPECT_EQ(gone.backend.closed, 1);
}

TEST(HardwareWriter, APartiallyReadModelIsRefusedBeforeTheDeviceIsOpened)
{
    Rig rig;
    auto model = viaModel(2, 2, 2);
    model.unreadCells = {"1,0,1", "0,1,1"};
    model.unreadEncoders = {"0,0"};
    const auto refused = writeDeviceToHardware(rig.backend, model);
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error().code, static_cast<int>(WriteError::partialModel));
    EXPECT_EQ(refused.error().message, "Reload the pad first: 3 keys could not be read");
    EXPECT_EQ(rig.backend.opened, 0);
    EXPECT_TRUE(rig.backend.requests.empty());
}

TEST(HardwareWriter, NumbersThatDoNotFitAWireByteAreSkipped)
{
    Rig rig;
    auto model = viaModel(1, 1, 1);
    model.rows = 300; // a model whose matrix claims more rows than the wire can address
    model.encoders = {{300, "Knob 300", std::nullopt, std::nullopt}, {44, "Knob 44", std::nullopt, std::nullopt}};
    model.encoderMap = {{{1, 2}, {3, 4}}};
    const auto result = writeDeviceToHardware(rig.backend, model);
    ASSERT_TRUE(result);
    int rowZeroWrites = 0;
    for (const auto& request : rig.backend.requests) {
        if (request[0] == 0x05 && request[2] == 0)
            ++rowZeroWrites;
        if (request[0] == 0x15) {
            EXPECT_EQ(request[2], 44);
        }
    }
    EXPECT_EQ(rowZeroWrites, 1) << "row 256 must not wrap onto row 0";
    EXPECT_EQ(rig.backend.countStartingWith({0x05}), 256);
    EXPECT_EQ(*result, 256 + 2);
}

} // namespace
} // namespace keyglass::test
