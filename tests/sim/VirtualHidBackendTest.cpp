#include "support/SimTestHelpers.h"

#include "sim/DemoPads.h"
#include "sim/VirtualHidBackend.h"

#include <gtest/gtest.h>

namespace keyglass {
namespace {

using namespace std::chrono_literals;
using test::report;

constexpr Duration Timeout = 250ms;

class Backend : public ::testing::Test
{
protected:
    void SetUp() override
    {
        backend.addPad(quadgrid);
        backend.addPad(solodial);
    }

    std::unique_ptr<HidDevice> openQuadgrid()
    {
        auto info = backend.enumerate(RawHidUsagePage, RawHidUsage);
        for (const auto& i : info)
            if (i.pid == 0xFE16) {
                auto device = backend.open(i);
                return device ? std::move(*device) : nullptr;
            }
        return nullptr;
    }

    // One request/answer pair; the answer's byte 0, or -1 on a timeout.
    int exchange(HidDevice& device, const RawHidReport& request)
    {
        if (!device.write(request))
            return -2;
        const auto r = device.read(Timeout);
        return r.status == HidReadStatus::report ? r.data.at(0) : -1;
    }

    std::shared_ptr<VirtualPad> quadgrid = makeQuadgrid();
    std::shared_ptr<VirtualPad> solodial = makeSolodial();
    VirtualHidBackend backend;
};

TEST_F(Backend, EnumeratesRawHidInterfacesOnly)
{
    const auto raw = backend.enumerate(RawHidUsagePage, RawHidUsage);
    ASSERT_EQ(raw.size(), 2u);
    EXPECT_EQ(raw[0].path, "virtual:1A86:FE16");
    EXPECT_EQ(raw[0].vid, 0x1A86);
    EXPECT_EQ(raw[0].product, "QuadGrid Macropad");
    EXPECT_EQ(raw[1].path, "virtual:5831:4249");
    EXPECT_NE(raw[1].serial.find("vial:f64c2b3c"), std::string::npos);

    const auto keyboards = backend.enumerate(0x01, 0x06);
    ASSERT_EQ(keyboards.size(), 2u);
    EXPECT_NE(keyboards[0].path, raw[0].path);
    EXPECT_FALSE(backend.open(keyboards[0]).has_value());
    EXPECT_TRUE(backend.enumerate(0xFF60, 0x62).empty());
}

TEST_F(Backend, SameIdsGetDistinctPaths)
{
    auto twin = makeQuadgrid();
    backend.addPad(twin);
    backend.addPad(twin); // plugging the same pad twice changes nothing
    EXPECT_EQ(backend.pathOf(twin), "virtual:1A86:FE16#2");
    EXPECT_EQ(backend.enumerate(RawHidUsagePage, RawHidUsage).size(), 3u);
}

TEST_F(Backend, AnswersQueueAndRecordsRequests)
{
    auto device = openQuadgrid();
    ASSERT_TRUE(device);
    ASSERT_TRUE(device->write(report({0x01})));
    ASSERT_TRUE(device->write(report({0x11})));
    const auto first = device->read(Timeout);
    ASSERT_EQ(first.status, HidReadStatus::report);
    ASSERT_EQ(first.data.size(), 32u);
    EXPECT_EQ(first.data[2], 0x0C);
    EXPECT_EQ(device->read(0us).data.at(0), 0x11); // a zero timeout still sees a queued answer
    EXPECT_EQ(quadgrid->requests(), (std::vector<RawHidReport>{report({0x01}), report({0x11})}));
    quadgrid->clearRequests();
    EXPECT_TRUE(quadgrid->requests().empty());
    EXPECT_EQ(quadgrid->requestCount(), 2u);
}

TEST_F(Backend, ReadWithNothingQueuedAdvancesTheVirtualClock)
{
    auto device = openQuadgrid();
    const auto start = backend.now();
    EXPECT_EQ(device->read(Timeout).status, HidReadStatus::timeout);
    EXPECT_EQ(backend.now() - start, Timeout);
    EXPECT_EQ(device->read(0us).status, HidReadStatus::timeout);
    EXPECT_EQ(backend.now() - start, Timeout);
    backend.advance(1s);
    EXPECT_EQ(backend.now() - start, Timeout + 1s);
}

TEST_F(Backend, RefusedOpen)
{
    quadgrid->setRefuseOpen(true);
    EXPECT_EQ(openQuadgrid(), nullptr);
    quadgrid->clearFaults();
    EXPECT_NE(openQuadgrid(), nullptr);
}

TEST_F(Backend, DroppedAnswerTimesOutButTheWriteStillLands)
{
    auto device = openQuadgrid();
    quadgrid->dropAnswer(2);
    EXPECT_EQ(exchange(*device, report({0x01})), 0x01);
    const auto before = backend.now();
    EXPECT_EQ(exchange(*device, report({0x05, 0, 0, 0, 0x00, 0x04})), -1);
    EXPECT_EQ(backend.now() - before, Timeout);
    EXPECT_EQ(quadgrid->keycode(0, 0, 0), 0x0004);
    EXPECT_EQ(exchange(*device, report({0x11})), 0x11);
}

TEST_F(Backend, DropAllAnswers)
{
    auto device = openQuadgrid();
    quadgrid->dropAllAnswers(true);
    EXPECT_EQ(exchange(*device, report({0x01})), -1);
    EXPECT_EQ(exchange(*device, report({0x11})), -1);
    quadgrid->dropAllAnswers(false);
    EXPECT_EQ(exchange(*device, report({0x11})), 0x11);
}

TEST_F(Backend, GarbageAndWrongEcho)
{
    auto device = openQuadgrid();
    const auto normal = quadgrid->answer(report({0x04, 0, 0, 0}));
    quadgrid->setGarbageSeed(7);
    quadgrid->garbleAnswer(1);
    quadgrid->wrongEchoAnswer(2);
    ASSERT_TRUE(device->write(report({0x04, 0, 0, 0})));
    const auto garbage = device->read(Timeout);
    ASSERT_EQ(garbage.data.size(), 32u);
    EXPECT_FALSE(std::equal(garbage.data.begin(), garbage.data.end(), normal.begin()));

    ASSERT_TRUE(device->write(report({0x04, 0, 0, 0})));
    const auto wrong = device->read(Timeout);
    EXPECT_NE(wrong.data.at(0), 0x04);
    EXPECT_NE(wrong.data.at(0), 0xFF);
    EXPECT_TRUE(std::equal(wrong.data.begin() + 1, wrong.data.end(), normal.begin() + 1));

    quadgrid->wrongEchoAllAnswers(true);
    EXPECT_NE(exchange(*device, report({0x01})), 0x01);
    EXPECT_NE(exchange(*device, report({0x11})), 0x11);
    quadgrid->clearFaults();
    EXPECT_EQ(exchange(*device, report({0x11})), 0x11);
}

TEST_F(Backend, GarbleAll)
{
    auto device = openQuadgrid();
    quadgrid->garbleAllAnswers(true);
    int differing = 0;
    for (int i = 0; i < 4; ++i) {
        ASSERT_TRUE(device->write(report({0x01})));
        differing += device->read(Timeout).data != std::vector<std::uint8_t>(32, 0) ? 1 : 0;
    }
    EXPECT_EQ(differing, 4);
}

TEST_F(Backend, Byte0Overrides)
{
    auto device = openQuadgrid();
    quadgrid->overrideByte0(0x11, 0x00);
    EXPECT_EQ(exchange(*device, report({0x11})), 0x00);
    EXPECT_EQ(exchange(*device, report({0x01})), 0x01);

    auto info = backend.enumerate(RawHidUsagePage, RawHidUsage);
    auto vial = std::move(*backend.open(info[1]));
    solodial->overrideVialByte0(0x01, 0x00);
    ASSERT_TRUE(vial->write(report({0xFE, 0x01})));
    EXPECT_EQ(vial->read(Timeout).data.at(0), 0x00);
    ASSERT_TRUE(vial->write(report({0xFE, 0x00})));
    EXPECT_EQ(vial->read(Timeout).data.at(0), 0x06);
}

TEST_F(Backend, LateAnswerStaysQueuedForTheNextRead)
{
    auto device = openQuadgrid();
    quadgrid->delayAnswer(1, 300ms);
    const auto start = backend.now();
    ASSERT_TRUE(device->write(report({0x01})));
    EXPECT_EQ(device->read(Timeout).status, HidReadStatus::timeout);
    ASSERT_TRUE(device->write(report({0x11})));
    const auto late = device->read(Timeout);
    EXPECT_EQ(late.data.at(0), 0x01);
    EXPECT_EQ(backend.now() - start, 300ms);
    EXPECT_EQ(device->read(Timeout).data.at(0), 0x11);
}

TEST_F(Backend, DuplicateAnswer)
{
    auto device = openQuadgrid();
    quadgrid->duplicateAnswer(1);
    EXPECT_EQ(exchange(*device, report({0x01})), 0x01);
    EXPECT_EQ(exchange(*device, report({0x11})), 0x01);
    EXPECT_EQ(device->read(Timeout).data.at(0), 0x11);
}

TEST_F(Backend, DisconnectAfterN)
{
    auto device = openQuadgrid();
    quadgrid->disconnectAfter(2);
    EXPECT_EQ(exchange(*device, report({0x01})), 0x01);
    EXPECT_EQ(exchange(*device, report({0x11})), 0x11);
    EXPECT_FALSE(device->write(report({0x01})));
    EXPECT_EQ(device->read(Timeout).status, HidReadStatus::disconnected);
    EXPECT_TRUE(quadgrid->isDisconnected());
    EXPECT_EQ(quadgrid->requestCount(), 2u);
}

TEST_F(Backend, UnplugKillsOpenDevicesAndPlugNeedsANewOpen)
{
    auto device = openQuadgrid();
    ASSERT_TRUE(device->write(report({0x01})));
    EXPECT_TRUE(backend.unplug("1A86:FE16"));
    EXPECT_EQ(device->read(Timeout).status, HidReadStatus::disconnected);
    EXPECT_FALSE(device->write(report({0x01})));
    EXPECT_EQ(backend.enumerate(RawHidUsagePage, RawHidUsage).size(), 1u);
    EXPECT_FALSE(backend.unplug("virtual:1A86:FE16"));

    backend.plug(quadgrid);
    EXPECT_FALSE(device->write(report({0x01})));
    auto again = openQuadgrid();
    ASSERT_TRUE(again);
    EXPECT_EQ(exchange(*again, report({0x01})), 0x01);
    EXPECT_TRUE(backend.unplug(quadgrid));
    EXPECT_EQ(backend.pads(), (std::vector<std::shared_ptr<VirtualPad>>{solodial}));
}

TEST_F(Backend, ReplugLosesRamStateButKeepsEeprom)
{
    auto device = openQuadgrid();
    exchange(*device, report({0x07, 0x01, 0x02, 10})); // brightness, not saved
    exchange(*device, report({0x05, 0, 0, 0, 0x00, 0x04}));
    quadgrid->setActiveLayer(2);
    quadgrid->disconnectAfter(0);
    EXPECT_FALSE(device->write(report({0x01})));

    backend.unplug(quadgrid);
    backend.plug(quadgrid);
    EXPECT_FALSE(quadgrid->isDisconnected());
    EXPECT_EQ(quadgrid->lighting().brightness, 128);
    EXPECT_EQ(quadgrid->activeLayer(), 0);
    EXPECT_EQ(quadgrid->keycode(0, 0, 0), 0x0004);
    auto again = openQuadgrid();
    EXPECT_EQ(exchange(*again, report({0x01})), 0x01);
}

TEST_F(Backend, UptimeRunsOnTheVirtualClock)
{
    auto device = openQuadgrid();
    backend.advance(1500ms);
    ASSERT_TRUE(device->write(report({0x02, 0x01})));
    const auto a = device->read(Timeout).data;
    EXPECT_EQ((a[2] << 24) | (a[3] << 16) | (a[4] << 8) | a[5], 1500);
}

} // namespace
} // namespace keyglass
