#include "support/SimTestHelpers.h"

#include "sim/DemoPads.h"
#include "sim/VirtualPad.h"

#include <gtest/gtest.h>
#include <lzma.h>
#include <nlohmann/json.hpp>

#include <string>

namespace keyglass {
namespace {

using test::report;

// Requests carry a marker in a byte no handler writes, so every test also proves the echo.
constexpr int Marker = 0x5A;

struct AnswerCase
{
    const char* name;
    bool vial; // quadgrid (VIA 12) or solodial (Vial)
    RawHidReport request;
    std::vector<std::pair<int, int>> writes;
};

class FirmwareAnswers : public ::testing::TestWithParam<AnswerCase>
{
};

TEST_P(FirmwareAnswers, OnlyDocumentedBytesChange)
{
    const auto& c = GetParam();
    auto pad = c.vial ? makeSolodial() : makeQuadgrid();
    auto expected = c.request;
    for (auto [at, value] : c.writes)
        expected[static_cast<std::size_t>(at)] = static_cast<std::uint8_t>(value);
    EXPECT_EQ(pad->answer(c.request), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Via,
    FirmwareAnswers,
    ::testing::Values(
        AnswerCase{"ProtocolVersionBigEndian", false, report({0x01}), {{1, 0x00}, {2, 0x0C}}},
        AnswerCase{"VialProtocolVersionIs9", true, report({0x01}), {{1, 0x00}, {2, 0x09}}},
        AnswerCase{"LayerCount", false, report({0x11, 0, 0, 0, 0, 0, 0, 0, Marker}), {{1, 4}}},
        AnswerCase{"KeycodeBigEndian", false, report({0x04, 0, 1, 0, 0, 0, 0, Marker}), {{4, 0x01}, {5, 0x1D}}},
        AnswerCase{"KeycodeOnUpperLayer", false, report({0x04, 3, 3, 3}), {{4, 0x00}, {5, 0xB2}}},
        AnswerCase{"KeycodeRowOutOfRangeIsZero", false, report({0x04, 0, 5, 0, 0xEE, 0xEE}), {{4, 0}, {5, 0}}},
        AnswerCase{"KeycodeColOutOfRangeIsZero", false, report({0x04, 0, 0, 4, 0xEE, 0xEE}), {{4, 0}, {5, 0}}},
        AnswerCase{"KeycodeLayerOutOfRangeIsZero", false, report({0x04, 4, 0, 0, 0xEE, 0xEE}), {{4, 0}, {5, 0}}},
        AnswerCase{"VialKeycodeIsTapDance", true, report({0x04, 0, 0, 0}), {{4, 0x57}, {5, 0x00}}},
        AnswerCase{"EncoderCounterClockwise", false, report({0x14, 0, 0, 0, 0, 0, Marker}), {{4, 0x00}, {5, 0xAA}}},
        AnswerCase{"EncoderClockwiseAnyNonZeroFlag", false, report({0x14, 0, 0, 7}), {{4, 0x00}, {5, 0xA9}}},
        AnswerCase{"EncoderShortcutBigEndian", false, report({0x14, 0, 2, 1}), {{4, 0x01}, {5, 0x2E}}},
        AnswerCase{"EncoderOutOfRangeIsZero", false, report({0x14, 0, 3, 1, 0xEE, 0xEE}), {{4, 0}, {5, 0}}},
        AnswerCase{"VialHasNoViaEncoderCommands", true, report({0x14, 0, 0, 0}), {{0, 0xFF}}},
        AnswerCase{"UnknownCommand", false, report({0x42, 1, 2, 3, Marker}), {{0, 0xFF}}},
        AnswerCase{"EepromResetRefused", false, report({0x0A}), {{0, 0xFF}}},
        AnswerCase{"BootloaderJumpUnhandledByQmk", false, report({0x0B}), {{0, 0xFF}}},
        AnswerCase{"VialPrefixUnknownToVia", false, report({0xFE, 0x00}), {{0, 0xFF}}},
        AnswerCase{"UnknownKeyboardValue", false, report({0x02, 0x99}), {{0, 0xFF}}},
        AnswerCase{"FirmwareVersionBigEndian", false, report({0x02, 0x04}), {{2, 0x00}, {3, 0x01}, {4, 0x04}}},
        AnswerCase{"VialHasNoFirmwareVersion", true, report({0x02, 0x04}), {{0, 0xFF}}},
        AnswerCase{"UnknownSetKeyboardValue", false, report({0x03, 0x01}), {{0, 0xFF}}},
        AnswerCase{"LayoutOptionsBigEndian", false, report({0x02, 0x02, 9, 9, 9, 9}), {{2, 0}, {3, 0}, {4, 0}, {5, 0}}},
        AnswerCase{"MacroCount", false, report({0x0C}), {{1, 16}}},
        AnswerCase{"MacroBufferSizeBigEndian", false, report({0x0D}), {{1, 0x02}, {2, 0x00}}},
        AnswerCase{
            "KeymapBufferFirstKeys", false, report({0x12, 0, 0, 4}), {{4, 0x00}, {5, 0xAC}, {6, 0x00}, {7, 0xAE}}},
        AnswerCase{"KeymapBufferOddOffset", false, report({0x12, 0, 3, 2}), {{4, 0xAE}, {5, 0x00}}},
        AnswerCase{"KeymapBufferPastEndIsZero",
                   false,
                   report({0x12, 0, 158, 4, 0xEE, 0xEE, 0xEE, 0xEE}),
                   {{4, 0x00}, {5, 0xF2}, {6, 0}, {7, 0}}},
        AnswerCase{"VialIgnoresOversizedBuffer", true, report({0x12, 0, 0, 29}), {}},
        AnswerCase{"LegacyLightingBrightness", true, report({0x08, 0x80}), {{2, 200}}},
        AnswerCase{"LegacyLightingEffect", true, report({0x08, 0x81}), {{2, 9}}},
        AnswerCase{"LegacyLightingSpeed", true, report({0x08, 0x82}), {{2, 1}}},
        AnswerCase{"LegacyLightingColor", true, report({0x08, 0x83}), {{2, 170}, {3, 255}}},
        AnswerCase{"LegacyLightingUnknownIdEchoes", true, report({0x08, 0x99, Marker}), {}},
        AnswerCase{"ChannelEffectFromByte3", false, report({0x08, 0x01, 0x01}), {{3, 4}}},
        AnswerCase{"ChannelBrightness", false, report({0x08, 0x01, 0x02}), {{3, 128}}},
        AnswerCase{"ChannelSpeed", false, report({0x08, 0x01, 0x03}), {{3, 2}}},
        AnswerCase{"ChannelColor", false, report({0x08, 0x01, 0x04}), {{3, 170}, {4, 255}}},
        AnswerCase{"RgblightChannelBrightnessIsValue1", false, report({0x08, 0x02, 0x01}), {{3, 128}}},
        AnswerCase{"RgblightChannelEffectIsValue2", false, report({0x08, 0x02, 0x02}), {{3, 4}}},
        AnswerCase{"UnknownChannel", false, report({0x08, 0x03, 0x01}), {{0, 0xFF}}},
        AnswerCase{"LegacyIdOnChannelPad", false, report({0x08, 0x80}), {{0, 0xFF}}},
        AnswerCase{"KnownChannelUnknownValueEchoes", false, report({0x08, 0x01, 0x09, Marker}), {}},
        AnswerCase{"SaveUnknownChannel", false, report({0x09, 0x07}), {{0, 0xFF}}}),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    Vial,
    FirmwareAnswers,
    ::testing::Values(
        AnswerCase{"KeyboardIdZeroesBuffer",
                   true,
                   report({0xFE,
                           0x00,
                           Marker,
                           Marker,
                           Marker,
                           Marker,
                           Marker,
                           Marker,
                           Marker,
                           Marker,
                           Marker,
                           Marker,
                           Marker,
                           Marker,
                           Marker}),
                   {{0, 6},
                    {1, 0},
                    {2, 0},
                    {3, 0},
                    {4, 0x81},
                    {5, 0xB4},
                    {6, 0x92},
                    {7, 0x3E},
                    {8, 0x0F},
                    {9, 0x7C},
                    {10, 0x1A},
                    {11, 0x5D},
                    {12, 0},
                    {13, 0},
                    {14, 0}}},
        AnswerCase{"EncoderBothDirectionsBigEndian",
                   true,
                   report({0xFE, 0x03, 0, 0, Marker}),
                   {{0, 0x00}, {1, 0xAA}, {2, 0x00}, {3, 0xA9}}},
        AnswerCase{"EncoderLayer3", true, report({0xFE, 0x03, 3, 0}), {{0, 0x00}, {1, 0xBE}, {2, 0x00}, {3, 0xBD}}},
        AnswerCase{"EncoderOutOfRangeIsZero", true, report({0xFE, 0x03, 0, 1}), {{0, 0}, {1, 0}, {2, 0}, {3, 0}}},
        AnswerCase{"UnknownSubCommandEchoes", true, report({0xFE, 0x42, 1, 2, 3}), {}},
        AnswerCase{"SettingsGetWithoutSettingsEchoes", true, report({0xFE, 0x0A, 1, 0}), {}},
        AnswerCase{
            "EntryCounts", true, report({0xFE, 0x0D, 0x00, Marker, Marker}), {{0, 8}, {1, 8}, {2, 8}, {3, 0}, {4, 0}}},
        AnswerCase{"TapDanceLittleEndianStruct",
                   true,
                   report({0xFE, 0x0D, 0x01, 0x00, 0, 0, 0, 0, 0, 0, 0, 0, Marker}),
                   {{0, 0x00},
                    {1, 0xAE},
                    {2, 0x00},
                    {3, 0xA8},
                    {4, 0x00},
                    {5, 0xAB},
                    {6, 0x00},
                    {7, 0xAC},
                    {8, 0x00},
                    {9, 0xC8},
                    {10, 0x00}}},
        AnswerCase{"TapDanceModifiedKeycode",
                   true,
                   report({0xFE, 0x0D, 0x01, 0x01}),
                   {{0, 0}, {1, 0x68}, {2, 0}, {3, 0x68}, {4, 0x01}, {5, 0x69}, {6, 0}, {7, 0}, {8, 0}, {9, 200}}},
        AnswerCase{"TapDanceOutOfRange", true, report({0xFE, 0x0D, 0x01, 0x08}), {{0, 0xFF}, {1, 0}, {2, 0}, {3, 0}}},
        AnswerCase{"UnknownEntryOpEchoes", true, report({0xFE, 0x0D, 0x42, 0x00}), {}}),
    [](const auto& info) { return std::string(info.param.name); });

std::string decompressXz(const std::vector<std::uint8_t>& stream)
{
    std::string out(1 << 20, '\0');
    std::uint64_t memlimit = 64u << 20;
    std::size_t inPos = 0, outPos = 0;
    const auto ret = lzma_stream_buffer_decode(&memlimit,
                                               0,
                                               nullptr,
                                               stream.data(),
                                               &inPos,
                                               stream.size(),
                                               reinterpret_cast<std::uint8_t*>(out.data()),
                                               &outPos,
                                               out.size());
    if (ret != LZMA_OK)
        return {};
    out.resize(outPos);
    return out;
}

// Downloads the definition the way a host does: size, then 32-byte pages.
std::vector<std::uint8_t> download(VirtualPad& pad)
{
    const auto size = pad.answer(report({0xFE, 0x01}));
    const std::size_t total = size[0] | size[1] << 8 | size[2] << 16 | size[3] << 24;
    std::vector<std::uint8_t> bytes;
    for (std::size_t page = 0; page * 32 < total; ++page) {
        const auto block = pad.answer(report({0xFE, 0x02, static_cast<int>(page & 0xFF), static_cast<int>(page >> 8)}));
        const std::size_t n = std::min<std::size_t>(32, total - page * 32);
        bytes.insert(bytes.end(), block.begin(), block.begin() + static_cast<std::ptrdiff_t>(n));
    }
    return bytes;
}

TEST(VialDefinition, SizeIsLittleEndianAndRestEchoes)
{
    auto pad = makeSolodial();
    const auto stream = pad->compressedDefinition();
    const auto request = report({0xFE, 0x01, 0, 0, Marker});
    const auto a = pad->answer(request);
    EXPECT_EQ(a[0] | a[1] << 8 | a[2] << 16 | a[3] << 24, static_cast<int>(stream.size()));
    EXPECT_EQ(a[4], Marker);
}

TEST(VialDefinition, IsMinifiedJsonInAnXzStreamWithCrc64)
{
    auto pad = makeSolodial();
    const auto stream = download(*pad);
    ASSERT_EQ(stream, pad->compressedDefinition());
    ASSERT_GT(stream.size(), 12u);
    const std::vector<std::uint8_t> magic{0xFD, '7', 'z', 'X', 'Z', 0x00};
    EXPECT_TRUE(std::equal(magic.begin(), magic.end(), stream.begin()));
    EXPECT_EQ(stream[6], 0x00);
    EXPECT_EQ(stream[7], 0x04); // CRC64
    EXPECT_EQ(stream[stream.size() - 2], 'Y');
    EXPECT_EQ(stream[stream.size() - 1], 'Z');

    const auto text = decompressXz(stream);
    EXPECT_EQ(text.find(' '), std::string::npos) << text;
    const auto doc = nlohmann::json::parse(text, nullptr, false);
    ASSERT_TRUE(doc.is_object());
    EXPECT_EQ(doc["matrix"]["rows"], 1);
    EXPECT_EQ(doc["lighting"], "qmk_rgblight");
    EXPECT_EQ(doc["layouts"]["keymap"][0][1], "0,0\n\n\n\ne");
}

TEST(VialDefinition, LastPartialPageKeepsTheRequestTail)
{
    auto pad = makeSolodial();
    const auto stream = pad->compressedDefinition();
    const std::size_t last = (stream.size() - 1) / 32;
    const std::size_t n = stream.size() - last * 32;
    ASSERT_LT(n, 32u) << "pick a definition whose size is not a multiple of 32";
    auto request = report({0xFE, 0x02, static_cast<int>(last), 0});
    request[31] = Marker;
    const auto a = pad->answer(request);
    for (std::size_t i = 0; i < n; ++i)
        EXPECT_EQ(a[i], stream[last * 32 + i]) << i;
    for (std::size_t i = n; i < 32; ++i)
        EXPECT_EQ(a[i], request[i]) << i;
}

TEST(VialDefinition, PagesAtOrPastTheEndEchoUnchanged)
{
    auto pad = makeSolodial();
    const auto pages = (pad->compressedDefinition().size() + 31) / 32;
    for (int page : {static_cast<int>(pages), 0x1FF}) {
        const auto request = report({0xFE, 0x02, page & 0xFF, page >> 8, 0x7F, Marker});
        EXPECT_EQ(pad->answer(request), request) << page;
    }
}

TEST(VialDefinition, PageIndexReadsOnlyTwoBytes)
{
    auto pad = makeSolodial();
    const auto a = pad->answer(report({0xFE, 0x02, 0, 0, 0x01, 0x01}));
    EXPECT_EQ(a[0], 0xFD);
}

TEST(VialDefinition, BrokenJsonIsServedAsGiven)
{
    auto config = solodialConfig();
    config.definitionJson = "{not json";
    VirtualPad pad(config);
    EXPECT_EQ(decompressXz(download(pad)), "{not json");
}

TEST(VialDefinition, NoDefinitionHasSizeZero)
{
    auto config = solodialConfig();
    config.definitionJson.clear();
    VirtualPad pad(config);
    const auto a = pad.answer(report({0xFE, 0x01}));
    EXPECT_EQ(a[0] | a[1] | a[2] | a[3], 0);
    const auto page = report({0xFE, 0x02, 0, 0});
    EXPECT_EQ(pad.answer(page), page);
}

TEST(Lighting, PadWithoutLightingAnswersUnhandled)
{
    auto config = quadgridConfig();
    config.lighting = LightingDialect::none;
    VirtualPad pad(config);
    for (int cmd : {0x07, 0x08, 0x09})
        EXPECT_EQ(pad.answer(report({cmd, 0x01, 0x01}))[0], 0xFF) << cmd;
}

TEST(Lighting, LegacyEffectZeroSwitchesOffButKeepsTheModeUntilSaved)
{
    auto pad = makeSolodial();
    EXPECT_EQ(pad->answer(report({0x07, 0x81, 0x00})), report({0x07, 0x81, 0x00}));
    EXPECT_FALSE(pad->lighting().enabled);
    EXPECT_EQ(pad->answer(report({0x08, 0x81}))[2], 0);
    pad->answer(report({0x07, 0x81, 15})); // on again with the stored mode
    pad->answer(report({0x07, 0x81, 15}));
    pad->answer(report({0x07, 0x80, 40}));
    pad->answer(report({0x07, 0x83, 10, 20}));
    const auto light = pad->lighting();
    EXPECT_TRUE(light.enabled);
    EXPECT_EQ(light.mode, 15);
    EXPECT_EQ(light.brightness, 40);
    EXPECT_EQ(light.hue, 10);
    EXPECT_EQ(light.sat, 20);
    EXPECT_FALSE(pad->lightingPersisted());
    EXPECT_EQ(pad->answer(report({0x09})), report({0x09}));
    EXPECT_TRUE(pad->lightingPersisted());
    EXPECT_EQ(pad->lightingSaveCount(), 1);
}

TEST(Lighting, ChannelEffectZeroReadsBackAsOff)
{
    auto pad = makeQuadgrid();
    pad->answer(report({0x07, 0x01, 0x01, 0x00}));
    EXPECT_EQ(pad->answer(report({0x08, 0x01, 0x01}))[3], 0);
    pad->answer(report({0x07, 0x01, 0x02, 33}));
    pad->answer(report({0x07, 0x01, 0x04, 5, 6}));
    pad->answer(report({0x07, 0x01, 0x01, 7}));
    EXPECT_EQ(pad->answer(report({0x08, 0x01, 0x01}))[3], 7);
    EXPECT_EQ(pad->answer(report({0x08, 0x02, 0x01}))[3], 33); // same light through rgblight's channel
    const auto color = pad->answer(report({0x08, 0x01, 0x04}));
    EXPECT_EQ(color[3], 5);
    EXPECT_EQ(color[4], 6);
    EXPECT_FALSE(pad->lightingPersisted());
    EXPECT_EQ(pad->answer(report({0x09, 0x01})), report({0x09, 0x01}));
    EXPECT_TRUE(pad->lightingPersisted());
    EXPECT_EQ(pad->savedLighting().brightness, 33);
}

TEST(KeyboardValues, UptimeFollowsTheClock)
{
    auto pad = makeQuadgrid();
    TimePoint now{};
    pad->setClock([&] { return now; });
    now += std::chrono::milliseconds(0x01020304);
    const auto a = pad->answer(report({0x02, 0x01}));
    EXPECT_EQ(a[2], 0x01);
    EXPECT_EQ(a[3], 0x02);
    EXPECT_EQ(a[4], 0x03);
    EXPECT_EQ(a[5], 0x04);
}

TEST(KeyboardValues, LayoutOptionsRoundTripBigEndian)
{
    auto pad = makeQuadgrid();
    EXPECT_EQ(pad->answer(report({0x03, 0x02, 0x12, 0x34, 0x56, 0x78})), report({0x03, 0x02, 0x12, 0x34, 0x56, 0x78}));
    EXPECT_EQ(pad->layoutOptions(), 0x12345678u);
    const auto a = pad->answer(report({0x02, 0x02}));
    EXPECT_EQ(a, report({0x02, 0x02, 0x12, 0x34, 0x56, 0x78}));
}

TEST(KeyboardValues, MatrixStateOfAnIdlePadIsZeroFromTheOffset)
{
    auto pad = makeQuadgrid();
    auto request = report({0x02, 0x03, 0x01});
    for (std::size_t i = 3; i < 32; ++i)
        request[i] = 0xEE;
    const auto a = pad->answer(request);
    EXPECT_EQ(a[2], 0x01);
    for (std::size_t i = 3; i < 7; ++i) // rows 1-4, one byte each
        EXPECT_EQ(a[i], 0) << i;
    EXPECT_EQ(a[7], 0xEE);
}

TEST(KeyboardValues, DeviceIndicationCounted)
{
    auto pad = makeQuadgrid();
    EXPECT_EQ(pad->answer(report({0x03, 0x05, 1})), report({0x03, 0x05, 1}));
    EXPECT_EQ(pad->deviceIndicationCount(), 1);
}

TEST(VialLock, LockedPadHidesMatrixAndFirewallsTheBootloaderKey)
{
    auto pad = makeSolodial();
    EXPECT_EQ(pad->answer(report({0xFE, 0x08})), report({0xFE, 0x08}));
    EXPECT_FALSE(pad->vialUnlocked());
    const auto status = pad->answer(report({0xFE, 0x05}));
    EXPECT_EQ(status[0], 0);
    EXPECT_EQ(status[1], 0);
    EXPECT_EQ(status[2], 0); // the unlock key, row 0 column 0
    EXPECT_EQ(status[3], 0);
    EXPECT_EQ(status[4], 0xFF);
    const auto matrix = report({0x02, 0x03, 0xEE});
    EXPECT_EQ(pad->answer(matrix), matrix);

    pad->answer(report({0xFE, 0x04, 0, 0, 1, 0x7C, 0x00}));
    EXPECT_EQ(pad->encoder(0, 0, true), 0);
    pad->answer(report({0xFE, 0x0D, 0x02, 3, 0x00, 0x7C}));
    EXPECT_EQ(pad->tapDance(3).onTap, 0);
}

TEST(VialLock, UnlockSkipsOtherCommandsUntilItCompletes)
{
    auto pad = makeSolodial();
    TimePoint now{};
    pad->setClock([&] { return now; });
    pad->answer(report({0xFE, 0x08}));
    pad->answer(report({0xFE, 0x06}));
    const auto layer = report({0x11});
    EXPECT_EQ(pad->answer(layer), layer);
    const auto id = pad->answer(report({0xFE, 0x00}));
    EXPECT_EQ(id[0], 6);
    pad->hold(0, 0);
    RawHidReport poll{};
    for (int i = 0; i < 50; ++i) {
        now += std::chrono::milliseconds(200);
        poll = pad->answer(report({0xFE, 0x07}));
    }
    EXPECT_EQ(poll[0], 1);
    EXPECT_EQ(poll[1], 0);
    EXPECT_TRUE(pad->vialUnlocked());
    EXPECT_EQ(pad->answer(layer)[1], 4);
}

} // namespace
} // namespace keyglass
