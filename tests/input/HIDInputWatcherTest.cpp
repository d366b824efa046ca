#include "input/HIDInputWatcher.h"
#include "support/ScriptedInput.h"
#include "platform/ManualScheduler.h"
#include "support/TempHome.h"

#include <gtest/gtest.h>

using namespace keyglass;
using keyglass::test::ScriptedInput;
using namespace std::chrono_literals;

namespace {

constexpr std::uint16_t Vid = 0x1A86, Pid = 0xFE16;
const std::string PadID = "1A86:FE16";

DeviceModel pad(int vid, int pid, DeviceProtocol proto = DeviceProtocol::via(12))
{
    DeviceModel device;
    device.vid = vid;
    device.pid = pid;
    device.id = deviceIdentifier(vid, pid);
    device.proto = proto;
    return device;
}

class WatcherTest : public ::testing::Test
{
protected:
    WatcherTest()
    {
        watcher.onDeviceKeycode = [this](const std::string& id, Keycode code) { reports.emplace_back(id, code); };
    }

    void key(std::uint16_t usage, std::int32_t value = 1) { source.send(Vid, Pid, 0x07, usage, value); }
    void tap(std::uint16_t usage)
    {
        key(usage, 1);
        key(usage, 0);
    }
    std::vector<Keycode> codes() const
    {
        std::vector<Keycode> out;
        for (const auto& [id, code] : reports)
            out.push_back(code);
        return out;
    }

    keyglass::test::TempHome home;
    ManualScheduler scheduler;
    // Granted, and every open finds three interfaces (keyboard, mouse and consumer control).
    ScriptedInput source = [] {
        ScriptedInput input{true};
        input.nextOpen = InputEventSource::OpenResult{0, 3};
        return input;
    }();
    HIDInputWatcher watcher{scheduler, source};
    std::vector<std::pair<std::string, Keycode>> reports;
};

} // namespace

TEST(KeycodesMatch, FoldsMediaAndWheelTwins)
{
    struct Case
    {
        Keycode a, b;
        bool match;
    };
    const Case cases[] = {
        {0x007F, 0x00A8, true},
        {0x0080, 0x00A9, true},
        {0x00A9, 0x0080, true},
        {0x0081, 0x00AA, true},
        {0x00F9, 0x00D9, true},
        {0x00DA, 0x00FA, true},
        {0x00F9, 0x00F9, true},
        {0x0004, 0x0004, true},
        {0x007F, 0x0080, false},
        {0x00F9, 0x00DA, false},
        {0x0180, 0x00A9, false},
        {0x0004, 0x0204, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(keycodesMatch(c.a, c.b), c.match) << std::hex << c.a << " vs " << c.b;
}

TEST_F(WatcherTest, TappedModifierBeforeKeyCountsOnceThenClears)
{
    tap(0xE1); // Left Shift pressed and released before the key
    key(0x04);
    key(0x04, 0);
    scheduler.advance(14ms);
    EXPECT_TRUE(reports.empty()) << "held back for 15 ms";
    scheduler.advance(1ms);
    ASSERT_EQ(codes(), std::vector<Keycode>{0x0204});
    EXPECT_EQ(reports[0].first, PadID);

    tap(0x05);
    scheduler.advance(20ms);
    EXPECT_EQ(codes(), (std::vector<Keycode>{0x0204, 0x0005})) << "the pending Shift was used up";
}

TEST_F(WatcherTest, ModifiersHeldElsewhereOrDuringTheBurstAreMerged)
{
    source.mods = 0x08; // Command held on the computer's own keyboard
    tap(0x04);
    scheduler.advance(15ms);
    source.mods = 0;

    key(0xE4); // Right Control held on the pad: folds onto the Control bit
    tap(0x1D);
    scheduler.advance(15ms);
    tap(0x1B); // still held: the active mask keeps counting
    scheduler.advance(15ms);
    key(0xE4, 0);

    tap(0x06);
    key(0xE6); // Right Alt pressed after the key but within the burst
    scheduler.advance(15ms);
    key(0xE6, 0);

    EXPECT_EQ(codes(), (std::vector<Keycode>{0x0804, 0x011D, 0x011B, 0x0406}));
}

TEST_F(WatcherTest, BurstReportsOnlyItsLastKeyPerDevice)
{
    tap(0x04);
    source.send(0x1234, 0x0005, 0x07, 0x06, 1); // another pad debounces on its own
    scheduler.advance(10ms);
    tap(0x05);
    scheduler.advance(5ms);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0], (std::pair<std::string, Keycode>{"1234:0005", 0x0006}));
    scheduler.advance(9ms);
    EXPECT_EQ(reports.size(), 1u);
    scheduler.advance(1ms);
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports[1], (std::pair<std::string, Keycode>{PadID, 0x0005}));
    scheduler.advance(100ms);
    EXPECT_EQ(reports.size(), 2u);
}

TEST_F(WatcherTest, MediaAndWheelReportAtOnceWithoutModifiers)
{
    key(0xE1); // Shift held must not leak into media keys
    const struct
    {
        std::uint16_t page, usage;
        std::int32_t value;
        Keycode expected;
    } cases[] = {
        {0x0C, 0xB5, 1, 0x00AB},
        {0x0C, 0xB6, 1, 0x00AC},
        {0x0C, 0xCD, 1, 0x00AE},
        {0x0C, 0xE2, 1, 0x00A8},
        {0x0C, 0xE9, 1, 0x00A9},
        {0x0C, 0xEA, 1, 0x00AA},
        {0x07, 0x7F, 1, 0x00A8},
        {0x07, 0x80, 1, 0x00A9},
        {0x07, 0x81, 1, 0x00AA},
        {0x01, 0x38, 3, 0x00D9},
        {0x01, 0x38, -1, 0x00DA},
    };
    for (const auto& c : cases) {
        reports.clear();
        source.send(Vid, Pid, c.page, c.usage, c.value);
        ASSERT_EQ(reports.size(), 1u) << std::hex << c.page << ":" << c.usage;
        EXPECT_EQ(reports[0].second, c.expected) << std::hex << c.page << ":" << c.usage;
    }
}

TEST_F(WatcherTest, IgnoresReleasesZeroValuesAndUnknownUsages)
{
    const struct
    {
        std::uint16_t page, usage;
        std::int32_t value;
    } ignored[] = {
        {0x07, 0x04, 0},
        {0x07, 0x03, 1},
        {0x07, 0x00, 1},
        {0x07, 0x82, 1},
        {0x07, 0xE8, 1},
        {0x0C, 0xE9, 0},
        {0x0C, 0x30, 1},
        {0x01, 0x38, 0},
        {0x01, 0x30, 5},
        {0x09, 0x01, 1},
        {0xFF60, 0x61, 1},
    };
    for (const auto& c : ignored)
        source.send(Vid, Pid, c.page, c.usage, c.value);
    scheduler.advance(100ms);
    EXPECT_TRUE(reports.empty());
}

struct WheelCase
{
    DeviceProtocol proto;
    Keycode up, down;

    friend void PrintTo(const WheelCase& c, std::ostream* out) { *out << c.proto.label(); }
};

class WheelNumbering : public WatcherTest, public ::testing::WithParamInterface<WheelCase>
{
};

TEST_P(WheelNumbering, FollowsTheDeviceProtocol)
{
    ASSERT_TRUE(watcher.watch({pad(Vid, Pid, GetParam().proto)}));
    source.send(Vid, Pid, 0x01, 0x38, 1);
    source.send(Vid, Pid, 0x01, 0x38, -2);
    EXPECT_EQ(codes(), (std::vector<Keycode>{GetParam().up, GetParam().down}));
}

INSTANTIATE_TEST_SUITE_P(Protocols,
                         WheelNumbering,
                         ::testing::Values(WheelCase{DeviceProtocol::via(9), 0x00F9, 0x00FA},
                                           WheelCase{DeviceProtocol::via(10), 0x00D9, 0x00DA},
                                           WheelCase{DeviceProtocol::via(12), 0x00D9, 0x00DA},
                                           WheelCase{DeviceProtocol::vial(9, 5, 1), 0x00F9, 0x00FA},
                                           WheelCase{DeviceProtocol::vial(9, 6, 1), 0x00D9, 0x00DA}));

TEST_F(WatcherTest, UnwatchedDeviceUsesCurrentWheelNumbering)
{
    ASSERT_TRUE(watcher.watch({pad(Vid, Pid, DeviceProtocol::via(9))}));
    source.send(0x4444, 0x5555, 0x01, 0x38, 1);
    EXPECT_EQ(codes(), std::vector<Keycode>{0x00D9});
}

TEST_F(WatcherTest, WatchOpensOncePerDeviceSetAndLogsEachOpen)
{
    keyglass::test::LogCapture log;
    const std::vector<DeviceModel> devices = {pad(Vid, Pid), pad(0x1234, 0x0005)};

    EXPECT_TRUE(watcher.watch(devices));
    EXPECT_TRUE(watcher.watch(devices));
    EXPECT_EQ(source.opens, 1);
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_NE(log.lines()[0].find("] HIDInputWatcher watching [\"1A86:FE16\", \"1234:0005\"] -> open=0, interfaces=3"),
              std::string::npos)
        << log.lines()[0];
    EXPECT_EQ(source.opened, (std::vector<std::pair<int, int>>{{0x1A86, 0xFE16}, {0x1234, 0x0005}}));

    // The protocol of a device may change without a rebuild: the wheel numbering follows at once.
    EXPECT_TRUE(watcher.watch({pad(Vid, Pid, DeviceProtocol::via(9)), pad(0x1234, 0x0005)}));
    EXPECT_EQ(source.opens, 1);
    source.send(Vid, Pid, 0x01, 0x38, 1);
    EXPECT_EQ(codes(), std::vector<Keycode>{0x00F9});

    EXPECT_TRUE(watcher.watch({pad(Vid, Pid)}));
    EXPECT_EQ(source.opens, 2);
    EXPECT_EQ(source.closes, 1);
    EXPECT_EQ(log.lines().size(), 2u);

    EXPECT_TRUE(watcher.watch({}));
    EXPECT_FALSE(watcher.isWatching());
    EXPECT_EQ(source.closes, 2);
    EXPECT_EQ(log.lines().size(), 2u) << "an empty list opens nothing";
}

TEST_F(WatcherTest, AccessDeniedAndFailedOpenLeaveTheWatcherOff)
{
    keyglass::test::LogCapture log;
    source.granted = false;
    EXPECT_FALSE(watcher.watch({pad(Vid, Pid)}));
    EXPECT_FALSE(watcher.accessGranted({pad(Vid, Pid)}));
    EXPECT_EQ(source.opens, 0);
    EXPECT_TRUE(log.lines().empty());

    source.granted = true;
    source.nextOpen = {-13, 0};
    EXPECT_FALSE(watcher.watch({pad(Vid, Pid)}));
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_NE(log.lines()[0].find("HIDInputWatcher watching [\"1A86:FE16\"] -> open=-13, interfaces=0"),
              std::string::npos);

    source.nextOpen = {0, 2};
    EXPECT_TRUE(watcher.watch({pad(Vid, Pid)})) << "same devices, but the failed open is retried";
    EXPECT_EQ(source.opens, 2);
    EXPECT_TRUE(watcher.isWatching());
}

TEST_F(WatcherTest, PendingKeyIsDroppedWithTheWatcher)
{
    auto second = std::make_unique<HIDInputWatcher>(scheduler, source);
    int fired = 0;
    second->onDeviceKeycode = [&](const std::string&, Keycode) { ++fired; };
    source.send(Vid, Pid, 0x07, 0x04, 1);
    second.reset();
    scheduler.advance(50ms);
    EXPECT_EQ(fired, 0);
    EXPECT_FALSE(source.listener) << "the listener does not outlive the watcher";
}
