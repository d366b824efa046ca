#include "input/LiveMatch.h"

#include <gtest/gtest.h>

using namespace keyglass;

namespace {

// A 2 x 2 pad with two knobs on `layers` layers, everything KC_NO; the second knob pushes (1, 1).
DeviceModel blankPad(int layers)
{
    DeviceModel d;
    d.vid = 0x1A86;
    d.pid = 0xFE16;
    d.id = deviceIdentifier(d.vid, d.pid);
    d.rows = 2;
    d.cols = 2;
    d.layerCount = layers;
    for (int r = 0; r < 2; ++r)
        for (int c = 0; c < 2; ++c)
            d.keys.push_back(PhysicalKey{"r" + std::to_string(r) + "c" + std::to_string(c), r, c});
    d.encoders = {PhysicalEncoder{7, "left", std::nullopt, std::nullopt}, PhysicalEncoder{3, "right", 1, 1}};
    d.keymap.assign(static_cast<size_t>(layers), std::vector<std::vector<Keycode>>(2, std::vector<Keycode>(2, 0)));
    d.encoderMap.assign(static_cast<size_t>(layers), std::vector<std::vector<Keycode>>(2, std::vector<Keycode>{0, 0}));
    return d;
}

Keycode& at(DeviceModel& d, int layer, int row, int col)
{
    return d.keymap[static_cast<size_t>(layer)][static_cast<size_t>(row)][static_cast<size_t>(col)];
}

} // namespace

TEST(LayerSearchOrder, ShownLayerThenItsPairThenTheRest)
{
    struct Case
    {
        int active, count;
        std::vector<int> order;
    };
    const Case cases[] = {
        {0, 4, {0, 1, 2, 3}},
        {2, 4, {2, 3, 0, 1}},
        {3, 4, {3, 2, 0, 1}},
        {1, 2, {1, 0}},
        {2, 3, {2, 0, 1}},
        {3, 3, {2, 0, 1}},
        {5, 4, {0, 1, 2, 3}},
        {-1, 3, {0, 1, 2}},
        {0, 0, {}},
        {0, 1, {0}},
    };
    for (const auto& c : cases) {
        DeviceModel d = blankPad(std::max(c.count, 0));
        d.activeLayer = c.active;
        EXPECT_EQ(layerSearchOrder(d), c.order) << "active " << c.active << " of " << c.count;
    }
}

TEST(FindLiveMatch, FollowsTheBindingToItsLayerSearchingThePairedLayerFirst)
{
    DeviceModel d = blankPad(4);
    at(d, 2, 1, 0) = 0x0068;
    EXPECT_EQ(findLiveMatch(d, 0x0068), (LiveMatch{2, "k-1-0"}));

    at(d, 1, 0, 1) = 0x0068;
    EXPECT_EQ(findLiveMatch(d, 0x0068), (LiveMatch{1, "k-0-1"})) << "layer 1 pairs with the shown layer 0";

    d.activeLayer = 2;
    EXPECT_EQ(findLiveMatch(d, 0x0068), (LiveMatch{2, "k-1-0"}));

    EXPECT_EQ(findLiveMatch(d, 0x0069), std::nullopt);
}

TEST(FindLiveMatch, KeysBeatKnobsAndDecalsAreSkipped)
{
    DeviceModel d = blankPad(1);
    d.encoderMap[0][0] = {0x0050, 0x004F};
    at(d, 0, 0, 1) = 0x004F;
    EXPECT_EQ(findLiveMatch(d, 0x004F), (LiveMatch{0, "k-0-1"}));

    d.keys[1].decal = true;
    EXPECT_EQ(findLiveMatch(d, 0x004F), (LiveMatch{0, "e-0-cw"}));
    EXPECT_EQ(findLiveMatch(d, 0x0050), (LiveMatch{0, "e-0-ccw"}));
}

TEST(FindLiveMatch, KnobIdsUseTheListPosition)
{
    DeviceModel d = blankPad(1);
    d.encoderMap[0][1] = {0x00AA, 0x00A9};
    at(d, 0, 1, 1) = 0x00AE; // the second knob's push switch
    d.keys[3].decal = true;  // the push switch is not drawn as a key
    EXPECT_EQ(findLiveMatch(d, 0x00AA), (LiveMatch{0, "e-1-ccw"}));
    EXPECT_EQ(findLiveMatch(d, 0x0080), (LiveMatch{0, "e-1-cw"})) << "keyboard-page Volume Up matches KC_VOLU";
    EXPECT_EQ(findLiveMatch(d, 0x00AE), (LiveMatch{0, "e-1-click"}));

    d.encoderMap[0][1] = {0x00A9}; // a knob entry with one code is not a binding
    EXPECT_EQ(findLiveMatch(d, 0x00A9), std::nullopt);
}

TEST(FindLiveMatch, TapDanceSlotsAreSearchedThroughTheirKey)
{
    DeviceModel d = blankPad(2);
    d.tapDanceCount = 3;
    d.tapDances.resize(3);
    d.tapDances[1] = TapDanceData{0x0004, 0x00E0, 0x0005, 0x0106, 200};
    d.tapDances[2] = TapDanceData{0x0007, 0, 0, 0, 200};
    at(d, 1, 0, 0) = 0x5701;
    at(d, 0, 1, 1) = 0x5702; // the click of the second knob holds TD(2)
    at(d, 0, 0, 1) = 0x5709; // no such entry
    d.keys[3].decal = true;

    const struct
    {
        Keycode code;
        LiveMatch match;
    } cases[] = {
        {0x0004, {1, "td-1-0"}},
        {0x00E0, {1, "td-1-1"}},
        {0x0005, {1, "td-1-2"}},
        {0x0106, {1, "td-1-3"}},
        {0x0007, {0, "td-2-0"}},
        {0x5701, {1, "k-0-0"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(findLiveMatch(d, c.code), c.match) << std::hex << c.code;

    d.tapDanceCount = 1; // entries beyond the firmware's count do not exist
    EXPECT_EQ(findLiveMatch(d, 0x0004), std::nullopt);
}

TEST(FindLiveMatch, OutOfRangeKeymapsAndLayersAreHarmless)
{
    DeviceModel d = blankPad(3);
    d.keymap.resize(1); // the keymap is shorter than layerCount
    d.encoderMap.clear();
    d.keys.push_back(PhysicalKey{"r9c9", 9, 9});
    d.encoders.push_back(PhysicalEncoder{0, "", 400, -1});
    at(d, 0, 1, 1) = 0x0004;
    d.activeLayer = 2;
    EXPECT_EQ(findLiveMatch(d, 0x0004), (LiveMatch{0, "k-1-1"}));
    EXPECT_EQ(findLiveMatch(d, 0x0005), std::nullopt);
}
