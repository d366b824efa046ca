#include "model/DeviceModel.h"
#include "model/EditingTarget.h"

#include <gtest/gtest.h>

using namespace keyglass;

namespace {
DeviceModel twoLayerModel()
{
    DeviceModel model;
    model.id = deviceIdentifier(0x1234, 0x0005);
    model.layerCount = 2;
    model.rows = 2;
    model.cols = 3;
    model.keymap = {{{1, 2, 3}, {4, 5, 6}}, {{7, 8, 9}, {10, 11, 12}}};
    model.encoderMap = {{{0x00AA, 0x00A9}, {0x0004}}, {{0x0005, 0x0006}}};
    return model;
}
} // namespace

TEST(DeviceModel, IdentifierIsUpperCaseHexWithColon)
{
    EXPECT_EQ(deviceIdentifier(0x1234, 0x0005), "1234:0005");
    EXPECT_EQ(deviceIdentifier(0x1a86, 0xfe16), "1A86:FE16");
}

TEST(DeviceModel, KeymapLookupOutsideTheMatrixYieldsZero)
{
    const auto model = twoLayerModel();
    EXPECT_EQ(model.keycodeAt(1, 1, 2), 12);
    EXPECT_EQ(model.keycodeAt(-1, 0, 0), 0);
    EXPECT_EQ(model.keycodeAt(0, -1, 0), 0);
    EXPECT_EQ(model.keycodeAt(0, 0, -1), 0);
    EXPECT_EQ(model.keycodeAt(2, 0, 0), 0);
    EXPECT_EQ(model.keycodeAt(0, 2, 0), 0);
    EXPECT_EQ(model.keycodeAt(0, 0, 3), 0);
}

TEST(DeviceModel, EncoderLookupNeedsBothDirections)
{
    const auto model = twoLayerModel();
    EXPECT_EQ(model.encoderKeycodeAt(0, 0, false), 0x00AA);
    EXPECT_EQ(model.encoderKeycodeAt(0, 0, true), 0x00A9);
    EXPECT_EQ(model.encoderKeycodeAt(0, 1, false), 0); // a single keycode counts as no entry
    EXPECT_EQ(model.encoderKeycodeAt(0, 1, true), 0);
    EXPECT_EQ(model.encoderKeycodeAt(1, 1, true), 0);
    EXPECT_EQ(model.encoderKeycodeAt(2, 0, true), 0);
}

TEST(DeviceModel, UnlockNeverFreesHardwareReservedCells)
{
    auto model = twoLayerModel();
    model.protectedCells = {"1,2"};
    model.protectedLayerCells = {"0,0,1"};
    EXPECT_TRUE(model.isProtected(0, 0, 1));
    EXPECT_FALSE(model.isProtected(1, 0, 1));
    EXPECT_TRUE(model.isProtected(1, 1, 2));

    model.unlock(1, 0, 1); // not locked: nothing changes
    EXPECT_EQ(model.protectedLayerCells, std::set<std::string>{"0,0,1"});
    model.unlock(0, 0, 1);
    EXPECT_FALSE(model.isProtected(0, 0, 1));
    model.unlock(0, 1, 2);
    EXPECT_TRUE(model.isProtected(0, 1, 2));
}

TEST(DeviceModel, DisplayNameAvoidsRepeatingTheMaker)
{
    DeviceModel model;
    model.id = "1234:0005";
    model.manufacturer = " Acme ";
    model.product = "acme pad";
    EXPECT_EQ(model.displayName(), "acme pad");
    model.product = "Pad";
    EXPECT_EQ(model.displayName(), "Acme Pad");
    model.manufacturer = "";
    EXPECT_EQ(model.displayName(), "Pad");
    model.product = "  ";
    EXPECT_EQ(model.displayName(), "1234:0005");
}

TEST(DeviceModel, LegacyNumberingFollowsTheProtocolVersions)
{
    EXPECT_TRUE(DeviceProtocol::via(9).legacyKeycodes());
    EXPECT_FALSE(DeviceProtocol::via(10).legacyKeycodes());
    EXPECT_TRUE(DeviceProtocol::vial(9, 5, 1).legacyKeycodes());
    EXPECT_FALSE(DeviceProtocol::vial(9, 6, 1).legacyKeycodes());
    EXPECT_EQ(DeviceProtocol::via(12).label(), "VIA v12");
    EXPECT_EQ(DeviceProtocol::vial(9, 6, 7).label(), "Vial v6");
    EXPECT_NE(DeviceProtocol::via(9), DeviceProtocol::vial(9, 0, 0));
}

TEST(DeviceModel, CopiesAreIndependentAndCompareEveryField)
{
    const auto original = twoLayerModel();
    auto copy = original;
    EXPECT_EQ(copy, original);
    copy.keymap[0][0][0] = 0x29;
    EXPECT_NE(copy, original);
    EXPECT_EQ(original.keycodeAt(0, 0, 0), 1);
    copy = original;
    copy.rgb.hue = 3;
    EXPECT_NE(copy, original);
}

TEST(EditingTarget, IdentifiersNameDeviceAndSlot)
{
    EXPECT_EQ(EditingTarget(EditingTarget::Key{"1234:0005", 0, 1, 2}).identifier(), "k-1234:0005-0-1-2");
    EXPECT_EQ(EditingTarget(EditingTarget::Encoder{"1234:0005", 1, 0, true}).identifier(), "e-1234:0005-1-0-1");
    EXPECT_EQ(EditingTarget(EditingTarget::Encoder{"1234:0005", 1, 0, false}).identifier(), "e-1234:0005-1-0-0");
    EXPECT_EQ(EditingTarget(EditingTarget::TapDance{"1234:0005", 3, 2}).identifier(), "td-1234:0005-3-2");
    EXPECT_NE(EditingTarget(EditingTarget::Key{"A", 0, 0, 0}), EditingTarget(EditingTarget::Key{"A", 0, 0, 1}));
}
