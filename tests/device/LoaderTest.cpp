#include "support/FakeHid.h"
#include "support/TempHome.h"

#include "device/Discovery.h"
#include "device/HardwareWriter.h"
#include "device/RawHidSession.h"
#include "keycodes/KeycodeExpression.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

namespace keyglass::test {
namespace {

using json = nlohmann::json;

// 2 x 3 matrix: five keys, one decal on top of cell 1,2, one knob.
const char* const SmallVialDefinition = R"({
  "name": "Small", "lighting": "qmk_rgblight",
  "matrix": {"rows": 2, "cols": 3},
  "layouts": {"keymap": [
    {"name": "meta"},
    ["0,0", "0,1", "0,2", "0,0\n\n\n\ne"],
    ["1,0", {"w": 2}, "1,1", {"d": true}, "1,2"]
  ]}
})";

struct LoaderRig
{
    ScriptedBackend backend;
    MiniFirmware firmware;
    std::function<std::optional<Bytes>(const RawHidReport&, std::optional<Bytes>)> tamper;

    LoaderRig()
    {
        backend.respond = [this](const RawHidReport& r) {
            auto answer = firmware.answer(r);
            return tamper ? tamper(r, answer) : answer;
        };
    }

    void makeVial(const std::string& definitionText = SmallVialDefinition)
    {
        firmware.vial = true;
        firmware.viaVersion = 9;
        firmware.definition = compressXz(json::parse(definitionText).dump());
        firmware.rows = json::parse(definitionText)["matrix"]["rows"].get<int>();
        firmware.cols = json::parse(definitionText)["matrix"]["cols"].get<int>();
    }

    std::optional<DeviceModel> load(LoadStats* stats = nullptr)
    {
        const auto endpoints = enumerateEndpoints(backend);
        EXPECT_EQ(endpoints.size(), 1u);
        return endpoints.empty() ? std::nullopt : loadDevice(backend, endpoints[0], stats);
    }
};

TEST(DeviceDiscovery, MergesInterfacesByIdentifierSortsAndSkipsAnonymousOnes)
{
    ScriptedBackend backend;
    backend.interfaces = {
        HidInterfaceInfo{"a", 0x5831, 0x4249, RawHidUsagePage, RawHidUsage, "M", "First", ""},
        HidInterfaceInfo{"b", 0x1A86, 0xFE16, RawHidUsagePage, RawHidUsage, "M", "Old", ""},
        HidInterfaceInfo{"c", 0x1A86, 0xFE16, RawHidUsagePage, RawHidUsage, "M", "New", "s"},
        HidInterfaceInfo{"d", 0, 0, RawHidUsagePage, RawHidUsage, "", "", ""},
        HidInterfaceInfo{"e", 0x0001, 0x0002, 0x01, 0x06, "", "keyboard", ""},
    };
    const auto endpoints = enumerateEndpoints(backend);
    ASSERT_EQ(endpoints.size(), 2u);
    EXPECT_EQ(endpoints[0].id(), "1A86:FE16");
    EXPECT_EQ(endpoints[0], (RawHIDEndpointInfo{0x1A86, 0xFE16, "M", "New", "s"}));
    EXPECT_EQ(endpoints[1].id(), "5831:4249");
}

TEST(DeviceLoading, VialDeviceFillsEveryFieldFromItsDefinition)
{
    LoaderRig rig;
    rig.makeVial();
    rig.firmware.layers = 2;
    rig.firmware.keymap = {{{0, 0, 0}, 0x0004}, {{0, 1, 1}, 0x7E45}, {{1, 1, 2}, 0x0029}, {{1, 0, 2}, 0x5F90}};
    rig.firmware.encoders = {{{0, 0, 0}, 0x00E9}, {{0, 0, 1}, 0x00EA}, {{1, 0, 1}, 0x0052}};
    rig.firmware.tapDances = {{0x04, 0x05, 0x06, 0x07, 200}, {0x08, 0, 0, 0, 175}};
    rig.firmware.rgblight = true;

    LoadStats stats;
    const auto model = rig.load(&stats);
    ASSERT_TRUE(model);
    EXPECT_EQ(model->id, "1A86:FE16");
    EXPECT_EQ(model->displayName(), "Acme Pad");
    EXPECT_EQ(model->proto, DeviceProtocol::vial(9, 6, 0x1122334455667788ull));
    EXPECT_TRUE(model->connected);
    EXPECT_TRUE(model->liveRead);
    EXPECT_EQ(model->rows, 2);
    EXPECT_EQ(model->cols, 3);
    EXPECT_EQ(model->layerCount, 2);
    EXPECT_EQ(model->activeLayer, 1);
    ASSERT_EQ(model->keys.size(), 6u);
    EXPECT_EQ(model->keys[4].id, "r1c1");
    EXPECT_DOUBLE_EQ(model->keys[4].w, 2);
    EXPECT_TRUE(model->keys[5].decal);
    EXPECT_EQ(model->encoders, (std::vector<PhysicalEncoder>{{0, "Knob", std::nullopt, std::nullopt}}));
    EXPECT_EQ(model->keymap, (Keymap{{{4, 0, 0}, {0, 0x7E45, 0}}, {{0, 0, 0x5F90}, {0, 0, 0}}}))
        << "the decal's cell 1,2 is never read";
    EXPECT_EQ(model->encoderMap, (EncoderMap{{{0xE9, 0xEA}}, {{0, 0x52}}}));
    EXPECT_EQ(model->tapDanceCount, 2);
    EXPECT_EQ(model->tapDances, rig.firmware.tapDances);
    EXPECT_EQ(model->rgb, (RGBState{RGBProtocolKind::qmkRgblight, 120, 9, 9, 3, 10, 200}));
    EXPECT_TRUE(model->protectedCells.empty());
    EXPECT_EQ(model->protectedLayerCells, (std::set<std::string>{"0,1,1", "1,0,2"}));
    EXPECT_FALSE(model->dirty);

    const int definitionBlocks = (static_cast<int>(rig.firmware.definition.size()) + 31) / 32;
    // The fake firmware refuses the keymap buffer (one request), so the keys are read one by one.
    EXPECT_EQ(stats.exchanges, 3 + 1 + definitionBlocks + 1 + 2 * 5 + 2 * 1 + 1 + 2 + 4);
    EXPECT_EQ(stats.exchanges, static_cast<int>(rig.backend.requests.size()));
    EXPECT_GT(stats.loadMs, 0);
    EXPECT_EQ(rig.backend.closed, 1);
}

TEST(DeviceLoading, KeyReadsWithoutAMatchingEchoAreMarkedUnreadOnBothPaths)
{
    LoaderRig rig;
    rig.makeVial();
    rig.firmware.keymap = {{{0, 0, 0}, 0x5100}, {{0, 0, 1}, 0x04}};
    rig.tamper = [](const RawHidReport& r, std::optional<Bytes> a) {
        if (a && r[0] == 0x04 && r[1] == 0 && r[3] == 0)
            (*a)[0] = 0x05; // wrong command echoed
        if (a && r[0] == 0x04 && r[1] == 0 && r[3] == 1)
            (*a)[3] = 2; // an answer for another cell
        return a;
    };
    auto vial = rig.load();
    ASSERT_TRUE(vial);
    EXPECT_EQ(vial->keymap[0][0][0], 0);
    EXPECT_EQ(vial->keymap[0][0][1], 0);
    EXPECT_EQ(vial->unreadCells, (std::set<std::string>{"0,0,0", "0,0,1", "0,1,0", "0,1,1"}));
    EXPECT_TRUE(vial->isPartial());

    LoaderRig via;
    via.firmware.keymap = {{{0, 0, 0}, 0x5100}, {{0, 0, 1}, 0x04}, {{1, 0, 1}, 0x05}};
    via.tamper = [](const RawHidReport& r, std::optional<Bytes> a) {
        if (a && r[0] == 0x04 && r[1] == 1 && r[3] == 1)
            (*a)[0] = 0x05;
        return a;
    };
    auto plain = via.load();
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->keymap[0][0][1], 0x04);
    EXPECT_EQ(plain->keymap[1][0][1], 0);
    EXPECT_EQ(plain->unreadCells, (std::set<std::string>{"1,0,1"}));

    LoaderRig healthy;
    healthy.makeVial();
    const auto full = healthy.load();
    ASSERT_TRUE(full);
    EXPECT_FALSE(full->isPartial());
}

TEST(DeviceLoading, DroppedKnobAnswersAreMarkedUnread)
{
    LoaderRig rig;
    rig.makeVial();
    rig.firmware.layers = 2;
    rig.tamper = [](const RawHidReport& r, std::optional<Bytes> a) {
        return r[0] == 0xFE && r[1] == 0x03 && r[2] == 1 ? std::nullopt : a;
    };
    const auto model = rig.load();
    ASSERT_TRUE(model);
    EXPECT_EQ(model->unreadEncoders, (std::set<std::string>{"1,0"}));
    EXPECT_EQ(model->unreadCount(), 1);
}

TEST(DeviceLoading, HandshakeDecidesBetweenVialAndVia)
{
    struct Case
    {
        const char* name;
        std::uint64_t uid;
        int vialVersion;
        bool definitionUsable;
        bool expectVial;
    };
    for (const Case& c : {Case{"vial", 7, 6, true, true},
                          Case{"uid 0", 0, 6, true, false},
                          Case{"version 7", 7, 7, true, false},
                          Case{"bad definition", 7, 6, false, false}}) {
        LoaderRig rig;
        rig.makeVial();
        rig.firmware.uid = c.uid;
        rig.firmware.vialVersion = c.vialVersion;
        rig.firmware.keymap = {{{0, 0, 0}, 0x04}, {{0, 1, 1}, 0x05}};
        if (!c.definitionUsable)
            rig.firmware.definition = compressXz(R"({"matrix":{"rows":"two","cols":3}})");
        const auto model = rig.load();
        ASSERT_TRUE(model) << c.name;
        EXPECT_EQ(model->proto.isVial(), c.expectVial) << c.name;
        EXPECT_EQ(model->activeLayer, c.expectVial ? 1 : 0) << c.name;
        if (!c.expectVial) {
            EXPECT_EQ(model->proto, DeviceProtocol::via(9)) << c.name;
            EXPECT_EQ(model->rows, 2) << c.name;
            EXPECT_EQ(model->cols, 2) << c.name;
            EXPECT_EQ(model->keys.size(), 2u) << c.name << ": grid layout";
        }
        EXPECT_EQ(rig.backend.closed, 1) << c.name;
    }
}

TEST(DeviceLoading, ProtocolVersionAndLayerCountAnswers)
{
    struct Case
    {
        Bytes version;
        std::optional<int> layerByte;
        bool loads;
        int viaVersion;
        int layers;
    };
    const std::vector<Case> cases = {
        {bytesOf({0x01, 0x00, 0x0C}), 0, true, 12, 4},
        {bytesOf({0x01, 0x0C, 0x00}), 33, true, 3072, 4},
        {bytesOf({0x01, 0x00, 0x0C}), 32, true, 12, 32},
        {bytesOf({0x01, 0x00, 0x0C}), 1, true, 12, 1},
        {bytesOf({0x01, 0x00, 0x0C}), std::nullopt, true, 12, 4},
        {bytesOf({0xFF, 0x00, 0x0C}), 2, false, 0, 0},
        {Bytes{0x01, 0x00}, 2, false, 0, 0},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const auto& c = cases[i];
        LoaderRig rig;
        rig.tamper = [&](const RawHidReport& r, std::optional<Bytes> a) -> std::optional<Bytes> {
            if (r[0] == 0x01)
                return c.version;
            if (r[0] == 0x11) {
                if (!c.layerByte || !a)
                    return std::nullopt;
                a->at(1) = static_cast<std::uint8_t>(*c.layerByte);
            }
            return a;
        };
        const auto model = rig.load();
        ASSERT_EQ(model.has_value(), c.loads) << i;
        EXPECT_EQ(rig.backend.closed, 1) << i;
        if (!model) {
            EXPECT_EQ(rig.backend.requests.size(), 1u) << i;
            continue;
        }
        EXPECT_EQ(model->proto.viaVersion(), c.viaVersion) << i;
        EXPECT_EQ(model->layerCount, c.layers) << i;
        EXPECT_EQ(model->keymap.size(), static_cast<std::size_t>(c.layers)) << i;
    }
}

TEST(DeviceLoading, UnopenableDeviceYieldsNoModelAndIsNeverClosed)
{
    LoaderRig rig;
    rig.backend.refuseOpen = true;
    EXPECT_FALSE(rig.load());
    EXPECT_EQ(rig.backend.opened, 0);
    EXPECT_EQ(rig.backend.closed, 0);
}

TEST(DeviceLoading, ViaOnlyProbeFindsTheMatrixAndStopsAfterTwoEmptyRows)
{
    LoaderRig rig;
    rig.firmware.rows = 6;
    rig.firmware.cols = 16;
    rig.firmware.keymap = {{{0, 0, 0}, 0x04}, {{0, 1, 2}, 0x05}, {{0, 0, 1}, 0xFFFF}};
    const auto model = rig.load();
    ASSERT_TRUE(model);
    EXPECT_EQ(model->rows, 2);
    EXPECT_EQ(model->cols, 3);
    EXPECT_EQ(rig.backend.countStartingWith({0x04, 0x00}), 4 * 16) << "rows 0-3 probed, then it stops";
    EXPECT_EQ(model->keymap[0][0][1], 0xFFFF) << "every probed keycode is kept";
    ASSERT_EQ(model->keys.size(), 3u);
    EXPECT_EQ(model->keys[2].id, "r1c2");
    EXPECT_DOUBLE_EQ(model->keys[2].x, 2);
    EXPECT_DOUBLE_EQ(model->keys[2].y, 1);
}

TEST(DeviceLoading, ViaOnlyProbeRowEndsAtTheFirstFailedCell)
{
    LoaderRig rig;
    rig.firmware.rows = 6;
    rig.firmware.cols = 16;
    rig.firmware.keymap = {{{0, 0, 0}, 0x04}, {{0, 0, 5}, 0x05}, {{0, 2, 7}, 0x06}};
    rig.tamper = [](const RawHidReport& r, std::optional<Bytes> a) -> std::optional<Bytes> {
        if (r[0] == 0x04 && r[1] == 0 && r[2] == 0 && r[3] == 3)
            return std::nullopt;
        return a;
    };
    const auto model = rig.load();
    ASSERT_TRUE(model);
    EXPECT_EQ(model->keymap[0][0][0], 0x04);
    EXPECT_EQ(model->cols, 8);
    EXPECT_EQ(model->rows, 3);
    EXPECT_EQ(model->keymap[0][0][5], 0) << "row 0 ended at column 3";
}

TEST(DeviceLoading, ViaOnlyCellClassification)
{
    LoaderRig rig;
    rig.firmware.viaVersion = 11;
    rig.firmware.layers = 3;
    rig.firmware.rows = 2;
    rig.firmware.cols = 2;
    for (int l = 0; l < 3; ++l) {
        rig.firmware.keymap[{l, 0, 0}] = 0x00F1;                   // reserved everywhere
        rig.firmware.keymap[{l, 0, 1}] = l == 2 ? 0x0004 : 0x00F2; // not the same on every layer
        rig.firmware.keymap[{l, 1, 0}] = 0x0005;
    }
    rig.firmware.keymap[{2, 1, 1}] = 0x5F90;
    rig.firmware.keymap[{0, 1, 1}] = 0x7E00;
    const auto model = rig.load();
    ASSERT_TRUE(model);
    EXPECT_EQ(model->protectedCells, (std::set<std::string>{"0,0"}));
    EXPECT_EQ(model->protectedLayerCells, (std::set<std::string>{"0,1,1", "2,1,1"}));
    std::vector<std::string> ids;
    for (const auto& key : model->keys)
        ids.push_back(key.id);
    EXPECT_EQ(ids, (std::vector<std::string>{"r0c1", "r1c0", "r1c1"}));

    LoaderRig v12;
    v12.firmware.rows = 1;
    v12.firmware.cols = 1;
    v12.firmware.keymap = {{{1, 0, 0}, 0x5F90}, {{0, 0, 0}, 0x04}};
    const auto newer = v12.load();
    ASSERT_TRUE(newer);
    EXPECT_TRUE(newer->protectedLayerCells.empty()) << "0x5F80... is firmware-custom only up to protocol 11";
}

TEST(DeviceLoading, Protocol10LayerMovesReadAsTheirLayerAndWriteBackUnchanged)
{
    for (const int viaVersion : {9, 10}) {
        LoaderRig rig;
        rig.firmware.viaVersion = viaVersion;
        rig.firmware.layers = 2;
        rig.firmware.rows = 1;
        rig.firmware.cols = 3;
        rig.firmware.keymap = {{{0, 0, 0}, 0x5001},
                               {{0, 0, 1}, 0x5011},
                               {{0, 0, 2}, 0x0004},
                               {{1, 0, 0}, 0x0000},
                               {{1, 0, 1}, 0x0000},
                               {{1, 0, 2}, 0x0000}};
        const auto before = rig.firmware.keymap;
        auto model = rig.load();
        ASSERT_TRUE(model);
        ASSERT_TRUE(model->legacyKeycodes());
        // QMK 0.18 wrote TO(1) as 0x5001; older firmware as 0x5011.
        const std::string to1 = formatKeycode(model->keycodeAt(0, 0, viaVersion == 10 ? 0 : 1), true);
        EXPECT_EQ(to1, "TO(1)") << "protocol " << viaVersion;

        const auto written = writeDeviceToHardware(rig.backend, *model);
        ASSERT_TRUE(written) << written.error().message;
        EXPECT_EQ(rig.firmware.keymap, before) << "protocol " << viaVersion;
    }
}

TEST(DeviceLoading, ViaEncoderProbeCountsUpToTheLastBoundIndex)
{
    LoaderRig rig;
    rig.firmware.rows = 1;
    rig.firmware.cols = 1;
    rig.firmware.keymap = {{{0, 0, 0}, 0x04}};
    rig.firmware.encoderCount = 6;
    rig.firmware.encoders = {{{0, 0, 0}, 0xE9}, {{0, 1, 1}, 0xEA}, {{2, 1, 0}, 0x52}};
    rig.tamper = [](const RawHidReport& r, std::optional<Bytes> a) -> std::optional<Bytes> {
        if (r[0] == 0x14 && r[1] == 0 && r[2] == 3)
            return std::nullopt;
        return a;
    };
    const auto model = rig.load();
    ASSERT_TRUE(model);
    ASSERT_EQ(model->encoders.size(), 2u);
    EXPECT_EQ(model->encoders[1], (PhysicalEncoder{1, "Knob 1", std::nullopt, std::nullopt}));
    EXPECT_EQ(model->encoderMap[0], (std::vector<std::vector<Keycode>>{{0xE9, 0}, {0, 0xEA}}));
    EXPECT_EQ(model->encoderMap[2], (std::vector<std::vector<Keycode>>{{0, 0}, {0x52, 0}}));
    EXPECT_EQ(rig.backend.countStartingWith({0x14, 0x00}), 8 + 4);

    LoaderRig old;
    old.firmware.viaVersion = 10;
    old.firmware.rows = 1;
    old.firmware.cols = 1;
    old.firmware.encoderCount = 2;
    old.firmware.encoders = {{{0, 0, 0}, 0xE9}};
    const auto older = old.load();
    ASSERT_TRUE(older);
    EXPECT_TRUE(older->encoders.empty());
    EXPECT_EQ(old.backend.countStartingWith({0x14}), 0);
}

TEST(DeviceLoading, ThreeKnobPadHidesTheTwoClickCells)
{
    for (bool extraColumn : {false, true}) {
        LoaderRig rig;
        rig.firmware.rows = 5;
        rig.firmware.cols = 4;
        rig.firmware.encoderCount = 3;
        for (int e = 0; e < 3; ++e)
            rig.firmware.encoders[{0, e, 1}] = 0xE9;
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c)
                rig.firmware.keymap[{0, r, c}] = 0x04;
        rig.firmware.keymap[{0, 4, 0}] = 0x4F;
        rig.firmware.keymap[{1, 4, 1}] = 0x50;
        rig.firmware.keymap[{0, 4, 2}] = 0x00F1; // reserved on every layer: not counted as used
        for (int l = 1; l < 4; ++l)
            rig.firmware.keymap[{l, 4, 2}] = 0x00F1;
        if (extraColumn)
            rig.firmware.keymap[{3, 4, 3}] = 0x02;
        const auto model = rig.load();
        ASSERT_TRUE(model);
        ASSERT_EQ(model->rows, 5);
        ASSERT_EQ(model->encoders.size(), 3u);
        if (!extraColumn) {
            EXPECT_EQ(model->encoders,
                      (std::vector<PhysicalEncoder>{
                          {0, "Knob 0", 4, 0}, {1, "Knob 1", 4, 1}, {2, "Wheel", std::nullopt, std::nullopt}}));
            EXPECT_EQ(model->keys.size(), 16u) << "row 4 has no keys";
        } else {
            EXPECT_EQ(model->encoders[2].name, "Knob 2");
            EXPECT_EQ(model->keys.size(), 19u);
        }
    }
}

TEST(DeviceLoading, EveryTapDanceIsReadAndAMissingOneKeepsItsPlaceMarkedUnread)
{
    LoaderRig rig;
    rig.makeVial();
    for (int i = 0; i < 20; ++i)
        rig.firmware.tapDances.push_back({static_cast<Keycode>(4 + i), 0, 0, 0, 200});
    rig.tamper = [](const RawHidReport& r, std::optional<Bytes> a) -> std::optional<Bytes> {
        if (r[0] == 0xFE && r[1] == 0x0D && r[2] == 0x01 && r[3] == 2)
            (*a)[0] = 0xFF;
        if (r[0] == 0xFE && r[1] == 0x0D && r[2] == 0x01 && r[3] == 5)
            return std::nullopt;
        return a;
    };
    const auto model = rig.load();
    ASSERT_TRUE(model);
    EXPECT_EQ(model->tapDanceCount, 20);
    ASSERT_EQ(model->tapDances.size(), 20u);
    EXPECT_EQ(model->tapDances[2], TapDanceData{});
    EXPECT_EQ(model->tapDances[3].onTap, 4 + 3);
    EXPECT_EQ(model->tapDances[19].onTap, 4 + 19);
    EXPECT_EQ(model->unreadTapDances, (std::set<int>{2, 5}));
    EXPECT_TRUE(model->isPartial()); // so Apply cannot overwrite entries 2 and 5 with placeholders
    EXPECT_EQ(rig.backend.countStartingWith({0xFE, 0x0D, 0x01}), 20);
}

TEST(DeviceLoading, WireNumbersAbove255AreSkippedNotTruncated)
{
    LoaderRig rig;
    rig.makeVial(R"({"matrix":{"rows":2,"cols":2},
                    "layouts":{"keymap":[["0,0","0,1","300,0\n\n\n\ne","44,0\n\n\n\ne"],["1,0","1,1"]]}})");
    rig.firmware.encoders = {{{0, 44, 0}, 0xE9}};
    const auto model = rig.load();
    ASSERT_TRUE(model);
    ASSERT_EQ(model->encoders.size(), 2u);
    EXPECT_EQ(model->encoders[1].id, 300);
    EXPECT_EQ(model->encoderMap[0][0], (std::vector<Keycode>{0xE9, 0}));
    EXPECT_EQ(model->encoderMap[0][1], (std::vector<Keycode>{0, 0})) << "index 300 must not read index 44";
    EXPECT_EQ(rig.backend.countStartingWith({0xFE, 0x03}), 4 * 1);
}

TEST(DeviceLoading, DeviceVanishingMidLoadStillYieldsAModelWithDefaults)
{
    for (int cut : {1, 3, 8, 20, 40}) {
        LoaderRig rig;
        rig.makeVial();
        rig.firmware.rgblight = true;
        rig.backend.disconnectAfter = cut;
        const auto model = rig.load();
        ASSERT_TRUE(model) << cut;
        EXPECT_EQ(rig.backend.closed, 1) << cut;
        EXPECT_EQ(static_cast<int>(model->keymap.size()), model->layerCount) << cut;
        if (cut < 40) {
            EXPECT_EQ(model->rgb.brightness, 180) << cut;
        }
    }
}

TEST(DeviceLoading, APadThatStopsAnsweringCostsSixteenTimeoutsNotOnePerRead)
{
    // 32 layers of a 1,024-key layout that goes silent after the definition: without the cap that is
    // 32,768 reads of 250 ms each.
    std::string definition = R"({"matrix":{"rows":32,"cols":32},"layouts":{"keymap":[)";
    for (int row = 0; row < 32; ++row) {
        definition += row ? ",[" : "[";
        for (int col = 0; col < 32; ++col)
            definition += (col ? ",\"" : "\"") + std::to_string(row) + "," + std::to_string(col) + "\"";
        definition += "]";
    }
    definition += "]}}";
    LoaderRig rig;
    rig.makeVial(definition);
    rig.firmware.layers = 32;
    const int blocks = (static_cast<int>(rig.firmware.definition.size()) + 31) / 32;
    rig.tamper = [](const RawHidReport& r, std::optional<Bytes> a) {
        const bool handshake = r[0] == 0x01 || r[0] == 0x11 || (r[0] == 0xFE && r[1] <= 0x02);
        return handshake ? a : std::nullopt;
    };
    TempHome home;
    LogCapture log;
    const auto model = rig.load();
    ASSERT_TRUE(model);
    EXPECT_EQ(static_cast<int>(rig.backend.requests.size()), 4 + blocks + MaxConsecutiveFailedExchanges);
    EXPECT_EQ(model->unreadCount(), 32 * 1024);
    EXPECT_TRUE(log.contains("Acme Pad stopped answering after 16 requests in a row"));
}

TEST(DeviceLoading, GarbageAnswersNeverCrashTheLoader)
{
    std::uint32_t seed = 12345;
    auto next = [&] { return seed = seed * 1103515245u + 12345u; };
    for (int round = 0; round < 200; ++round) {
        ScriptedBackend backend;
        backend.respond = [&](const RawHidReport& r) -> std::optional<Bytes> {
            const auto pick = next() % 7;
            if (pick == 0)
                return std::nullopt;
            Bytes out(r.begin(), r.end());
            out.resize(next() % 40);
            for (auto& byte : out)
                if (next() % 3 == 0)
                    byte = static_cast<std::uint8_t>(next() >> 16);
            return out;
        };
        const auto endpoints = enumerateEndpoints(backend);
        const auto model = loadDevice(backend, endpoints[0]);
        if (model) {
            EXPECT_EQ(static_cast<int>(model->keymap.size()), model->layerCount);
            EXPECT_LE(model->tapDances.size(), 255u);
        }
        EXPECT_EQ(backend.opened, backend.closed);
    }
}

} // namespace
} // namespace keyglass::test
