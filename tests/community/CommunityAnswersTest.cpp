// How the client reads the service's answers and forms what it sends, without a network.

#include "community/CommunityClient.h"
#include "platform/HttpClient.h"
#include "platform/SettingsStore.h"
#include "support/SharePresets.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace keyglass {
namespace {

TEST(CommunityList, NeedsACommunityArray)
{
    for (const char* body : {"{}", "[]", "{\"community\":{}}", "not json", "", "{\"community\":[", "null"}) {
        const auto list = decodeCommunityList(std::string_view(body));
        ASSERT_FALSE(list) << body;
        EXPECT_EQ(list.error().domain, "Loomshare");
        EXPECT_EQ(list.error().code, 3);
        EXPECT_EQ(list.error().message, "Unexpected response from Loomshare");
    }
    EXPECT_FALSE(decodeCommunityList(std::nullopt));
}

TEST(CommunityList, ForcesCommunityFlagsAndKeepsOrder)
{
    auto first = presetToJson(test::sharePreset("First"));
    first["builtIn"] = true;
    first["community"] = false;
    auto second = presetToJson(test::sharePreset("Second"));
    second.erase("community");
    nlohmann::json body = {{"community", {first, {{"name", "not a preset"}}, 42, second}}};
    const auto list = decodeCommunityList(body.dump());
    ASSERT_TRUE(list);
    ASSERT_EQ(list->size(), 2u);
    EXPECT_EQ((*list)[0].name, "First");
    EXPECT_EQ((*list)[1].name, "Second");
    for (const auto& preset : *list) {
        EXPECT_FALSE(preset.builtIn);
        EXPECT_EQ(preset.community, true);
    }
}

TEST(CommunityPublishAnswer, AcceptedOnlyWithALink)
{
    const auto ok = decodePublishAnswer(std::string_view(R"({"ok":true,"shareUrl":"http://x/p/1"})"));
    ASSERT_TRUE(ok);
    EXPECT_EQ(*ok, "http://x/p/1");

    const auto noLink = decodePublishAnswer(std::string_view(R"({"ok":true})"));
    ASSERT_FALSE(noLink);
    EXPECT_EQ(noLink.error().code, 4);
    EXPECT_EQ(noLink.error().message, "Preset rejected by safety validator");

    const auto refused = decodePublishAnswer(std::string_view(R"({"ok":false,"errors":["L0 (0,0): nope","second"]})"));
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error().code, 4);
    EXPECT_EQ(refused.error().message, "L0 (0,0): nope");

    const auto empty = decodePublishAnswer(std::string_view(R"({"ok":false,"errors":[]})"));
    ASSERT_FALSE(empty);
    EXPECT_EQ(empty.error().message, "Preset rejected by safety validator");

    // Every member is optional: an empty object is a rejection, not an unreadable answer.
    const auto bare = decodePublishAnswer(std::string_view("{}"));
    ASSERT_FALSE(bare);
    EXPECT_EQ(bare.error().code, 4);
}

TEST(CommunityPublishAnswer, WrongShapesAreUnexpected)
{
    for (const char* body : {R"({"ok":"yes","shareUrl":"x"})",
                             R"({"ok":true,"shareUrl":7})",
                             R"({"ok":false,"errors":"bad"})",
                             R"({"ok":false,"errors":[1]})",
                             R"({"ok":true,"shareUrl":"x","preset":{"name":"half"}})",
                             "[]",
                             "",
                             "<html>"}) {
        const auto answer = decodePublishAnswer(std::string_view(body));
        ASSERT_FALSE(answer) << body;
        EXPECT_EQ(answer.error().code, 3) << body;
        EXPECT_EQ(answer.error().domain, "Loomshare");
    }
    EXPECT_EQ(decodePublishAnswer(std::nullopt).error().code, 3);
}

TEST(CommunityOutgoing, AuthorAndFlags)
{
    EXPECT_EQ(communityAuthor(""), "Community");
    EXPECT_EQ(communityAuthor(" \t\r\n "), "Community");
    EXPECT_EQ(communityAuthor("  Ada Lovelace\n"), "Ada Lovelace");

    auto source = test::sharePreset();
    source.builtIn = true;
    source.community = false;
    const auto out = outgoingCommunityPreset(source, "\tGrace Hopper ");
    EXPECT_EQ(out.author, "Grace Hopper");
    EXPECT_FALSE(out.builtIn);
    EXPECT_EQ(out.community, true);
    EXPECT_EQ(out.layers, source.layers);
}

TEST(CommunityAddress, SettingEnvironmentAndDefault)
{
    ::unsetenv(CommunityURLEnvironment);
    InMemorySettingsStore settings;
    EXPECT_EQ(communityBaseURL(settings), "http://127.0.0.1:8737");
    settings.setValue(CommunityURLSettingsKey, 12);
    EXPECT_EQ(communityBaseURL(settings), "http://127.0.0.1:8737");
    settings.setValue(CommunityURLSettingsKey, "https://share.example.org/");
    EXPECT_EQ(communityBaseURL(settings), "https://share.example.org");
    ::setenv(CommunityURLEnvironment, "http://10.0.0.2:9000", 1);
    EXPECT_EQ(communityBaseURL(settings), "http://10.0.0.2:9000");
    ::unsetenv(CommunityURLEnvironment);

    EXPECT_EQ(communityListURL("http://h:1"), "http://h:1/api/presets?source=community");
    EXPECT_EQ(communityPublishURL("https://h"), "https://h/api/presets");
    for (const char* bad :
         {"", "h:1", "ftp://h", "http://", "http://h/base", "http://u@h", "http://h:99999", "http://a b"})
        EXPECT_FALSE(communityPublishURL(bad)) << bad;
}

TEST(HttpURL, Parts)
{
    const auto url = parseURL("HTTP://[::1]:8080/p/abc?x=1#frag");
    ASSERT_TRUE(url);
    EXPECT_EQ(url->scheme, "http");
    EXPECT_EQ(url->host, "::1");
    EXPECT_EQ(url->port, 8080);
    EXPECT_EQ(url->target, "/p/abc?x=1");
    EXPECT_EQ(parseURL("https://h")->port, 443);
    EXPECT_EQ(parseURL("http://h?q")->target, "/?q");
    EXPECT_FALSE(parseURL("http://h:0"));
    EXPECT_FALSE(parseURL("http://h:12x"));
    EXPECT_FALSE(parseURL("http://[::1"));
}

} // namespace
} // namespace keyglass
