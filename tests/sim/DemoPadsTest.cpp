#include "support/SimTestHelpers.h"

#include "sim/DemoPads.h"
#include "sim/VirtualPad.h"
#include "support/TempHome.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace keyglass {
namespace {

using test::report;

TEST(BuiltInPads, QuadgridHasAKeyEverywhereAKeyExists)
{
    auto pad = makeQuadgrid();
    EXPECT_EQ(pad->identifier(), "1A86:FE16");
    EXPECT_NE(pad->config().product.find("Quad"), std::string::npos);
    EXPECT_EQ(pad->rows(), 5);
    EXPECT_EQ(pad->cols(), 4);
    for (int l = 0; l < pad->layerCount(); ++l) {
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c)
                EXPECT_GE(pad->keycode(l, r, c), 2) << l << "," << r << "," << c;
        EXPECT_GE(pad->keycode(l, 4, 0), 2);
        EXPECT_GE(pad->keycode(l, 4, 1), 2);
        EXPECT_EQ(pad->keycode(l, 4, 2), 0x00F1);
        EXPECT_EQ(pad->keycode(l, 4, 3), 0x00F2);
        for (int e = 0; e < 3; ++e)
            for (bool cw : {false, true})
                EXPECT_NE(pad->encoder(l, e, cw), 0) << l << "," << e;
    }
}

TEST(BuiltInPads, SolodialIsAVialKnobOverOneKey)
{
    auto pad = makeSolodial();
    EXPECT_EQ(pad->identifier(), "5831:4249");
    EXPECT_NE(pad->config().serial.find("vial:f64c2b3c"), std::string::npos);
    EXPECT_EQ(pad->keycode(0, 0, 0), 0x5700);
    EXPECT_EQ(pad->encoder(0, 0, false), 0x00AA);
    EXPECT_EQ(pad->encoder(0, 0, true), 0x00A9);
    EXPECT_EQ(pad->tapDanceCount(), 8);
    EXPECT_NE(pad->config().vialUid, 0u);
}

TEST(MakeVirtualPad, NamesPathsAndErrors)
{
    test::TempHome home;
    EXPECT_EQ((*makeVirtualPad("quadgrid"))->identifier(), "1A86:FE16");
    EXPECT_EQ((*makeVirtualPad("solodial"))->identifier(), "5831:4249");

    const auto unknown = makeVirtualPad("octogrid");
    ASSERT_FALSE(unknown.has_value());
    EXPECT_NE(unknown.error().message.find("octogrid"), std::string::npos);
    EXPECT_FALSE(makeVirtualPad("").has_value());
    EXPECT_FALSE(makeVirtualPad("quadgrid@").has_value());

    const auto broken = home.path() / "broken.json";
    test::writeText(broken, "{\"matrix\": {\"rows\": 0}}");
    EXPECT_FALSE(makeVirtualPad(broken.string()).has_value());

    const auto def = home.path() / "vial.json";
    test::writeText(def, R"({"matrix": {"rows": 1, "cols": 2}, "layouts": {"keymap": [["0,0", "0,1"]]}})");
    const auto made = makeVirtualPad(def.string());
    ASSERT_TRUE(made.has_value()) << made.error().message;
    EXPECT_TRUE((*made)->config().vial);
    EXPECT_TRUE(VirtualPad::fromVialDefinitionFile(def).has_value());
    EXPECT_FALSE(VirtualPad::fromVialDefinitionFile(home.path() / "missing.json").has_value());
    // Text is never taken for a path, so a definition cannot make the emulator read a file.
    EXPECT_FALSE(VirtualPad::fromVialDefinitionText(def.string()).has_value());
}

TEST(MakeVirtualPad, StateFileAfterTheAt)
{
    test::TempHome home;
    const auto state = home.path() / "solo@state.json";
    {
        auto pad = makeVirtualPad("solodial@" + state.string());
        ASSERT_TRUE(pad.has_value()) << pad.error().message;
        (*pad)->receive(report({0x05, 1, 0, 0, 0x00, 0x2C}));
    }
    auto pad = makeVirtualPad("solodial@" + state.string());
    ASSERT_TRUE(pad.has_value());
    EXPECT_EQ((*pad)->stateFile(), state);
    EXPECT_EQ((*pad)->keycode(1, 0, 0), 0x002C);

    // A definition whose own path holds an '@'.
    const auto def = home.path() / "pad@2" / "vial.json";
    test::writeText(def, R"({"matrix": {"rows": 1, "cols": 1}, "layouts": {"keymap": [["0,0"]]}})");
    const auto fromDef = makeVirtualPad(def.string() + "@" + (home.path() / "s.json").string());
    ASSERT_TRUE(fromDef.has_value()) << fromDef.error().message;
    EXPECT_EQ((*fromDef)->stateFile(), home.path() / "s.json");
    EXPECT_TRUE(makeVirtualPad(def.string()).has_value());
}

TEST(MakeVirtualPad, LatencyFromTheEnvironment)
{
    const char* name = "KEYGLASS_VIRTUAL_LATENCY_US";
    ::setenv(name, "1500", 1);
    EXPECT_EQ(virtualLatencyFromEnvironment(), Duration(1500));
    EXPECT_EQ((*makeVirtualPad("quadgrid"))->latency(), Duration(1500));
    ::setenv(name, "99999999", 1);
    EXPECT_EQ(virtualLatencyFromEnvironment(), Duration(1'000'000));
    for (const char* bad : {"", "fast", "-5", "12us"}) {
        ::setenv(name, bad, 1);
        EXPECT_EQ(virtualLatencyFromEnvironment(), std::nullopt) << bad;
    }
    ::unsetenv(name);
    EXPECT_EQ(virtualLatencyFromEnvironment(), std::nullopt);
    EXPECT_EQ((*makeVirtualPad("quadgrid"))->latency(), Duration(0));
}

const char* const MacropadDefinition = R"({
  "name": "Test Pad",
  "vendorId": "0x1234",
  "productId": "0xABCD",
  "matrix": {"rows": 3, "cols": 3},
  "lighting": "qmk_backlight_rgblight",
  "layouts": {
    "labels": ["unused"],
    "keymap": [
      {"name": "metadata"},
      ["0,0", {"w": 2}, "0,1", "0,2\n\n\n\n\n\n\n\n\ne"],
      [{"d": true}, "logo", "1,0", "1,1\n\n\n\ne", "1,0\n\n\n\ne"],
      ["2,2", "2,a", "1,2,3", " 2,0 ", "9,9"]
    ]
  }
})";

TEST(VialDefinitionPad, KeysAndEncodersComeFromTheLegends)
{
    const auto made = VirtualPad::fromVialDefinitionText(MacropadDefinition);
    ASSERT_TRUE(made.has_value()) << made.error().message;
    auto& pad = **made;
    EXPECT_EQ(pad.identifier(), "1234:ABCD");
    EXPECT_EQ(pad.config().product, "Test Pad");
    EXPECT_EQ(pad.config().viaVersion, 9);
    EXPECT_EQ(pad.config().vialVersion, 6u);
    EXPECT_EQ(pad.layerCount(), 4);
    EXPECT_EQ(pad.config().lighting, LightingDialect::legacyRgblight);
    EXPECT_EQ(pad.encoderCount(), 2);

    // Keys named by the layout: 0,0 0,1 1,0 2,2 2,0. Cells 0,2 and 1,1 are only encoder legends,
    // 2,1 and 1,2 are not named, 9,9 is outside the matrix.
    for (auto [r, c] : {std::pair{0, 0}, {0, 1}, {1, 0}, {2, 2}, {2, 0}})
        for (int l = 0; l < 4; ++l)
            EXPECT_NE(pad.keycode(l, r, c), 0) << l << ":" << r << "," << c;
    for (auto [r, c] : {std::pair{0, 2}, {1, 1}, {2, 1}, {1, 2}})
        EXPECT_EQ(pad.keycode(0, r, c), 0) << r << "," << c;
    EXPECT_EQ(pad.keycode(0, 0, 0), 0x001E);
    EXPECT_EQ(pad.keycode(0, 0, 1), 0x001F);
    EXPECT_NE(pad.encoder(0, 1, true), 0);

    const auto size = pad.answer(report({0xFE, 0x01}));
    EXPECT_EQ(size[0] | size[1] << 8, static_cast<int>(pad.compressedDefinition().size()));
    const auto id = pad.answer(report({0xFE, 0x00}));
    EXPECT_NE(id[4] | id[5] | id[6] | id[7] | id[8] | id[9] | id[10] | id[11], 0);
}

TEST(VialDefinitionPad, SingleKnobOverSingleKeyClicksIt)
{
    const auto made = VirtualPad::fromVialDefinitionText(
        R"({"matrix": {"rows": 1, "cols": 1}, "layouts": {"keymap": [["0,0\n\n\n\ne", "0,1\n\n\n\ne"], ["0,0"]]}})");
    ASSERT_TRUE(made.has_value());
    auto& pad = **made;
    int presses = 0;
    pad.setInputSink([&](const VirtualPad&, std::uint16_t, std::uint16_t, std::int32_t value) { presses += value; });
    EXPECT_TRUE(pad.click(0));
    EXPECT_EQ(presses, 1);
    EXPECT_EQ(pad.identifier(), "4B47:0001");
}

TEST(VialDefinitionPad, RejectsDefinitionsWithoutAUsableMatrix)
{
    for (const char* text : {"",
                             "[]",
                             "{\"matrix\": 3}",
                             "{\"matrix\": {\"rows\": 2}}",
                             "{\"matrix\": {\"rows\": 2, \"cols\": \"4\"}}",
                             "{\"matrix\": {\"rows\": 0, \"cols\": 4}}",
                             "{\"matrix\": {\"rows\": 2, \"cols\": 300}}"}) {
        EXPECT_FALSE(VirtualPad::fromVialDefinitionText(text).has_value()) << text;
    }
    // A layout that is not a list, or odd ids, still makes a pad (with no keys, default ids).
    const auto odd = VirtualPad::fromVialDefinitionText(
        R"({"matrix": {"rows": 1, "cols": 1}, "vendorId": "0x1FFFF", "productId": 7, "layouts": {"keymap": 5}})");
    ASSERT_TRUE(odd.has_value());
    EXPECT_EQ((*odd)->identifier(), "4B47:0007");
    EXPECT_EQ((*odd)->keycode(0, 0, 0), 0);
}

TEST(VialDefinitionPad, CorpusDefinitionsServeWhatTheyWereMadeFrom)
{
    const auto corpus = test::sharedCorpusDir();
    if (corpus.empty())
        GTEST_SKIP() << "shared corpus not present";
    int made = 0, files = 0;
    std::error_code ec;
    for (auto it = std::filesystem::recursive_directory_iterator(corpus, ec);
         !ec && it != std::filesystem::recursive_directory_iterator() && files < 400;
         it.increment(ec)) {
        if (it->path().extension() != ".json")
            continue;
        ++files;
        auto pad = VirtualPad::fromVialDefinitionFile(it->path());
        if (!pad)
            continue; // presets, backups and other JSON files
        ++made;
        const auto size = (*pad)->answer(report({0xFE, 0x01}));
        EXPECT_EQ(size[0] | size[1] << 8 | size[2] << 16, static_cast<int>((*pad)->compressedDefinition().size()))
            << it->path();
        EXPECT_GT((*pad)->compressedDefinition().size(), 60u) << it->path();
    }
    if (made == 0)
        GTEST_SKIP() << "no Vial definition in the shared corpus";
}

} // namespace
} // namespace keyglass
