// The hidapi adapter end to end over the hidapi double: what reaches hidraw, and how hidapi's return
// values come back to the session.
#include "HidapiDouble.h"

#include "device/Discovery.h"
#include "device/RawHidSession.h"
#include "device/linux/HidapiBackend.h"
#include "sim/DemoPads.h"
#include "sim/VirtualHidBackend.h"
#include "support/TempHome.h"

#include <gtest/gtest.h>

namespace keyglass {
namespace {

using namespace std::chrono_literals;
using test::HidapiDouble;

class Hidapi : public ::testing::Test
{
protected:
    void SetUp() override
    {
        fake().reset();
        fake().interfaces = {
            {"/dev/hidraw3", 0x1A86, 0xFE16, 0x01, 0x06, L"Loomworks", L"QuadGrid Macropad", L"QG16-0412", nullptr},
            {"/dev/hidraw4", 0x1A86, 0xFE16, 0xFF60, 0x61, L"Loomworks", L"QuadGrid Macropad", L"QG16-0412", quadgrid},
            {"/dev/hidraw7",
             0x5831,
             0x4249,
             0xFF60,
             0x61,
             L"Tinker\u00f6",
             L"SoloDial \U0001F39B",
             L"vial:f64c2b3c",
             solodial},
        };
    }

    static HidapiDouble& fake() { return HidapiDouble::instance(); }

    std::unique_ptr<HidDevice> openQuadgrid()
    {
        auto device = backend.open(backend.enumerate(RawHidUsagePage, RawHidUsage).front());
        return device ? std::move(*device) : nullptr;
    }

    test::TempHome home;
    std::shared_ptr<VirtualPad> quadgrid = makeQuadgrid();
    std::shared_ptr<VirtualPad> solodial = makeSolodial();
    HidapiBackend backend;
};

TEST_F(Hidapi, EnumeratesTheRawHidInterfacesWithTheirStringsAndFreesTheList)
{
    const auto found = backend.enumerate(RawHidUsagePage, RawHidUsage);
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].path, "/dev/hidraw4");
    EXPECT_EQ(found[0].vid, 0x1A86);
    EXPECT_EQ(found[0].product, "QuadGrid Macropad");
    EXPECT_EQ(found[1].manufacturer, "Tinker\xc3\xb6");
    EXPECT_EQ(found[1].product, "SoloDial \xf0\x9f\x8e\x9b");
    EXPECT_EQ(fake().enumerations, fake().freedEnumerations);
}

TEST_F(Hidapi, WritesReportIdZeroThenThe32RequestBytes)
{
    auto device = openQuadgrid();
    ASSERT_TRUE(device);
    RawHidReport request{};
    request[0] = 0x04;
    request[2] = 1;
    request[31] = 0x77;
    ASSERT_TRUE(device->write(request));
    ASSERT_EQ(fake().writes.size(), 1u);
    const auto& sent = fake().writes[0];
    ASSERT_EQ(sent.size(), 33u);
    EXPECT_EQ(sent[0], 0x00);
    EXPECT_TRUE(std::equal(request.begin(), request.end(), sent.begin() + 1));
    EXPECT_EQ(quadgrid->requests().back(), request);

    const auto answer = device->read(250ms);
    ASSERT_EQ(answer.status, HidReadStatus::report);
    ASSERT_EQ(answer.data.size(), 32u);
    EXPECT_EQ(answer.data[0], 0x04);
    EXPECT_EQ(answer.data[5], quadgrid->keycode(0, 1, 0) & 0xFF);
}

TEST_F(Hidapi, ZeroByteReadIsATimeoutWithTheWaitRoundedUpToWholeMilliseconds)
{
    auto device = openQuadgrid();
    EXPECT_EQ(device->read(1500us).status, HidReadStatus::timeout);
    EXPECT_EQ(device->read(Duration::zero()).status, HidReadStatus::timeout);
    EXPECT_EQ(fake().readTimeoutsMs, (std::vector<int>{2, 0}));
}

TEST_F(Hidapi, ShortWriteIsAFailedWriteAndIsLogged)
{
    test::LogCapture log;
    auto device = openQuadgrid();
    fake().shortWrite = 17;
    EXPECT_FALSE(device->write(RawHidReport{0x01}));
    EXPECT_FALSE(device->write(RawHidReport{0x01}));
    EXPECT_TRUE(log.contains("RawHID write to /dev/hidraw4 was short: 17 of 33 bytes"));
    EXPECT_EQ(log.lines().size(), 1u); // once per device, not per request
}

TEST_F(Hidapi, FailedWriteAndReadReportHidapisReason)
{
    test::LogCapture log;
    auto writer = openQuadgrid();
    fake().failWrites = true;
    fake().errorText = L"Broken pipe";
    EXPECT_FALSE(writer->write(RawHidReport{0x01}));
    EXPECT_TRUE(log.contains("RawHID write to /dev/hidraw4 failed: Broken pipe"));

    fake().failWrites = false;
    fake().failReads = true;
    fake().errorText = L"Input/output error";
    auto reader = openQuadgrid();
    EXPECT_EQ(reader->read(5ms).status, HidReadStatus::disconnected);
    EXPECT_TRUE(log.contains("RawHID read from /dev/hidraw4 failed: Input/output error"));
}

TEST_F(Hidapi, UnpluggedPadFailsTheSessionInsteadOfWaiting)
{
    auto session = RawHidSession::open(backend, 0x1A86, 0xFE16);
    ASSERT_TRUE(session);
    ASSERT_TRUE(session->exchange({0x01}));
    quadgrid->disconnectAfter(0);
    EXPECT_FALSE(session->exchange({0x01}));
    session->close();
    EXPECT_EQ(fake().opens, fake().closes);
}

TEST_F(Hidapi, OpeningAMissingNodeSaysWhy)
{
    const auto opened = backend.open({"/dev/hidraw-gone", 1, 2, RawHidUsagePage, RawHidUsage, "", "", ""});
    ASSERT_FALSE(opened);
    EXPECT_NE(opened.error().message.find("could not open /dev/hidraw-gone: "), std::string::npos);
    EXPECT_NE(opened.error().code, HidOpenNoPermission);
}

TEST_F(Hidapi, LoadsBothDemoPadsExactlyAsTheVirtualStackDoes)
{
    VirtualHidBackend reference;
    reference.addPad(makeQuadgrid());
    reference.addPad(makeSolodial());
    const auto viaHidapi = enumerateEndpoints(backend);
    const auto viaVirtual = enumerateEndpoints(reference);
    ASSERT_EQ(viaHidapi.size(), viaVirtual.size());
    for (std::size_t i = 0; i < viaHidapi.size(); ++i) {
        LoadStats hidapiStats, virtualStats;
        auto a = loadDevice(backend, viaHidapi[i], &hidapiStats);
        auto b = loadDevice(reference, viaVirtual[i], &virtualStats);
        ASSERT_TRUE(a && b) << viaHidapi[i].id();
        EXPECT_EQ(a->keymap, b->keymap) << a->id;
        EXPECT_EQ(a->encoderMap, b->encoderMap) << a->id;
        EXPECT_EQ(a->tapDances, b->tapDances) << a->id;
        EXPECT_EQ(a->rgb, b->rgb) << a->id;
        EXPECT_EQ(a->keys, b->keys) << a->id;
        EXPECT_EQ(hidapiStats.exchanges, virtualStats.exchanges) << a->id;
        EXPECT_EQ(a->unreadCount(), 0) << a->id;
    }
    EXPECT_EQ(fake().opens, fake().closes);
    for (const auto& w : fake().writes) {
        ASSERT_EQ(w.size(), 33u);
        EXPECT_EQ(w[0], 0);
    }
}

} // namespace
} // namespace keyglass
