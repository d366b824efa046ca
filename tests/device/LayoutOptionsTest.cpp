// Layout options: the labels of a definition, the pad's 32-bit value, which keys each choice shows,
// and loading a pad with its chosen options (Vial, and plain VIA with a stored definition).

#include "support/PadRig.h"
#include "support/TempHome.h"

#include "device/Definition.h"
#include "device/KleLayout.h"
#include "device/LayoutOptions.h"
#include "device/ViaDefinitions.h"
#include "sim/VirtualPad.h"
#include "sim/VirtualPadFactory.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace keyglass::test {
namespace {

using json = nlohmann::json;

std::vector<LayoutOptionLabel> labels(const char* text)
{
    return parseLayoutLabels(json::parse(text));
}

TEST(LayoutOptionLabels, StringsAreTogglesArraysAreTitlesWithChoicesAndJunkKeepsItsPlace)
{
    const auto parsed = labels(R"(["Split Backspace", ["Bottom Row", "6.25U", "7U", "HHKB"], 7, ["Alone"], []])");
    ASSERT_EQ(parsed.size(), 5u);
    EXPECT_EQ(parsed[0], (LayoutOptionLabel{"Split Backspace", {}}));
    EXPECT_TRUE(parsed[0].isToggle());
    EXPECT_EQ(parsed[0].choiceCount(), 2);
    EXPECT_EQ(parsed[1], (LayoutOptionLabel{"Bottom Row", {"6.25U", "7U", "HHKB"}}));
    EXPECT_EQ(parsed[2].title, "");
    EXPECT_FALSE(parsed[3].isToggle()); // a title without choices: nothing to choose
    EXPECT_EQ(parsed[3].choiceCount(), 1);
    EXPECT_TRUE(labels("{}").empty());
    EXPECT_EQ(labels(json(std::vector<std::string>(40, "x")).dump().c_str()).size(), MaxLayoutOptions);
}

TEST(LayoutOptionValue, LastOptionTakesTheLowestBitsAndEachTakesWhatItsChoicesNeed)
{
    // Toggle (1 bit), 3 choices (2 bits), 5 choices (3 bits), toggle (1 bit): from the top down.
    const auto options = labels(R"(["A", ["B", "b0", "b1", "b2"], ["C", "c0", "c1", "c2", "c3", "c4"], "D"])");
    EXPECT_EQ(decodeLayoutOptions(options, 0), (std::vector<int>{0, 0, 0, 0}));
    EXPECT_EQ(decodeLayoutOptions(options, 0b1), (std::vector<int>{0, 0, 0, 1}));
    EXPECT_EQ(decodeLayoutOptions(options, 0b1000), (std::vector<int>{0, 0, 4, 0}));
    EXPECT_EQ(decodeLayoutOptions(options, 0b1'10'000'0), (std::vector<int>{1, 2, 0, 0}));
    // 3 in a 2-bit field of three choices, 7 in the 3-bit field: no such choice, the first is shown.
    EXPECT_EQ(decodeLayoutOptions(options, 0b0'11'111'0), (std::vector<int>{0, 0, 0, 0}));
    for (std::uint32_t value : {0u, 1u, 0b1'10'100'1u, 0b0'01'011'0u})
        EXPECT_EQ(encodeLayoutOptions(options, decodeLayoutOptions(options, value)), value) << value;
    EXPECT_EQ(encodeLayoutOptions(options, {1, 9, -1, 1}), 0b1'00'000'1u);
}

TEST(LayoutOptionValue, OptionsBeyondThirtyTwoBitsStayAtTheirFirstChoice)
{
    std::vector<LayoutOptionLabel> many(12, LayoutOptionLabel{"x", {"a", "b", "c", "d", "e", "f", "g", "h"}});
    const auto choices = decodeLayoutOptions(many, 0xFFFFFFFFu);
    // Ten 3-bit fields fit from the bottom; the first two options have no bits left.
    EXPECT_EQ(choices[0], 0);
    EXPECT_EQ(choices[1], 0);
    EXPECT_EQ(choices[2], 7);
    EXPECT_EQ(choices[11], 7);
    DeviceModel pad;
    pad.layoutLabels = many;
    EXPECT_FALSE(layoutOptionsWith(pad, 0, 3));
    EXPECT_TRUE(layoutOptionsWith(pad, 2, 3));
    EXPECT_FALSE(layoutOptionsWith(pad, 12, 0));
    EXPECT_FALSE(layoutOptionsWith(pad, 2, 8));
}

// A 1 x 4 pad: key 0,0 always, option 0 swaps a 2u key for two 1u keys, option 1 puts a knob on 0,3
// in place of a key.
const char* const OptionPad = R"({
  "name": "Options", "vendorId": "0x4B47", "productId": "0x0A01",
  "matrix": {"rows": 1, "cols": 4},
  "layouts": {
    "labels": ["Split Key", ["Corner", "Key", "Knob"]],
    "keymap": [
      ["0,0", {"w": 2}, "0,1\n\n\n0,0", {"x": 1}, "0,3\n\n\n1,0"],
      [{"y": 0.5, "x": 1}, "0,1\n\n\n0,1", "0,2\n\n\n0,1", {"x": 1}, "0,3\n\n\n1,1\n\n\n\n\n\ne0"]
    ]
  },
  "menus": []
})";

std::vector<std::string> ids(const std::vector<PhysicalKey>& keys)
{
    std::vector<std::string> out;
    for (const auto& key : keys)
        out.push_back(key.id);
    return out;
}

TEST(LayoutOptionChoice, OnlyTheChosenChoiceOfEachOptionIsInTheLayout)
{
    const json definition = json::parse(OptionPad);
    const auto standard = layoutFromDefinition(definition, 0);
    ASSERT_TRUE(standard);
    EXPECT_EQ(ids(standard->keys), (std::vector<std::string>{"r0c0", "r0c1", "r0c3"}));
    EXPECT_TRUE(standard->encoders.empty());
    EXPECT_EQ(standard->allKeys.size(), 6u);
    ASSERT_EQ(standard->labels.size(), 2u);

    // Split Key on (bit 1), Corner = Knob (bit 0).
    const auto split = layoutFromDefinition(definition, 0b11);
    ASSERT_TRUE(split);
    EXPECT_EQ(ids(split->keys), (std::vector<std::string>{"r0c0", "r0c1", "r0c2", "r0c3"}));
    EXPECT_DOUBLE_EQ(split->keys[1].w, 1);
    ASSERT_EQ(split->encoders.size(), 1u);
    EXPECT_EQ(split->encoders[0], (PhysicalEncoder{0, "Knob", 0, 3}));
}

std::shared_ptr<VirtualPad> vialPad(const char* text, std::uint32_t options)
{
    auto config = vialDefinitionConfig(text);
    EXPECT_TRUE(config) << (config ? "" : config.error().message);
    config->layoutOptions = options;
    return std::make_shared<VirtualPad>(*config);
}

int keycodeReads(const VirtualPad& pad, int row, int col)
{
    const auto requests = pad.requests();
    return static_cast<int>(std::count_if(requests.begin(), requests.end(), [&](const RawHidReport& r) {
        return r[0] == 0x04 && r[2] == row && r[3] == col;
    }));
}

bool asked(const VirtualPad& pad, std::uint8_t a, std::uint8_t b)
{
    const auto requests = pad.requests();
    return std::any_of(requests.begin(), requests.end(), [&](const RawHidReport& r) { return r[0] == a && r[1] == b; });
}

TEST(LayoutOptionLoading, VialPadIsReadWithTheOptionsItHolds)
{
    PadRig rig(vialPad(OptionPad, 0b10));
    const auto model = rig.load();
    EXPECT_TRUE(asked(*rig.pad, 0x02, 0x02));
    EXPECT_EQ(model.layoutOptions, 0b10u);
    ASSERT_EQ(model.layoutLabels.size(), 2u);
    EXPECT_EQ(chosenLayoutChoices(model), (std::vector<int>{1, 0}));
    EXPECT_EQ(ids(model.keys), (std::vector<std::string>{"r0c0", "r0c3", "r0c1", "r0c2"}));
    // The 2u key of the other choice shares 0,1 and is read once per layer, as the chosen 1u key.
    EXPECT_LE(keycodeReads(*rig.pad, 0, 1), model.layerCount);
    EXPECT_EQ(model.keycodeAt(0, 0, 2), rig.pad->keycode(0, 0, 2));
}

TEST(LayoutOptionLoading, PadsWithoutOptionsAreNotAsked)
{
    PadRig rig(vialPad(R"({"matrix": {"rows": 1, "cols": 2}, "layouts": {"keymap": [["0,0", "0,1"]]}})", 5));
    const auto model = rig.load();
    EXPECT_FALSE(asked(*rig.pad, 0x02, 0x02));
    EXPECT_EQ(model.layoutOptions, 0u);
    EXPECT_EQ(model.keys.size(), 2u);
}

TEST(LayoutOptionWriting, SetKeyboardValueIsBigEndianAndARefusalIsAnError)
{
    EXPECT_EQ(setLayoutOptionsRequest(0x12345678u), (std::vector<std::uint8_t>{0x03, 0x02, 0x12, 0x34, 0x56, 0x78}));
    PadRig rig(vialPad(OptionPad, 0));
    ASSERT_TRUE(writeLayoutOptions(rig.backend, rig.pad->config().vid, rig.pad->config().pid, 0b01));
    EXPECT_EQ(rig.pad->layoutOptions(), 0b01u);
    const auto model = rig.load();
    EXPECT_EQ(model.encoders.size(), 1u);
    EXPECT_FALSE(writeLayoutOptions(rig.backend, 0x1234, 0x5678, 1)); // no such pad
}

// A plain VIA pad (no definition of its own) built from a VIA definition's matrix and keymap.
std::shared_ptr<VirtualPad> viaPad(const char* text, std::uint32_t options, int encoders = 0)
{
    auto config = vialDefinitionConfig(text);
    EXPECT_TRUE(config);
    config->vial = false;
    config->viaVersion = 12;
    config->definitionJson.clear();
    config->serial.clear();
    config->layoutOptions = options;
    config->encoderCount = encoders;
    config->encoderMap.assign(4, std::vector<std::vector<Keycode>>(encoders, {0x00AA, 0x00A9}));
    return std::make_shared<VirtualPad>(*config);
}

TEST(ViaDefinitionLoading, StoredDefinitionReplacesTheProbedGrid)
{
    TempHome home;
    {
        PadRig probed(viaPad(OptionPad, 0b01, 1));
        const auto grid = probed.load();
        EXPECT_TRUE(grid.layoutLabels.empty());
        EXPECT_TRUE(probed.pad->requests().size() > 0);
    }
    ASSERT_TRUE(addViaDefinitionText(OptionPad));
    PadRig rig(viaPad(OptionPad, 0b01, 1));
    const auto model = rig.load();
    EXPECT_FALSE(model.proto.isVial());
    EXPECT_EQ(model.rows, 1);
    EXPECT_EQ(model.cols, 4);
    EXPECT_EQ(model.layoutOptions, 0b01u);
    EXPECT_EQ(ids(model.keys), (std::vector<std::string>{"r0c0", "r0c1", "r0c3"}));
    ASSERT_EQ(model.encoders.size(), 1u);
    EXPECT_EQ(model.encoders[0], (PhysicalEncoder{0, "Knob", 0, 3}));
    ASSERT_EQ(model.encoderMap.size(), static_cast<std::size_t>(model.layerCount));
    EXPECT_EQ(model.encoderMap[0][0], (std::vector<Keycode>{0x00AA, 0x00A9}));
    EXPECT_EQ(model.keycodeAt(1, 0, 3), rig.pad->keycode(1, 0, 3));
    EXPECT_FALSE(model.isPartial());
    // The key the other choice shows (0,2) is neither read nor written.
    EXPECT_EQ(keycodeReads(*rig.pad, 0, 2), 0);
    rig.pad->clearRequests();
    rig.write(model);
    for (const auto& r : rig.pad->requests())
        EXPECT_FALSE(r[0] == 0x05 && r[3] == 2) << "wrote the hidden key";
}

TEST(ViaDefinitionLoading, KnobsOfFirmwareWithoutEncoderCommandsBecomePlainKeys)
{
    TempHome home;
    ASSERT_TRUE(addViaDefinitionText(OptionPad));
    auto pad = viaPad(OptionPad, 0b01, 0);
    auto config = pad->config();
    config.viaEncoderCommands = false;
    PadRig rig(std::make_shared<VirtualPad>(config));
    const auto model = rig.load();
    EXPECT_TRUE(model.encoders.empty());
    EXPECT_FALSE(model.isPartial());
    EXPECT_EQ(ids(model.keys), (std::vector<std::string>{"r0c0", "r0c1", "r0c3"}));
}

TEST(ViaDefinitionLibrary, AddListRemoveUnderUpperHexVendorAndProductIds)
{
    TempHome home;
    const auto added = addViaDefinitionText(OptionPad);
    ASSERT_TRUE(added) << added.error().message;
    EXPECT_EQ(added->deviceID(), "4B47:0A01");
    EXPECT_EQ(added->keyCount, 6);
    EXPECT_EQ(added->optionCount, 2);
    const auto path = home.path() / ".local/share/Keyglass/Definitions/4B47_0A01.json";
    EXPECT_EQ(viaDefinitionPath(0x4B47, 0x0A01), path);
    EXPECT_EQ(readText(path), OptionPad);
    EXPECT_EQ(listViaDefinitions(), (std::vector<ViaDefinitionSummary>{*added}));
    ASSERT_TRUE(storedViaDefinition(0x4B47, 0x0A01));

    // A file copied under another pad's name does not give that pad this layout.
    writeText(viaDefinitionPath(0x1111, 0x2222), OptionPad);
    EXPECT_FALSE(storedViaDefinition(0x1111, 0x2222));
    EXPECT_EQ(listViaDefinitions().size(), 1u);

    EXPECT_EQ(removeViaDefinition(0x4B47, 0x0A01), true);
    EXPECT_EQ(removeViaDefinition(0x4B47, 0x0A01), false);
    EXPECT_FALSE(storedViaDefinition(0x4B47, 0x0A01));
    EXPECT_EQ(parseDeviceID("4b47_0a01"), std::make_pair(0x4B47, 0x0A01));
    EXPECT_EQ(parseDeviceID("0x4B47:0x0A01"), std::make_pair(0x4B47, 0x0A01));
    EXPECT_FALSE(parseDeviceID("4B47"));
    EXPECT_FALSE(parseDeviceID("4B47:10000"));
}

TEST(ViaDefinitionLibrary, ProblemsAreListedTogetherAndNothingIsStored)
{
    TempHome home;
    struct Case
    {
        const char* text;
        std::vector<const char*> fragments;
    };
    const Case cases[] = {
        {R"({"matrix": {"rows": 1, "cols": 1}, "layouts": {"keymap": [["0,0"]]}})",
         {"\"name\"", "\"vendorId\"", "\"productId\""}},
        {R"({"name": "x", "vendorId": "0x1", "productId": "12", "matrix": {"rows": 1, "cols": 1},
             "layouts": {"keymap": [["0,0"]]}})",
         {"\"productId\""}},
        {R"({"name": "x", "vendorId": "0x1", "productId": "0x2", "matrix": {"rows": 1, "cols": 2},
             "layouts": {"keymap": [["0,0", "3,1"]], "labels": "no"}, "menus": {}})",
         {"outside the 1 x 2 matrix (first: 3,1)", "\"labels\"", "\"menus\""}},
        {R"({"name": "x", "vendorId": "0x1", "productId": "0x2", "matrix": {"rows": 1000, "cols": 2},
             "layouts": {"keymap": [["0,0"]]}})",
         {"\"matrix\""}},
        {R"({"name": "x", "vendorId": "0x1", "productId": "0x2", "matrix": {"rows": 1, "cols": 1}})", {"\"keymap\""}},
        {R"([1, 2])", {"not a JSON object"}},
        {R"({"name": )", {""}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const auto added = addViaDefinitionText(c.text);
        ASSERT_FALSE(added);
        for (const char* fragment : c.fragments)
            EXPECT_NE(added.error().message.find(fragment), std::string::npos) << added.error().message;
    }
    EXPECT_TRUE(listViaDefinitions().empty());
    EXPECT_FALSE(addViaDefinitionFile(home.path() / "missing.json"));
}

} // namespace
} // namespace keyglass::test
