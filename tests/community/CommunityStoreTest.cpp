// Sharing and the community list end to end: the store over a real keyglass-share (or a stand-in for
// answers a healthy service never gives) on 127.0.0.1, through the CLI's blocking transport.

#include "platform/HttpClient.h"
#include "platform/httplib/HttplibTransport.h"
#include "share/ShareStorage.h"
#include "support/ShareFixture.h"
#include "support/SharePresets.h"
#include "support/StoreRig.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace keyglass::test {
namespace {

class CommunityStoreTest : public ::testing::Test, protected StoreRig
{
protected:
    PadStore& connect(const std::string& baseURL, CommunityClient::Timeouts timeouts = {})
    {
        ::setenv("KEYGLASS_COMMUNITY_URL", baseURL.c_str(), 1);
        if (!padAdded)
            addPad("quadgrid");
        padAdded = true;
        store.reset();
        store = std::make_unique<PadStore>(
            PadStoreServices{scheduler, hid, input, settings, desktop, false, &http, timeouts});
        settle();
        ::unsetenv("KEYGLASS_COMMUNITY_URL");
        return *store;
    }
    std::string toast() const { return store->toastMessage().value_or(""); }
    std::vector<std::string> toasts;
    void recordToasts()
    {
        store->addObserver([this] {
            if (store->toastMessage() && (toasts.empty() || toasts.back() != *store->toastMessage()))
                toasts.push_back(*store->toastMessage());
        });
    }

    bool padAdded = false;
    HttplibTransport transport;
    HttpClient http{scheduler, transport};
};

TEST_F(CommunityStoreTest, SharesASafePresetAndReloadsTheList)
{
    RunningShare share(home.path());
    connect(share.baseURL());
    recordToasts();
    desktop.fullName = "";
    EXPECT_TRUE(store->communityConnected());

    store->sharePreset(sharePreset(), QuadgridID);
    settle();

    ASSERT_EQ(toasts.size(), 2u);
    EXPECT_EQ(toasts[0], "Validating & publishing \"Photo Tools\" to Loomshare\u2026");
    ASSERT_EQ(desktop.clipboard.size(), 1u);
    const std::string link = desktop.clipboard[0];
    EXPECT_TRUE(link.starts_with(share.baseURL() + "/p/")) << link;
    EXPECT_EQ(link.size(), share.baseURL().size() + 3 + 32);
    EXPECT_EQ(toasts[1], "Shared! Link copied: " + link);
    EXPECT_FALSE(store->toastIsError());

    // The list was loaded again after the share and holds the stored copy.
    EXPECT_FALSE(store->isLoadingCommunityPresets());
    ASSERT_EQ(store->communityPresets().size(), 1u);
    const DevicePreset& received = store->communityPresets()[0];
    EXPECT_EQ(received.name, "Photo Tools");
    EXPECT_EQ(received.author, "Community");
    EXPECT_EQ(received.community, true);
    EXPECT_FALSE(received.builtIn);
    EXPECT_EQ(received.verifiedSafe, true);
    EXPECT_EQ(received.layers, sharePreset().layers);
}

TEST_F(CommunityStoreTest, AuthorIsTheTrimmedFullName)
{
    RunningShare share(home.path());
    connect(share.baseURL());
    desktop.fullName = "  Ada Lovelace\n";
    store->sharePreset(sharePreset(), QuadgridID);
    settle();
    ASSERT_EQ(store->communityPresets().size(), 1u);
    EXPECT_EQ(store->communityPresets()[0].author, "Ada Lovelace");
}

TEST_F(CommunityStoreTest, BlockedPresetNeverLeavesTheMachine)
{
    RunningShare share(home.path());
    connect(share.baseURL());
    store->sharePreset(blockedPreset(), QuadgridID);
    settle();
    EXPECT_EQ(toast(), "Blocked by safety check: L0 (0,0): Blocked bootloader/reset token \"QK_BOOT\"");
    EXPECT_TRUE(store->toastIsError());
    EXPECT_TRUE(share.requestLog().empty());
    EXPECT_TRUE(desktop.clipboard.empty());
}

TEST_F(CommunityStoreTest, RejectionsFromTheService)
{
    {
        CannedServer server(200, R"({"ok":true})");
        connect(server.baseURL());
        store->sharePreset(sharePreset(), QuadgridID);
        settle();
        EXPECT_EQ(toast(), "Share blocked: Preset rejected by safety validator");
        EXPECT_TRUE(store->toastIsError());
        EXPECT_EQ(server.hits(), 1);
    }
    {
        CannedServer server(422, R"({"ok":false,"errors":["Layer 0 looks odd"]})");
        connect(server.baseURL());
        store->sharePreset(sharePreset(), QuadgridID);
        settle();
        EXPECT_EQ(toast(), "Share blocked: Layer 0 looks odd");
    }
    {
        CannedServer server(502, "<html>bad gateway</html>");
        connect(server.baseURL());
        store->sharePreset(sharePreset(), QuadgridID);
        settle();
        EXPECT_EQ(toast(), "Share blocked: Unexpected response from Loomshare");
    }
    EXPECT_TRUE(desktop.clipboard.empty());
}

TEST_F(CommunityStoreTest, RateLimitIsShownAsTheServiceSaysIt)
{
    ShareLimits limits;
    limits.publishesPerMinute = 2;
    RunningShare share(home.path(), limits);
    connect(share.baseURL());
    for (int i = 0; i < 3; ++i) {
        store->sharePreset(sharePreset("Take " + std::to_string(i)), QuadgridID);
        settle();
    }
    EXPECT_EQ(toast(),
              "Share blocked: Too many presets shared from this address: at most 2 a minute, try again shortly");
    EXPECT_EQ(desktop.clipboard.size(), 2u);
    EXPECT_EQ(share.storage().count().value_or(-1), 2);
}

TEST_F(CommunityStoreTest, FailedListKeepsTheOldOne)
{
    CannedServer server(200, nlohmann::json{{"community", {presetToJson(sharePreset("Kept"))}}}.dump());
    connect(server.baseURL());
    store->loadCommunityPresets();
    settle();
    ASSERT_EQ(store->communityPresets().size(), 1u);

    for (const char* broken : {"{}", "{\"community\":\"nope\"}", ""}) {
        server.setAnswer(200, broken);
        store->loadCommunityPresets();
        settle();
        EXPECT_EQ(toast(), "Could not load community presets: Unexpected response from Loomshare") << broken;
        EXPECT_TRUE(store->toastIsError());
        EXPECT_FALSE(store->isLoadingCommunityPresets());
        ASSERT_EQ(store->communityPresets().size(), 1u) << broken;
        EXPECT_EQ(store->communityPresets()[0].name, "Kept");
    }
}

TEST_F(CommunityStoreTest, ListFromAStandInIsForcedToCommunity)
{
    auto preset = presetToJson(sharePreset("Shipped?"));
    preset["builtIn"] = true;
    preset["community"] = false;
    CannedServer server(200, nlohmann::json{{"community", {preset}}}.dump());
    connect(server.baseURL());
    store->loadCommunityPresets();
    EXPECT_TRUE(store->isLoadingCommunityPresets());
    settle();
    EXPECT_FALSE(store->isLoadingCommunityPresets());
    ASSERT_EQ(store->communityPresets().size(), 1u);
    EXPECT_FALSE(store->communityPresets()[0].builtIn);
    EXPECT_EQ(store->communityPresets()[0].community, true);
}

TEST_F(CommunityStoreTest, SilentServerTimesOut)
{
    SilentServer silent;
    CommunityClient::Timeouts quick{std::chrono::milliseconds(300), std::chrono::milliseconds(300)};
    connect(silent.baseURL(), quick);
    const auto started = std::chrono::steady_clock::now();
    store->loadCommunityPresets();
    settle();
    const auto waited = std::chrono::steady_clock::now() - started;
    EXPECT_EQ(toast(), "Could not load community presets: The request timed out");
    EXPECT_FALSE(store->isLoadingCommunityPresets());
    EXPECT_LT(waited, std::chrono::seconds(5));

    store->sharePreset(sharePreset(), QuadgridID);
    settle();
    EXPECT_EQ(toast(), "Share blocked: The request timed out");
}

TEST_F(CommunityStoreTest, NothingListeningIsATransportError)
{
    connect("http://127.0.0.1:1");
    store->loadCommunityPresets();
    settle();
    EXPECT_TRUE(toast().starts_with("Could not load community presets: Could not connect to the server")) << toast();
}

TEST_F(CommunityStoreTest, CompletionAfterTheStoreIsGoneDoesNothing)
{
    RunningShare share(home.path());
    connect(share.baseURL());
    store->loadCommunityPresets(); // the answer is already waiting on the main queue
    store.reset();
    EXPECT_GT(scheduler.runUntilIdle(), 0);
}

TEST_F(CommunityStoreTest, WithoutAClientSharingSaysNotConnected)
{
    addPad("quadgrid");
    makeStore();
    EXPECT_FALSE(store->communityConnected());
    store->sharePreset(sharePreset(), QuadgridID);
    EXPECT_EQ(toast(), "Share blocked: Loomshare Community is not connected");
    store->sharePreset(blockedPreset(), QuadgridID);
    EXPECT_EQ(toast(), "Blocked by safety check: L0 (0,0): Blocked bootloader/reset token \"QK_BOOT\"");
}

} // namespace
} // namespace keyglass::test
