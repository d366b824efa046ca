#include "support/FakeHid.h"

#include "device/Definition.h"

#include <gtest/gtest.h>

namespace keyglass::test {
namespace {

using json = nlohmann::json;

struct DefinitionServer
{
    ScriptedBackend backend;
    std::uint32_t announcedSize = 0;
    Bytes blob;
    std::optional<int> silentBlock;
    std::optional<int> emptyBlock;

    DefinitionServer()
    {
        backend.respond = [this](const RawHidReport& r) -> std::optional<Bytes> {
            Bytes out(r.begin(), r.end());
            if (r[0] == 0xFE && r[1] == 0x01) {
                for (int i = 0; i < 4; ++i)
                    out[i] = static_cast<std::uint8_t>(announcedSize >> (8 * i));
                return out;
            }
            if (r[0] == 0xFE && r[1] == 0x02) {
                const int block = r[2] | r[3] << 8 | r[4] << 16 | r[5] << 24;
                if (silentBlock && block == *silentBlock)
                    return std::nullopt;
                if (emptyBlock && block == *emptyBlock)
                    return Bytes{};
                for (std::size_t i = 0; i < 32 && block * 32u + i < blob.size(); ++i)
                    out[i] = blob[block * 32u + i];
                return out;
            }
            return std::nullopt;
        };
    }

    std::optional<Bytes> download()
    {
        auto session = RawHidSession::open(backend, 0x1A86, 0xFE16);
        return downloadDefinition(*session);
    }
};

TEST(DefinitionDownload, SizeOutsideOneTo65535GivesNoDefinition)
{
    for (std::uint32_t size : {0u, 65536u, 70000u}) {
        DefinitionServer server;
        server.announcedSize = size;
        server.blob = Bytes(size, 0x11);
        EXPECT_FALSE(server.download()) << size;
        EXPECT_EQ(server.backend.requests.size(), 1u) << size;
    }
}

TEST(DefinitionDownload, TakesCeilSizeOver32BlocksWithLittleEndianIndexAndOnlyTheRemainingBytes)
{
    DefinitionServer server;
    server.announcedSize = 33;
    for (int i = 0; i < 40; ++i)
        server.blob.push_back(static_cast<std::uint8_t>(i));
    const auto bytes = server.download();
    ASSERT_TRUE(bytes);
    EXPECT_EQ(*bytes, Bytes(server.blob.begin(), server.blob.begin() + 33));
    const auto blocks = server.backend.requestsStartingWith({0xFE, 0x02});
    ASSERT_EQ(blocks.size(), 2u);
    EXPECT_EQ(blocks[1], bytesOf({0xFE, 0x02, 1, 0, 0, 0}));

    DefinitionServer big;
    big.announcedSize = 300 * 32;
    big.blob = Bytes(300 * 32, 0x5A);
    ASSERT_TRUE(big.download());
    EXPECT_EQ(big.backend.requestsStartingWith({0xFE, 0x02})[299], bytesOf({0xFE, 0x02, 0x2B, 0x01, 0, 0}));
}

TEST(DefinitionDownload, MissingBlockAbandonsButEmptyBlockOnlyAddsNothing)
{
    DefinitionServer silent;
    silent.announcedSize = 96;
    silent.blob = Bytes(96, 1);
    silent.silentBlock = 1;
    EXPECT_FALSE(silent.download());
    EXPECT_EQ(silent.backend.countStartingWith({0xFE, 0x02}), 2) << "no retries, nothing after the failure";

    DefinitionServer empty;
    empty.announcedSize = 96;
    empty.blob = Bytes(96, 1);
    empty.emptyBlock = 1;
    const auto bytes = empty.download();
    ASSERT_TRUE(bytes);
    EXPECT_EQ(bytes->size(), 64u);
    EXPECT_EQ(empty.backend.countStartingWith({0xFE, 0x02}), 3);
}

TEST(DefinitionDecode, RoundTripsAnXzJsonObject)
{
    const auto decoded = decodeDefinition(compressXz(R"({"matrix":{"rows":2,"cols":3},"lighting":"qmk_rgblight"})"));
    ASSERT_TRUE(decoded) << decoded.error().message;
    EXPECT_EQ((*decoded)["matrix"]["cols"], 3);
}

TEST(DefinitionDecode, RefusesWhatIsNotACompleteXzJsonObject)
{
    const Bytes good = compressXz(R"({"matrix":{"rows":2,"cols":3}})");
    const std::vector<std::pair<const char*, Bytes>> cases = {
        {"empty", {}},
        {"plain json", Bytes{'{', '}'}},
        {"truncated", Bytes(good.begin(), good.end() - 10)},
        {"corrupted",
         [&] {
             Bytes b = good;
             b[b.size() / 2] ^= 0x40;
             return b;
         }()},
        {"array", compressXz("[1,2]")},
        {"not json", compressXz("{matrix")},
        {"empty stream", compressXz("")},
    };
    for (const auto& [name, bytes] : cases)
        EXPECT_FALSE(decodeDefinition(bytes)) << name;
}

TEST(DefinitionDecode, LargeDefinitionsDecodeWholeButBombsAreRefused)
{
    // Far above max(12 x compressed, 64 KiB): highly repetitive, so it compresses to a few KiB.
    json definition = {{"matrix", {{"rows", 10}, {"cols", 10}}}, {"name", std::string(200000, 'k')}};
    const std::string text = definition.dump();
    const Bytes compressed = compressXz(text);
    ASSERT_GT(text.size(), std::max<std::size_t>(12 * compressed.size(), 65536));
    const auto decoded = decodeDefinition(compressed);
    ASSERT_TRUE(decoded) << decoded.error().message;
    EXPECT_EQ((*decoded)["name"].get<std::string>().size(), 200000u);

    const Bytes bomb = compressXz("{\"pad\":\"" + std::string(MaxDecodedDefinitionBytes, ' ') + "\"}");
    EXPECT_LT(bomb.size(), 4096u);
    EXPECT_FALSE(decodeDefinition(bomb));
}

TEST(DefinitionLayoutFromJson, NeedsIntegerMatrixSidesThatFitTheWire)
{
    const std::vector<std::pair<const char*, bool>> cases = {
        {R"({"matrix":{"rows":2,"cols":3}})", true},
        {R"({"matrix":{"rows":256,"cols":1}})", true},
        {R"({"matrix":{"rows":2}})", false},
        {R"({"matrix":{"rows":2.5,"cols":3}})", false},
        {R"({"matrix":{"rows":"2","cols":3}})", false},
        {R"({"matrix":{"rows":-1,"cols":3}})", false},
        {R"({"matrix":{"rows":100000000,"cols":3}})", false},
        {R"({"matrix":[2,3]})", false},
        {R"({"layouts":{"keymap":[["0,0"]]}})", false},
        {R"([])", false},
    };
    for (const auto& [text, usable] : cases)
        EXPECT_EQ(layoutFromDefinition(json::parse(text)).has_value(), usable) << text;
}

TEST(DefinitionLayoutFromJson, ReadsKeysAndNamesEncoders)
{
    const auto layout = layoutFromDefinition(json::parse(
        R"({"matrix":{"rows":2,"cols":2},"layouts":{"keymap":[["0,0\n\n\n\ne","0,1\n\n\n\ne"],["1,1"]]}})"));
    ASSERT_TRUE(layout);
    EXPECT_EQ(layout->rows, 2);
    EXPECT_EQ(layout->cols, 2);
    ASSERT_EQ(layout->keys.size(), 1u);
    EXPECT_EQ(layout->keys[0].id, "r1c1");
    EXPECT_EQ(layout->encoders, (std::vector<PhysicalEncoder>{{0, "Knob", 1, 1}}));

    const auto noLayouts = layoutFromDefinition(json::parse(R"({"matrix":{"rows":1,"cols":1},"layouts":[]})"));
    ASSERT_TRUE(noLayouts);
    EXPECT_TRUE(noLayouts->keys.empty());
}

} // namespace
} // namespace keyglass::test
