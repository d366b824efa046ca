#include "support/SimTestHelpers.h"

#include "sim/DemoPads.h"
#include "sim/VirtualPad.h"
#include "support/TempHome.h"

#include <gtest/gtest.h>

namespace keyglass {
namespace {

using test::report;

TEST(EepromWrites, SetKeycodeEchoesAndStoresBigEndian)
{
    auto pad = makeQuadgrid();
    const auto request = report({0x05, 2, 3, 1, 0x12, 0x34});
    EXPECT_EQ(pad->answer(request), request);
    EXPECT_EQ(pad->keycode(2, 3, 1), 0x1234);
}

TEST(EepromWrites, OutOfRangeWritesChangeNothing)
{
    auto pad = makeQuadgrid();
    const auto before = pad->stateJson();
    for (const auto& r : {report({0x05, 4, 0, 0, 0x12, 0x34}),
                          report({0x05, 0, 5, 0, 0x12, 0x34}),
                          report({0x05, 0, 0, 4, 0x12, 0x34}),
                          report({0x15, 0, 3, 0, 0x12, 0x34}),
                          report({0x15, 4, 0, 1, 0x12, 0x34}),
                          report({0x13, 0, 160, 4, 1, 2, 3, 4})}) {
        EXPECT_EQ(pad->answer(r), r);
    }
    EXPECT_EQ(pad->stateJson(), before);
}

TEST(EepromWrites, BulkBufferWritesSpanKeycodes)
{
    auto pad = makeQuadgrid();
    // Offset 1 starts in the low byte of the first keycode.
    pad->answer(report({0x13, 0, 1, 3, 0x11, 0x22, 0x33}));
    EXPECT_EQ(pad->keycode(0, 0, 0), 0x0011);
    EXPECT_EQ(pad->keycode(0, 0, 1), 0x2233);
}

TEST(EepromWrites, EncodersByDirection)
{
    auto pad = makeQuadgrid();
    pad->answer(report({0x15, 1, 2, 0, 0x01, 0x02}));
    pad->answer(report({0x15, 1, 2, 1, 0x03, 0x04}));
    EXPECT_EQ(pad->encoder(1, 2, false), 0x0102);
    EXPECT_EQ(pad->encoder(1, 2, true), 0x0304);

    auto vial = makeSolodial();
    vial->answer(report({0xFE, 0x04, 2, 0, 0, 0x05, 0x06}));
    vial->answer(report({0xFE, 0x04, 2, 0, 9, 0x07, 0x08}));
    EXPECT_EQ(vial->encoder(2, 0, false), 0x0506);
    EXPECT_EQ(vial->encoder(2, 0, true), 0x0708);
}

TEST(EepromWrites, TapDanceSetReadsPayloadFromByte4)
{
    auto pad = makeSolodial();
    const auto a =
        pad->answer(report({0xFE, 0x0D, 0x02, 5, 0x04, 0x00, 0x05, 0x01, 0x06, 0x00, 0x07, 0x00, 0x2C, 0x01}));
    EXPECT_EQ(a[0], 0);
    EXPECT_EQ(pad->tapDance(5), (TapDanceData{0x0004, 0x0105, 0x0006, 0x0007, 300}));
    EXPECT_EQ(pad->answer(report({0xFE, 0x0D, 0x02, 8}))[0], 0xFF);
}

TEST(EepromWrites, ResetRestoresFactoryKeymapAndClearsVialEntries)
{
    auto pad = makeSolodial();
    pad->answer(report({0x05, 0, 0, 0, 0x00, 0x04}));
    pad->answer(report({0xFE, 0x04, 0, 0, 1, 0x00, 0x04}));
    pad->answer(report({0x06}));
    EXPECT_EQ(pad->keycode(0, 0, 0), 0x5700);
    EXPECT_EQ(pad->encoder(0, 0, true), 0x00A9);
    EXPECT_EQ(pad->tapDance(0), (TapDanceData{0, 0, 0, 0, 200}));
}

TEST(EepromWrites, MacroBufferReadsZeroPastItsEnd)
{
    auto pad = makeQuadgrid();
    pad->answer(report({0x0F, 0x01, 0xFE, 4, 'a', 'b', 'c', 'd'}));
    const auto a = pad->answer(report({0x0E, 0x01, 0xFE, 4, 0xEE, 0xEE, 0xEE, 0xEE}));
    EXPECT_EQ(a[4], 'a');
    EXPECT_EQ(a[5], 'b');
    EXPECT_EQ(a[6], 0);
    EXPECT_EQ(a[7], 0);
}

class StateFile : public ::testing::Test
{
protected:
    test::TempHome home;
    std::filesystem::path file = home.path() / "pads" / "quadgrid.json";
};

TEST_F(StateFile, WritesSurviveIntoTheNextRun)
{
    {
        auto pad = makeQuadgrid();
        pad->attachStateFile(file);
        pad->answer(report({0x05, 1, 0, 0, 0x00, 0x04}));
        pad->answer(report({0x15, 0, 0, 1, 0x00, 0x80}));
        ASSERT_TRUE(std::filesystem::exists(file));
    }
    auto next = makeQuadgrid();
    next->attachStateFile(file);
    EXPECT_EQ(next->keycode(1, 0, 0), 0x0004);
    EXPECT_EQ(next->encoder(0, 0, true), 0x0080);
    EXPECT_EQ(next->keycode(0, 0, 0), 0x00AC);
}

TEST_F(StateFile, ExchangeSavesOnlyAfterEepromWrites)
{
    auto pad = makeSolodial();
    pad->attachStateFile(file);
    pad->receive(report({0x01}));
    pad->receive(report({0x07, 0x80, 10})); // lighting change without save stays in RAM
    EXPECT_FALSE(std::filesystem::exists(file));
    pad->receive(report({0xFE, 0x0D, 0x02, 1, 0x04, 0x00}));
    ASSERT_TRUE(std::filesystem::exists(file));

    auto next = makeSolodial();
    next->attachStateFile(file);
    EXPECT_EQ(next->tapDance(1).onTap, 0x0004);
    EXPECT_EQ(next->lighting().brightness, 200);

    pad->receive(report({0x09}));
    auto third = makeSolodial();
    third->attachStateFile(file);
    EXPECT_EQ(third->lighting().brightness, 10);
    EXPECT_TRUE(third->lightingPersisted());
}

TEST_F(StateFile, GarbageMeansFreshEeprom)
{
    const auto fresh = makeQuadgrid()->stateJson();
    auto wrongMatrix = makeSolodial()->stateJson();
    auto truncated = fresh.substr(0, fresh.size() / 2);
    auto badKeycode = fresh;
    badKeycode.replace(badKeycode.find("172"), 3, "70000");
    for (const std::string& text : {std::string("\x01\x02garbage"),
                                    std::string("[]"),
                                    std::string("{\"format\":\"keyglass-virtual-pad-eeprom\"}"),
                                    wrongMatrix,
                                    truncated,
                                    badKeycode}) {
        test::writeText(file, text);
        auto pad = makeQuadgrid();
        EXPECT_FALSE(pad->loadState(file).has_value());
        pad->attachStateFile(file);
        EXPECT_EQ(pad->stateJson(), fresh);
        // The next write replaces the garbage with a readable file.
        pad->receive(report({0x05, 0, 0, 0, 0x00, 0x05}));
        auto next = makeQuadgrid();
        EXPECT_TRUE(next->loadState(file).has_value());
        EXPECT_EQ(next->keycode(0, 0, 0), 0x0005);
    }
}

TEST_F(StateFile, MissingFileIsFreshAndNotCreatedByReads)
{
    auto pad = makeQuadgrid();
    pad->attachStateFile(file);
    EXPECT_EQ(pad->keycode(0, 0, 0), 0x00AC);
    pad->receive(report({0x12, 0, 0, 28}));
    EXPECT_FALSE(std::filesystem::exists(file));
}

} // namespace
} // namespace keyglass
