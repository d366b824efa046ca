#include "device/KleLayout.h"

#include <gtest/gtest.h>

namespace keyglass::test {
namespace {

using json = nlohmann::json;

ParsedLayout parseKle(const char* text)
{
    return parseLayout(json::parse(text));
}

struct Placed
{
    std::string id;
    double x, y, w, h;
    bool decal;
};

void expectKeys(const ParsedLayout& layout, const std::vector<Placed>& expected)
{
    ASSERT_EQ(layout.keys.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(layout.keys[i].id, expected[i].id);
        EXPECT_DOUBLE_EQ(layout.keys[i].x, expected[i].x);
        EXPECT_DOUBLE_EQ(layout.keys[i].y, expected[i].y);
        EXPECT_DOUBLE_EQ(layout.keys[i].w, expected[i].w);
        EXPECT_DOUBLE_EQ(layout.keys[i].h, expected[i].h);
        EXPECT_EQ(layout.keys[i].decal, expected[i].decal);
    }
}

TEST(KleLayout, WidthAppliesToTheNextLegendOnlyAndAdvancesX)
{
    expectKeys(parseKle(R"([["0,0", {"w": 2}, "0,1", "0,2"]])"),
               {{"r0c0", 0, 0, 1, 1, false}, {"r0c1", 1, 0, 2, 1, false}, {"r0c2", 3, 0, 1, 1, false}});
}

TEST(KleLayout, OffsetsAddUpAndRowsAdvanceByOnePlusY)
{
    expectKeys(parseKle(R"([[{"x": 0.5}, "1,3"], [{"y": 0.25, "h": 2}, "2,0", {"x": 1}, "2,1"], ["3,0"]])"),
               {{"r1c3", 0.5, 0, 1, 1, false},
                {"r2c0", 0, 1.25, 1, 2, false},
                {"r2c1", 2, 1.25, 1, 1, false},
                {"r3c0", 0, 2.25, 1, 1, false}});
}

TEST(KleLayout, MetadataObjectsAndOtherItemsDoNotMoveAnything)
{
    expectKeys(parseKle(R"([{"name": "pad"}, ["0,0", 7, null, true, ["x"], "0,1"], "stray", ["1,0"]])"),
               {{"r0c0", 0, 0, 1, 1, false}, {"r0c1", 1, 0, 1, 1, false}, {"r1c0", 0, 1, 1, 1, false}});
}

TEST(KleLayout, LegendsThatAreNotPositionsAddNothingButStillAdvance)
{
    const auto layout = parseKle(R"([["2,a", "1,2,3", "hello", " 0,1 \nlabel", "-", "0,2"]])");
    expectKeys(layout, {{"r0c1", 3, 0, 1, 1, false}, {"r0c2", 5, 0, 1, 1, false}});
}

TEST(KleLayout, EncoderLegendsNameIndicesAndAddNoKey)
{
    const auto layout = parseKle(R"([["0,1\n\n\n\ne", "0,0\n\n\n\ne", "3,1\ne ", "x,0\n\ne", "0,0"], ["1,0"]])");
    EXPECT_EQ(layout.encoderIndices, (std::vector<int>{0, 3}));
    expectKeys(layout, {{"r0c0", 4, 0, 1, 1, false}, {"r1c0", 0, 1, 1, 1, false}});
}

TEST(KleLayout, DecalsKeepTheirPositionOrBecomeR0C0)
{
    const auto layout = parseKle(R"([[{"d": true}, "logo", {"d": true, "w": 3}, "1,2", "0,0", {"d": "yes"}, "x"]])");
    expectKeys(layout, {{"r0c0", 0, 0, 1, 1, true}, {"r1c2", 1, 0, 3, 1, true}, {"r0c0", 4, 0, 1, 1, false}});
}

TEST(KleLayout, KeysAreSortedByYThenX)
{
    const auto layout = parseKle(R"([[{"x": 2}, "0,2", {"x": -3}, "0,0"], [{"y": -1.5}, "1,0"]])");
    expectKeys(layout, {{"r1c0", 0, -0.5, 1, 1, false}, {"r0c0", 0, 0, 1, 1, false}, {"r0c2", 2, 0, 1, 1, false}});
}

TEST(KleLayout, NonArrayKeymapGivesAnEmptyLayout)
{
    for (const char* text : {"{}", "null", "\"0,0\"", "[]"}) {
        const auto layout = parseKle(text);
        EXPECT_TRUE(layout.keys.empty()) << text;
        EXPECT_TRUE(layout.encoderIndices.empty()) << text;
    }
}

TEST(VialEncoderNaming, SingleKnobClicksTheOnlyRealKey)
{
    const PhysicalKey key{"r1c2", 1, 2, 0, 0, 1, 1, false};
    const PhysicalKey decal{"r0c0", 0, 0, 1, 0, 1, 1, true};
    const PhysicalKey other{"r0c1", 0, 1, 2, 0, 1, 1, false};

    const auto one = nameVialEncoders({0}, {key, decal});
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one[0], (PhysicalEncoder{0, "Knob", 1, 2}));

    const auto twoKeys = nameVialEncoders({5}, {key, other});
    EXPECT_EQ(twoKeys, (std::vector<PhysicalEncoder>{{5, "Knob", std::nullopt, std::nullopt}}));

    const auto several = nameVialEncoders({0, 2}, {key});
    EXPECT_EQ(several,
              (std::vector<PhysicalEncoder>{{0, "Knob 0", std::nullopt, std::nullopt},
                                            {2, "Knob 2", std::nullopt, std::nullopt}}));
    EXPECT_TRUE(nameVialEncoders({}, {key}).empty());
}

} // namespace
} // namespace keyglass::test
