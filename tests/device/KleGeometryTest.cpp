// Rotation, second rectangles, option legends and VIA knob legends of the layout walk.

#include "device/KleLayout.h"

#include <gtest/gtest.h>

namespace keyglass::test {
namespace {

using json = nlohmann::json;

ParsedLayout parse(const char* text)
{
    return parseLayout(json::parse(text));
}

const PhysicalKey& keyAt(const ParsedLayout& layout, const std::string& id)
{
    for (const auto& key : layout.keys)
        if (key.id == id)
            return key;
    ADD_FAILURE() << "no key " << id;
    static const PhysicalKey none;
    return none;
}

TEST(KleRotation, OriginMovesTheCursorAndRotationHoldsAcrossRows)
{
    // The thumb cluster of a split board: a rotation origin, then two rows under the same rotation.
    const auto layout = parse(R"([
        ["0,0"],
        [{"r": 30, "rx": 6.5, "ry": 4.25, "y": -1, "x": 1}, "1,0", "1,1"],
        [{"h": 2}, "2,0", "2,1"],
        [{"r": 0, "rx": 0, "ry": 0, "y": 7}, "3,0"]
    ])");
    const auto& a = keyAt(layout, "r1c0");
    EXPECT_DOUBLE_EQ(a.x, 7.5);  // rx + 1
    EXPECT_DOUBLE_EQ(a.y, 3.25); // ry - 1
    EXPECT_DOUBLE_EQ(a.r, 30);
    EXPECT_DOUBLE_EQ(a.rx, 6.5);
    EXPECT_DOUBLE_EQ(a.ry, 4.25);
    EXPECT_DOUBLE_EQ(keyAt(layout, "r1c1").x, 8.5);
    // The next row starts again at the origin's x, one row further down, still rotated.
    const auto& b = keyAt(layout, "r2c0");
    EXPECT_DOUBLE_EQ(b.x, 6.5);
    EXPECT_DOUBLE_EQ(b.y, 4.25);
    EXPECT_DOUBLE_EQ(b.r, 30);
    EXPECT_DOUBLE_EQ(b.h, 2);
    EXPECT_DOUBLE_EQ(keyAt(layout, "r2c1").h, 1);
    // Back to no rotation: the origin (0, 0) puts the cursor there before the offset.
    const auto& c = keyAt(layout, "r3c0");
    EXPECT_DOUBLE_EQ(c.x, 0);
    EXPECT_DOUBLE_EQ(c.y, 7);
    EXPECT_DOUBLE_EQ(c.r, 0);
    EXPECT_DOUBLE_EQ(keyAt(layout, "r0c0").r, 0);
}

TEST(KleRotation, SettingOnlyOneOriginAxisKeepsTheOtherOne)
{
    const auto layout = parse(R"([
        [{"rx": 2, "ry": 3}, "0,0"],
        [{"rx": 5, "x": 0.5}, "1,0"],
        [{"ry": 1}, "2,0"]
    ])");
    EXPECT_DOUBLE_EQ(keyAt(layout, "r0c0").x, 2);
    EXPECT_DOUBLE_EQ(keyAt(layout, "r0c0").y, 3);
    // rx alone: x to the new origin (then the offset), y back to the origin's y.
    EXPECT_DOUBLE_EQ(keyAt(layout, "r1c0").x, 5.5);
    EXPECT_DOUBLE_EQ(keyAt(layout, "r1c0").y, 3);
    EXPECT_DOUBLE_EQ(keyAt(layout, "r2c0").x, 5);
    EXPECT_DOUBLE_EQ(keyAt(layout, "r2c0").y, 1);
    EXPECT_DOUBLE_EQ(keyAt(layout, "r2c0").rx, 5);
}

TEST(KleSecondRectangle, IsoEnterAndSteppedCapsKeepTheirSecondRectangleForOneKeyOnly)
{
    const auto layout = parse(R"([
        [{"x": 12.75, "w": 1.25, "h": 2, "w2": 1.5, "h2": 1, "x2": -0.25}, "1,13", "1,14"],
        [{"w": 1.75, "w2": 1.25, "l": true}, "2,0", {"w": 2}, "2,1"]
    ])");
    const auto& enter = keyAt(layout, "r1c13");
    ASSERT_TRUE(enter.hasSecondary());
    EXPECT_DOUBLE_EQ(enter.w, 1.25);
    EXPECT_DOUBLE_EQ(enter.h, 2);
    EXPECT_DOUBLE_EQ(enter.x2, -0.25);
    EXPECT_DOUBLE_EQ(enter.y2, 0);
    EXPECT_DOUBLE_EQ(enter.w2, 1.5);
    EXPECT_DOUBLE_EQ(enter.h2, 1);
    EXPECT_FALSE(keyAt(layout, "r1c14").hasSecondary());
    EXPECT_DOUBLE_EQ(keyAt(layout, "r1c14").x, 14);

    const auto& caps = keyAt(layout, "r2c0");
    ASSERT_TRUE(caps.hasSecondary());
    EXPECT_DOUBLE_EQ(caps.w2, 1.25);
    EXPECT_DOUBLE_EQ(caps.h2, 1); // the height of the cap itself
    // A width alone is one rectangle.
    EXPECT_FALSE(keyAt(layout, "r2c1").hasSecondary());
}

TEST(KleOptionsAndKnobs, FourthLineNamesTheOptionAndEIndexMarksAViaKnob)
{
    const auto layout = parse(R"([[
        "0,0\n\n\n0,0", "0,1\n\n\n0,1", "0,2\n\n\n2,3\n\n\n\n\n\ne1", "0,3\n\n\nx,1", "0,4\n\n\n\n\n\n\n\n\ne",
        "0,5\n\n\n\n\n\n\n\n\ne0", "0,6\n\n\n\n\n\n\n\n\ne-1"
    ]])");
    EXPECT_EQ(keyAt(layout, "r0c0").option, (LayoutChoice{0, 0}));
    EXPECT_EQ(keyAt(layout, "r0c1").option, (LayoutChoice{0, 1}));
    EXPECT_EQ(keyAt(layout, "r0c2").option, (LayoutChoice{2, 3}));
    EXPECT_FALSE(keyAt(layout, "r0c3").option);
    // A bare "e" is a Vial knob legend: an encoder index, no key.
    EXPECT_EQ(layout.keys.size(), 6u);
    ASSERT_EQ(layout.encoders.size(), 3u);
    EXPECT_EQ(layout.encoders[0], (LayoutEncoder{1, 0, 2, LayoutChoice{2, 3}}));
    EXPECT_EQ(layout.encoders[1], (LayoutEncoder{0, std::nullopt, std::nullopt, std::nullopt}));
    EXPECT_EQ(layout.encoders[2], (LayoutEncoder{0, 0, 5, std::nullopt}));
    EXPECT_EQ(layout.encoderIndices, (std::vector<int>{0, 1}));
    const auto named = nameEncoders(layout);
    ASSERT_EQ(named.size(), 2u);
    EXPECT_EQ(named[0], (PhysicalEncoder{0, "Knob 0", 0, 5}));
    EXPECT_EQ(named[1], (PhysicalEncoder{1, "Knob 1", 0, 2}));
}

TEST(KleLimits, AbsurdCoordinatesAndSizesAreIgnoredNotDrawn)
{
    const auto layout = parse(R"([[{"x": 1e300}, "0,0", {"w": -2, "h": 0}, "0,1", {"w": 1e9, "r": 7e10}, "0,2",
                                 {"rx": 1e6, "x2": 1e5, "w2": 40}, "0,3"]])");
    EXPECT_DOUBLE_EQ(keyAt(layout, "r0c0").x, 0);
    EXPECT_DOUBLE_EQ(keyAt(layout, "r0c1").w, 1);
    EXPECT_DOUBLE_EQ(keyAt(layout, "r0c1").h, 1);
    EXPECT_DOUBLE_EQ(keyAt(layout, "r0c2").w, 1);
    EXPECT_GT(keyAt(layout, "r0c2").r, -360);
    EXPECT_LT(keyAt(layout, "r0c2").r, 360);
    EXPECT_DOUBLE_EQ(keyAt(layout, "r0c3").rx, 0);
    EXPECT_FALSE(keyAt(layout, "r0c3").hasSecondary());
    for (const auto& key : layout.keys)
        EXPECT_LE(std::fabs(key.x), MaxLayoutCoordinate) << key.id;
}

} // namespace
} // namespace keyglass::test
