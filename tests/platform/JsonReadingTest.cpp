#include "platform/JsonReading.h"

#include "support/TempHome.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace keyglass::test {
namespace {

namespace fs = std::filesystem;

std::string nested(int depth, char open = '[', char close = ']')
{
    return std::string(static_cast<std::size_t>(depth), open) + std::string(static_cast<std::size_t>(depth), close);
}

TEST(JsonReading, DepthCountsArraysAndObjectsButNotBracketsInStrings)
{
    EXPECT_TRUE(jsonDepthWithin(nested(64)));
    EXPECT_FALSE(jsonDepthWithin(nested(65)));
    EXPECT_TRUE(jsonDepthWithin(R"({"a":{"b":[1,{"c":[]}]}})", 5));
    EXPECT_FALSE(jsonDepthWithin(R"({"a":{"b":[1,{"c":[]}]}})", 4));
    EXPECT_TRUE(jsonDepthWithin("[\"" + std::string(500, '[') + "\"]", 1));
    EXPECT_TRUE(jsonDepthWithin(R"(["\"[[[", "\\", [1]])", 2)) << "escaped quotes and backslashes end strings right";
    EXPECT_FALSE(jsonDepthWithin(R"(["\\", [[1]]])", 2));
    EXPECT_TRUE(jsonDepthWithin("]]]]][[", 2)) << "garbage is left to the parser";
}

TEST(JsonReading, ParsingRefusesSizeDepthAndSyntaxWithReadableErrors)
{
    const auto ok = parseJsonCapped(R"({"a":[1,2]})", 100);
    ASSERT_TRUE(ok);
    EXPECT_EQ((*ok)["a"][1], 2);

    const auto large = parseJsonCapped(std::string(2049, ' '), 2048);
    ASSERT_FALSE(large);
    EXPECT_EQ(large.error().code, JsonTooLarge);
    EXPECT_EQ(large.error().message, "larger than 2 KiB");

    // 100,000 levels: enough to overflow the stack of any recursive walk of the tree.
    for (const auto& deep : {nested(100000), nested(100000, '{', '}'), "{\"a\":" + nested(70) + "}"}) {
        const auto refused = parseJsonCapped(deep, 1 << 20);
        ASSERT_FALSE(refused);
        EXPECT_EQ(refused.error().code, JsonTooDeep);
        EXPECT_EQ(refused.error().message, "nested deeper than 64 levels");
    }

    const auto broken = parseJsonCapped("{ not json", 100);
    ASSERT_FALSE(broken);
    EXPECT_EQ(broken.error().code, JsonNotJson);
    EXPECT_TRUE(broken.error().message.starts_with("not valid JSON: parse error at line 1, column 4"))
        << broken.error().message;
}

TEST(JsonReading, FilesAreReadWithTheSamePolicyAndNamedInErrors)
{
    TempHome home;
    const fs::path file = home.path() / "doc.json";
    writeText(file, nested(200));
    const auto deep = readJsonFile(file, 1 << 20);
    ASSERT_FALSE(deep);
    EXPECT_EQ(deep.error().message, "doc.json: nested deeper than 64 levels");

    writeText(file, R"({"x":1})");
    ASSERT_TRUE(readJsonFile(file, 1 << 20));
    EXPECT_FALSE(readJsonFile(file, 3));

    const fs::path fifo = home.path() / "fifo.json";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const auto refused = readJsonFile(fifo, 1 << 20);
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error().message, "fifo.json: not a regular file");
}

} // namespace
} // namespace keyglass::test
