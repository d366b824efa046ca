#include "platform/Desktop.h"
#include "skins/HardwareSkinManifest.h"
#include "skins/SkinGeometry.h"
#include "skins/SkinLookup.h"
#include "support/TempHome.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <filesystem>

using namespace keyglass;
using namespace keyglass::test;
namespace fs = std::filesystem;
using json = nlohmann::json;

namespace {

json minimalManifest(const std::string& id = "quadgrid")
{
    return json{{"id", id},
                {"name", "QuadGrid"},
                {"aspectRatio", 1.25},
                {"colorways",
                 {{{"id", "graphite"},
                   {"name", "Graphite"},
                   {"swatchHex", "#3b3f48"},
                   {"imageFile", "graphite.png"},
                   {"lightKeycaps", false}},
                  {{"id", "arctic"},
                   {"name", "Arctic"},
                   {"swatchHex", "#f4f2ec"},
                   {"imageFile", "arctic.png"},
                   {"lightKeycaps", true}}}},
                {"keys", {{{"row", 0}, {"col", 1}, {"x", 0.1}, {"y", 0.2}, {"w", 0.1}, {"h", 0.1}}}},
                {"encoders", {{{"index", 0}, {"cx", 0.8}, {"cy", 0.5}, {"r", 0.1}, {"isFlushWheel", false}}}},
                {"leds", {{{"cx", 0.7}, {"cy", 0.1}, {"r", 0.01}}}}};
}

void writeSkin(const fs::path& folder, const json& manifest)
{
    fs::create_directories(folder);
    writeText(folder / "skin.json", manifest.dump());
}

DeviceModel device(const std::string& id, const std::string& product, int encoders, int keys)
{
    DeviceModel d;
    d.id = id;
    d.product = product;
    for (int e = 0; e < encoders; ++e)
        d.encoders.push_back(PhysicalEncoder{e, "", std::nullopt, std::nullopt});
    for (int k = 0; k < keys; ++k) {
        PhysicalKey key;
        key.row = 0;
        key.col = k;
        d.keys.push_back(key);
    }
    return d;
}

DeviceModel quadgridDevice()
{
    return device("1A86:FE16", "QuadGrid Macropad", 3, 16);
}

} // namespace

TEST(SkinManifest, DecodesEveryMemberAndTheOptionalLayerButton)
{
    const auto manifest = decodeSkinManifest(minimalManifest().dump());
    ASSERT_TRUE(manifest) << manifest.error().message;
    EXPECT_EQ(manifest->id, "quadgrid");
    EXPECT_DOUBLE_EQ(manifest->aspectRatio, 1.25);
    ASSERT_EQ(manifest->colorways.size(), 2u);
    EXPECT_TRUE(manifest->colorways[1].lightKeycaps);
    EXPECT_EQ(manifest->keys[0], (SkinKeySlot{0, 1, 0.1, 0.2, 0.1, 0.1}));
    EXPECT_EQ(manifest->encoders[0], (SkinEncoderSlot{0, 0.8, 0.5, 0.1, false}));
    EXPECT_FALSE(manifest->layerButton);

    json withButton = minimalManifest();
    withButton["layerButton"] = {{"cx", 0.5}, {"cy", 0.9}, {"r", 0.04}};
    const auto decoded = decodeSkinManifest(withButton.dump());
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->layerButton, (SkinCircleSpot{0.5, 0.9, 0.04}));

    withButton["layerButton"] = nullptr;
    const auto withNull = decodeSkinManifest(withButton.dump());
    ASSERT_TRUE(withNull) << withNull.error().message;
    EXPECT_FALSE(withNull->layerButton);
}

TEST(SkinManifest, AMissingMemberOrAWrongTypeDoesNotDecode)
{
    struct Case
    {
        const char* what;
        std::function<void(json&)> spoil;
    };
    const std::vector<Case> cases = {
        {"no leds", [](json& j) { j.erase("leds"); }},
        {"no id", [](json& j) { j.erase("id"); }},
        {"no colorways", [](json& j) { j.erase("colorways"); }},
        {"aspect as text", [](json& j) { j["aspectRatio"] = "1.25"; }},
        {"keys not an array", [](json& j) { j["keys"] = json::object(); }},
        {"row as a double", [](json& j) { j["keys"][0]["row"] = 0.5; }},
        {"key without h", [](json& j) { j["keys"][0].erase("h"); }},
        {"lightKeycaps as a number", [](json& j) { j["colorways"][0]["lightKeycaps"] = 1; }},
        {"colorway without imageFile", [](json& j) { j["colorways"][1].erase("imageFile"); }},
        {"flush wheel flag missing", [](json& j) { j["encoders"][0].erase("isFlushWheel"); }},
        {"led not an object", [](json& j) { j["leds"][0] = 3; }},
        {"layer button of the wrong type",
         [](json& j) {
             j["layerButton"] = json::array({0.5, 0.9, 0.04});
         }},
        {"layer button without r",
         [](json& j) {
             j["layerButton"] = {{"cx", 0.5}, {"cy", 0.9}};
         }},
        {"zero aspect ratio", [](json& j) { j["aspectRatio"] = 0; }},
        {"negative aspect ratio", [](json& j) { j["aspectRatio"] = -1.0; }},
        {"huge row", [](json& j) { j["keys"][0]["row"] = 1e12; }},
        {"not an object", [](json& j) { j = json::array(); }},
    };
    for (const auto& c : cases) {
        json j = minimalManifest();
        c.spoil(j);
        const auto manifest = decodeSkinManifest(j.dump());
        EXPECT_FALSE(manifest) << c.what;
        if (!manifest) {
            EXPECT_FALSE(manifest.error().message.empty()) << c.what;
        }
    }
}

TEST(SkinManifest, HostileTextIsRefusedBeforeParsing)
{
    EXPECT_FALSE(decodeSkinManifest(std::string(100000, '[') + std::string(100000, ']')));
    EXPECT_FALSE(decodeSkinManifest(std::string(MaxSkinManifestBytes + 1, ' ')));
    EXPECT_FALSE(decodeSkinManifest("{\"id\": \"unterminated"));
    EXPECT_FALSE(decodeSkinManifest(""));
    // Brackets inside strings are text, not nesting.
    json j = minimalManifest();
    j["name"] = std::string(200, '[');
    EXPECT_TRUE(decodeSkinManifest(j.dump()));
}

TEST(SkinManifest, ColorwayChoiceFallsBackToTheFirst)
{
    const auto manifest = *decodeSkinManifest(minimalManifest().dump());
    EXPECT_EQ(selectedColorway(manifest, "arctic")->id, "arctic");
    EXPECT_EQ(selectedColorway(manifest, "no-such-colorway")->id, "graphite");
    EXPECT_EQ(selectedColorway(manifest, "")->id, "graphite");
    HardwareSkinManifest empty = manifest;
    empty.colorways.clear();
    EXPECT_EQ(selectedColorway(empty, "graphite"), nullptr);
}

TEST(SkinManifest, ImageFilesStayInsideTheSkinFolder)
{
    const fs::path folder = "/skins/quadgrid";
    SkinColorway c;
    for (const auto& [name, inside] : std::vector<std::pair<std::string, bool>>{{"graphite.png", true},
                                                                                {"img/graphite.png", true},
                                                                                {"../other/x.png", false},
                                                                                {"/etc/passwd", false},
                                                                                {"a/../../x.png", false},
                                                                                {"", false}}) {
        c.imageFile = name;
        const auto path = colorwayImagePath(folder, c);
        EXPECT_EQ(path.has_value(), inside) << name;
        if (path) {
            EXPECT_EQ(*path, folder / name);
        }
    }
}

class SkinLookupTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        forgetLoggedSkinLookups();
        roots.user = home.path() / "user";
        roots.bundles = {home.path() / "bundleA", home.path() / "bundleB"};
    }
    TempHome home;
    SkinRoots roots;
};

TEST_F(SkinLookupTest, TheUserFolderNamedByDeviceIdComesFirst)
{
    writeSkin(roots.user / "quadgrid", minimalManifest("by-skin-id"));
    writeSkin(roots.user / "1A86_FE16", minimalManifest("by-device-id"));
    writeSkin(roots.bundles[0] / "quadgrid", minimalManifest("bundle"));
    LogCapture log;
    auto skin = findSkin(quadgridDevice(), roots);
    ASSERT_TRUE(skin);
    EXPECT_EQ(skin->manifest.id, "by-device-id");
    EXPECT_EQ(skin->folder, roots.user / "1A86_FE16");
    EXPECT_TRUE(log.contains("Skin loaded (user): " + (roots.user / "1A86_FE16").string()));

    // A broken manifest in the first candidate falls through silently to the next one.
    writeText(roots.user / "1A86_FE16" / "skin.json", "{ not json");
    skin = findSkin(quadgridDevice(), roots);
    ASSERT_TRUE(skin);
    EXPECT_EQ(skin->manifest.id, "by-skin-id");
}

TEST_F(SkinLookupTest, ABundleSkinIsFoundBySkinIdOnly)
{
    writeSkin(roots.bundles[0] / "1A86_FE16", minimalManifest("by-device-id"));
    writeSkin(roots.bundles[1] / "quadgrid", minimalManifest("bundle-b"));
    LogCapture log;
    const auto skin = findSkin(quadgridDevice(), roots);
    ASSERT_TRUE(skin);
    EXPECT_EQ(skin->manifest.id, "bundle-b");
    EXPECT_TRUE(log.contains("Skin loaded (bundle): " + (roots.bundles[1] / "quadgrid").string()));
}

TEST_F(SkinLookupTest, EachOutcomeIsLoggedOncePerDeviceButLookedUpEveryTime)
{
    writeSkin(roots.bundles[0] / "quadgrid", minimalManifest("first"));
    LogCapture log;
    ASSERT_TRUE(findSkin(quadgridDevice(), roots));
    // No caching: a changed file is read on the next lookup.
    writeSkin(roots.bundles[0] / "quadgrid", minimalManifest("second"));
    const auto again = findSkin(quadgridDevice(), roots);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->manifest.id, "second");
    EXPECT_EQ(std::count_if(log.lines().begin(),
                            log.lines().end(),
                            [](const std::string& l) { return l.find("Skin loaded") != std::string::npos; }),
              1);

    // A miss is logged once with the bundle roots it checked.
    const DeviceModel solodial = device("5831:4249", "SoloDial", 1, 1);
    EXPECT_FALSE(findSkin(solodial, roots));
    EXPECT_FALSE(findSkin(solodial, roots));
    const std::string failed = "Skin lookup FAILED for solodial — checked: [\"" + roots.bundles[0].string() + "\", \"" +
                               roots.bundles[1].string() + "\"]";
    EXPECT_EQ(std::count_if(log.lines().begin(),
                            log.lines().end(),
                            [&](const std::string& l) { return l.find(failed) != std::string::npos; }),
              1);
}

TEST_F(SkinLookupTest, ADeviceWithoutAProfileHasNoSkin)
{
    writeSkin(roots.user / "ABCD_0001", minimalManifest("by-device-id"));
    LogCapture log;
    const DeviceModel odd = device("ABCD:0001", "Knobby", 1, 3);
    EXPECT_FALSE(skinID(odd));
    EXPECT_FALSE(findSkin(odd, roots));
    EXPECT_FALSE(findSkin(odd, roots));
    const std::string line = "Skin lookup: no skinID for Knobby (ABCD:0001, enc=1, keys=3)";
    EXPECT_EQ(std::count_if(log.lines().begin(),
                            log.lines().end(),
                            [&](const std::string& l) { return l.find(line) != std::string::npos; }),
              1);
}

TEST_F(SkinLookupTest, CandidatesAreTheDeviceIdThenTheSkinId)
{
    EXPECT_EQ(userSkinCandidates(quadgridDevice(), "quadgrid"), (std::vector<std::string>{"1A86_FE16", "quadgrid"}));
    EXPECT_EQ(userSkinCandidates(device("../x", "Quad", 3, 16), "quadgrid"), (std::vector<std::string>{"quadgrid"}));
}

TEST_F(SkinLookupTest, OpeningTheSkinsFolderCreatesItFirst)
{
    ScriptedDesktop desktop;
    const fs::path folder = home.path() / "data" / "Keyglass" / "Skins";
    openSkinsFolder(desktop, folder);
    EXPECT_TRUE(fs::is_directory(folder));
    ASSERT_EQ(desktop.foldersOpened.size(), 1u);
    EXPECT_EQ(desktop.foldersOpened[0], folder);

    // A folder that cannot be made is still asked for.
    writeText(home.path() / "blocker", "a file");
    openSkinsFolder(desktop, home.path() / "blocker" / "Skins");
    EXPECT_EQ(desktop.foldersOpened.size(), 2u);
}

TEST(SkinBundles, TheShippedSkinsDecodeAndMatchTheDemoPads)
{
    const fs::path root = fs::path(KG_SOURCE_DIR) / "resources" / "Skins";
    for (const auto& [id, keys, encoders] :
         std::vector<std::tuple<std::string, std::size_t, std::size_t>>{{"quadgrid", 16, 3}, {"solodial", 0, 1}}) {
        const auto manifest = readSkinManifest(root / id / "skin.json");
        ASSERT_TRUE(manifest) << id << ": " << manifest.error().message;
        EXPECT_EQ(manifest->id, id);
        EXPECT_EQ(manifest->keys.size(), keys) << id;
        EXPECT_EQ(manifest->encoders.size(), encoders) << id;
        EXPECT_GE(manifest->colorways.size(), 2u) << id;
        EXPECT_TRUE(manifest->layerButton) << id;
        for (const auto& c : manifest->colorways)
            EXPECT_TRUE(fs::is_regular_file(root / id / c.imageFile)) << c.imageFile;
    }
}

TEST(SkinGeometry, SlotsScaleWithTheDrawnSize)
{
    const SkinRect key = skinKeyRect(SkinKeySlot{0, 0, 0.1, 0.2, 0.1, 0.1}, 400, 300);
    EXPECT_DOUBLE_EQ(key.centerX(), 60);
    EXPECT_DOUBLE_EQ(key.centerY(), 75);
    EXPECT_DOUBLE_EQ(key.w, 40);
    EXPECT_DOUBLE_EQ(key.h, 30);

    // Circles take their radius from the height: a round knob stays round on a wide photograph.
    const SkinRect knob = skinCircleRect(0.5, 0.5, 0.1, 400, 300);
    EXPECT_DOUBLE_EQ(knob.centerX(), 200);
    EXPECT_DOUBLE_EQ(knob.centerY(), 150);
    EXPECT_DOUBLE_EQ(knob.w, 60);
    EXPECT_DOUBLE_EQ(knob.h, 60);

    EXPECT_EQ(fitAspect(400, 400, 1.25), (SkinRect{0, 40, 400, 320}));
    EXPECT_EQ(fitAspect(400, 200, 1.0), (SkinRect{100, 0, 200, 200}));
    EXPECT_EQ(fitAspect(400, 200, 0), SkinRect{});
}

TEST(SkinGeometry, KeycodesAndLayerCycling)
{
    DeviceModel d;
    d.keymap = {{{1, 2}, {3, 4}}, {{5, 6}, {7, 8}}};
    EXPECT_EQ(skinKeycode(d, 1, SkinKeySlot{1, 0, 0, 0, 0, 0}), 7);
    EXPECT_EQ(skinKeycode(d, 2, SkinKeySlot{0, 0, 0, 0, 0, 0}), 0);
    EXPECT_EQ(skinKeycode(d, 0, SkinKeySlot{0, 5, 0, 0, 0, 0}), 0);
    EXPECT_EQ(skinKeycode(d, 0, SkinKeySlot{-1, 0, 0, 0, 0, 0}), 0);

    for (const auto& [active, count, next] :
         std::vector<std::tuple<int, int, int>>{{0, 4, 1}, {3, 4, 0}, {0, 1, 0}, {0, 0, 0}, {2, -1, 0}, {1, 2, 0}}) {
        EXPECT_EQ(nextSkinLayer(active, count), next) << active << " of " << count;
    }
}

TEST(SkinGeometry, GlowFigures)
{
    struct Case
    {
        RGBProtocolKind kind;
        int brightness, effect;
        double glow;
    };
    const RGBProtocolKind some = RGBProtocolKind::qmkRgblight;
    for (const auto& c : std::vector<Case>{
             {some, 255, 1, 0.54},
             {some, 0, 1, 0.18},   // off: raised to the floor
             {some, 255, 0, 0.18}, // effect off
             {some, 51, 1, 0.2},   // 51/255 × 0.42 + 0.12 = 0.204
             {some, 10, 1, 0.18},  // dim light under the floor
             {RGBProtocolKind::none, 255, 1, 0.14},
         }) {
        RGBState rgb;
        rgb.kind = c.kind;
        rgb.brightness = std::uint8_t(c.brightness);
        rgb.effect = std::uint8_t(c.effect);
        EXPECT_NEAR(glowOpacity(rgb), c.glow, 0.005) << c.brightness << "/" << c.effect;
    }
    EXPECT_NEAR(glowStrokeOpacity(0.14), 0.29, 1e-9);
    EXPECT_NEAR(glowStrokeOpacity(0.54), 0.69, 1e-9);
    EXPECT_NEAR(glowStrokeOpacity(0.8), 0.85, 1e-9);
    EXPECT_DOUBLE_EQ(GlowStrokeWidth, 1.5);
    EXPECT_DOUBLE_EQ(GlowCornerRadius, 14);

    RGBState rgb;
    rgb.hue = 51;
    rgb.sat = 255;
    const GlowColor color = glowColor(rgb);
    EXPECT_DOUBLE_EQ(color.hue, 0.2);
    EXPECT_DOUBLE_EQ(color.saturation, 1.0);
    EXPECT_DOUBLE_EQ(color.value, 1.0);
}
