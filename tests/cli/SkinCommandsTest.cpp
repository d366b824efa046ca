// keyglass-cli skin show and skin validate, run as a script would run them.

#include "platform/Paths.h"
#include "support/CliRunner.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace keyglass::test;
namespace fs = std::filesystem;

namespace {

const fs::path ShippedSkins = fs::path(KG_SOURCE_DIR) / "resources" / "Skins";

bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

// A skin.json with one LED, the given colorway image and the given keys (one by default).
std::string manifest(const std::string& imageFile, const std::string& keys = R"([{"row": 0, "col": 0, "x": 0.1,
                         "y": 0.1, "w": 0.2, "h": 0.2}])")
{
    return R"({"id": "mine", "name": "Mine", "aspectRatio": 1.0,
               "colorways": [{"id": "a", "name": "A", "swatchHex": "#112233", "imageFile": ")" +
           imageFile + R"(", "lightKeycaps": false}],
               "keys": )" +
           keys + R"(, "encoders": [], "leds": [{"cx": 0.5, "cy": 0.5, "r": 0.02}]})";
}

} // namespace

TEST(CliSkin, ShowNamesTheFolderAPadGetsAndItsColorways)
{
    TempHome home;
    const auto shipped = runCli("--virtual quadgrid skin show 1a86:fe16");
    ASSERT_EQ(shipped.exitCode, 0) << shipped.err;
    EXPECT_EQ(shipped.out.substr(0, shipped.out.find('\n')), "folder: " + (ShippedSkins / "quadgrid").string());
    EXPECT_TRUE(contains(shipped.out, "colorway: graphite\tGraphite\t"));
    EXPECT_TRUE(contains(shipped.out, "colorway: arctic\tArctic\t"));

    // A user folder named by the device id comes before the shipped skin.
    const fs::path mine = keyglass::paths::userSkinsDir() / "1A86_FE16";
    writeText(mine / "skin.json", manifest("a.png"));
    const auto user = runCli("--virtual quadgrid skin show 1A86:FE16");
    ASSERT_EQ(user.exitCode, 0) << user.err;
    EXPECT_TRUE(contains(user.out, "folder: " + mine.string() + "\n")) << user.out;
    EXPECT_TRUE(contains(user.out, "colorway: a\tA\t#112233\ta.png\n"));

    const auto missing = runCli("--virtual quadgrid skin show 1234:5678");
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_TRUE(contains(missing.err, "no pad 1234:5678"));
    EXPECT_EQ(runCli("skin show").exitCode, 2);
}

TEST(CliSkin, ValidatePassesTheShippedSkinsAndNamesWhatIsWrong)
{
    TempHome home;
    for (const char* name : {"quadgrid", "solodial"}) {
        const auto result = runCli("skin validate '" + (ShippedSkins / name).string() + "'");
        EXPECT_EQ(result.exitCode, 0) << result.out << result.err;
        EXPECT_TRUE(contains(result.out, ": ok\n"));
    }

    struct Case
    {
        const char* folder;
        std::string skinJson; // empty: no skin.json at all
        const char* problem;
    };
    const std::vector<Case> cases = {
        {"no-manifest", "", "missing skin.json"},
        {"no-leds",
         R"({"id": "x", "name": "X", "aspectRatio": 1, "colorways": [], "keys": [], "encoders": []})",
         "invalid skin.json: skin.json lacks \"leds\""},
        {"no-image", manifest("a.png"), "colorway \"a\": missing image a.png"},
        {"escaping", manifest("../a.png"), "image \"../a.png\" is not inside the folder"},
        {"off-image",
         manifest("a.png", R"([{"row": 0, "col": 0, "x": 0.9, "y": 0.1, "w": 0.2, "h": 0.2}])"),
         "keys[0] is not inside the image"},
    };
    for (const auto& c : cases) {
        const fs::path folder = home.path() / c.folder;
        fs::create_directories(folder);
        if (!c.skinJson.empty())
            writeText(folder / "skin.json", c.skinJson);
        const auto result = runCli("skin validate '" + folder.string() + "'");
        EXPECT_EQ(result.exitCode, 1) << c.folder;
        EXPECT_TRUE(contains(result.out, c.problem)) << c.folder << ": " << result.out;
    }

    // An image that is no picture at all.
    const fs::path fake = home.path() / "fake";
    writeText(fake / "skin.json", manifest("a.png"));
    writeText(fake / "a.png", "not a picture");
    EXPECT_TRUE(contains(runCli("skin validate '" + fake.string() + "'").out, "a.png is not a PNG or JPEG image"));
    EXPECT_TRUE(contains(runCli("skin validate '" + (home.path() / "absent").string() + "'").out, "not a folder"));
}
