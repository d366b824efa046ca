#include "store/StatusText.h"

#include <gtest/gtest.h>

using namespace keyglass;

namespace {
DeviceModel pad(std::string product, int activeLayer, std::vector<Keycode> layerCodes = {})
{
    DeviceModel model;
    model.id = "1A86:FE16";
    model.manufacturer = "Loomworks";
    model.product = std::move(product);
    model.activeLayer = activeLayer;
    model.layerCount = activeLayer + 1;
    model.rows = 1;
    model.cols = static_cast<int>(layerCodes.size());
    model.keymap.assign(static_cast<size_t>(activeLayer + 1), {layerCodes});
    for (int c = 0; c < model.cols; ++c)
        model.keys.push_back(PhysicalKey{"r0c" + std::to_string(c), 0, c, double(c), 0, 1, 1, false});
    return model;
}
} // namespace

TEST(StatusText, TitleTagsEachPadWithItsInitialAndLayer)
{
    EXPECT_EQ(statusTitle({}), " —");
    EXPECT_EQ(statusTitle({pad("quadgrid", 2), pad(" solo", 0)}), " Q2·S0");
    EXPECT_EQ(statusTitle({pad("", 1)}), " ?1");
}

TEST(StatusText, TooltipNamesEachPadAndItsLayerTheme)
{
    EXPECT_EQ(statusTooltip({}), "Keyglass v2 — No Vial/VIA devices connected");
    auto focus = pad("Pad", 0, {0x0068, 0x0069, 0x016A, 0x0004});
    auto media = pad("Dial", 1, {0x00A8, 0x00A9, 0x00AA});
    EXPECT_EQ(statusTooltip({focus, media}), "Loomworks Pad: L0 (App Focus)  •  Loomworks Dial: L1 (Media)");
}

TEST(StatusText, ThemesPreferThePresetsLayerName)
{
    auto model = pad("Pad", 0, {0x00A8, 0x00A9});
    model.presetOverlay = PresetLabelOverlay{};
    model.presetOverlay->layerNames[0] = "History & Composer";
    EXPECT_EQ(layerThemeName(model, 0), "History & Composer");
    model.presetOverlay->layerNames[0] = "  ";
    EXPECT_EQ(layerThemeName(model, 0), "Media");
}

TEST(StatusText, ThemesGuessedFromKeycodes)
{
    EXPECT_EQ(layerThemeName(pad("P", 0, {0x0001, 0x0000}), 0), "Pass-through");
    EXPECT_EQ(layerThemeName(pad("P", 0, {0x7E00, 0x7E01, 0x0004}), 0), "BT / HW");
    EXPECT_EQ(layerThemeName(pad("P", 0, {0x0312, 0x0313, 0x0316, 0x0306, 0x032F}), 0), "Win T3 Code");
    EXPECT_EQ(layerThemeName(pad("P", 0, {0x0A12, 0x0A13, 0x0805, 0x0004}), 0), "T3 Code");
    EXPECT_EQ(layerThemeName(pad("P", 0, {0x5221, 0x5222}), 0), "Layers");
    EXPECT_EQ(layerThemeName(pad("P", 0, {0x004F, 0x0050, 0x0051}), 0), "Navigation");
    EXPECT_EQ(layerThemeName(pad("P", 0, {0x0059, 0x005A, 0x0004}), 0), "Numpad");
}
