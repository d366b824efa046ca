#include "input/linux/EvdevInputSource.h"
#include "input/HIDInputWatcher.h"
#include "platform/ManualScheduler.h"
#include "support/TempHome.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <linux/input.h>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

using namespace keyglass;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

constexpr std::uint16_t Vid = 0x1A86, Pid = 0xFE16;

input_event ev(std::uint16_t type, std::uint16_t code, std::int32_t value)
{
    input_event e{};
    e.type = type;
    e.code = code;
    e.value = value;
    return e;
}

std::vector<input_event> keyFrame(std::uint32_t scan, std::uint16_t key, std::int32_t value)
{
    return {ev(EV_MSC, MSC_SCAN, static_cast<std::int32_t>(scan)), ev(EV_KEY, key, value), ev(EV_SYN, SYN_REPORT, 0)};
}

// A folder of pipes standing in for /dev/input: the probe tells identities and held modifiers by
// node name, which it recovers from the descriptor through /proc.
class EvdevTest : public ::testing::Test
{
protected:
    EvdevTest() : dir(home.path() / "input")
    {
        fs::create_directories(dir);
        for (const char* name : {"event0", "event1", "event2", "event3", "event10"})
            ::mkfifo((dir / name).c_str(), 0600);
        identities = {{"event0", {Vid, Pid}},
                      {"event1", {Vid, Pid}},
                      {"event2", {0x046D, 0xC31C}},
                      {"event3", {0x1234, 0x0005}},
                      {"event10", {Vid, Pid}}};
        held = {{"event2", 0x02}, {"event10", 0x00}};
        source = std::make_unique<EvdevInputSource>(dir, probe());
        source->setListener([this](const InputEvent& e) { events.push_back(e); });
    }
    ~EvdevTest() override
    {
        for (auto& [name, fd] : writers)
            ::close(fd);
    }

    static std::string nameOf(int fd)
    {
        char target[4096];
        const ssize_t n = ::readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), target, sizeof target - 1);
        return n > 0 ? fs::path(std::string(target, static_cast<size_t>(n))).filename().string() : std::string();
    }

    EvdevProbe probe()
    {
        EvdevProbe p;
        p.identity = [this](const fs::path& node, int) -> std::optional<std::pair<std::uint16_t, std::uint16_t>> {
            const auto it = identities.find(node.filename().string());
            if (it == identities.end())
                return std::nullopt;
            return it->second;
        };
        p.heldModifiers = [this](int fd) -> std::optional<std::uint8_t> {
            const auto it = held.find(nameOf(fd));
            if (it == held.end())
                return std::nullopt;
            return it->second;
        };
        return p;
    }

    int fdOf(const std::string& name)
    {
        for (const int fd : source->fileDescriptors())
            if (nameOf(fd) == name)
                return fd;
        return -1;
    }

    void write(const std::string& name, const std::vector<input_event>& records)
    {
        if (!writers.contains(name))
            writers[name] = ::open((dir / name).c_str(), O_WRONLY | O_NONBLOCK);
        ASSERT_GE(writers[name], 0) << name;
        const auto bytes = records.size() * sizeof(input_event);
        ASSERT_EQ(::write(writers[name], records.data(), bytes), static_cast<ssize_t>(bytes));
    }

    keyglass::test::TempHome home;
    fs::path dir;
    std::map<std::string, std::pair<std::uint16_t, std::uint16_t>> identities;
    std::map<std::string, std::uint8_t> held;
    std::unique_ptr<EvdevInputSource> source;
    std::vector<InputEvent> events;
    std::map<std::string, int> writers;
};

} // namespace

TEST_F(EvdevTest, OpensTheNodesOfWatchedPadsOnly)
{
    EXPECT_TRUE(source->accessGranted({{Vid, Pid}}));
    const auto result = source->open({{Vid, Pid}});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.interfaces, 3);
    EXPECT_GE(fdOf("event0"), 0);
    EXPECT_GE(fdOf("event10"), 0);
    EXPECT_EQ(fdOf("event3"), -1);

    held["event10"] = 0x09; // Control and GUI held on the pad itself
    EXPECT_EQ(source->systemModifiers(), 0x0B) << "Shift on the other keyboard, the rest on the pad";

    source->close();
    EXPECT_TRUE(source->fileDescriptors().empty());
    EXPECT_EQ(source->systemModifiers(), 0);
    EXPECT_EQ(source->open({{0x1234, 0x0005}}).interfaces, 1);
}

TEST_F(EvdevTest, DecodesScanCodesKeysWheelAndConsumer)
{
    source->open({{Vid, Pid}});
    std::vector<input_event> frames;
    auto add = [&](const std::vector<input_event>& more) { frames.insert(frames.end(), more.begin(), more.end()); };
    add(keyFrame(0x700E1, KEY_LEFTSHIFT, 1));
    add(keyFrame(0x70004, KEY_A, 1));
    add({ev(EV_KEY, KEY_A, 2), ev(EV_SYN, SYN_REPORT, 0)}); // auto-repeat
    add(keyFrame(0x70004, KEY_A, 0));
    add(keyFrame(0x700E1, KEY_LEFTSHIFT, 0));
    add(keyFrame(0x70068, KEY_F13, 1));                     // the scan code wins over the key code
    add({ev(EV_KEY, KEY_B, 1), ev(EV_SYN, SYN_REPORT, 0)}); // no MSC_SCAN: from the key code
    add({ev(EV_MSC, MSC_SCAN, 0x70099), ev(EV_SYN, SYN_REPORT, 0), ev(EV_KEY, KEY_C, 1)}); // scan of another frame
    add({ev(EV_KEY, BTN_LEFT, 1), ev(EV_REL, REL_X, 4), ev(EV_REL, REL_HWHEEL, 1)});
    add({ev(EV_REL, REL_WHEEL, -1), ev(EV_REL, REL_WHEEL_HI_RES, -120), ev(EV_SYN, SYN_REPORT, 0)});
    write("event0", frames);
    write("event1", keyFrame(0xC00E9, KEY_VOLUMEUP, 1));
    write("event1", {ev(EV_KEY, KEY_PLAYPAUSE, 1)});

    source->readReady(fdOf("event0"));
    source->readReady(fdOf("event1"));
    source->readReady(12345); // not ours: ignored

    const std::vector<InputEvent> expected = {
        {Vid, Pid, 0x07, 0xE1, 1},
        {Vid, Pid, 0x07, 0x04, 1},
        {Vid, Pid, 0x07, 0x04, 0},
        {Vid, Pid, 0x07, 0xE1, 0},
        {Vid, Pid, 0x07, 0x68, 1},
        {Vid, Pid, 0x07, 0x05, 1},
        {Vid, Pid, 0x07, 0x06, 1},
        {Vid, Pid, 0x01, 0x38, -1},
        {Vid, Pid, 0x0C, 0xE9, 1},
        {Vid, Pid, 0x0C, 0xCD, 1},
    };
    EXPECT_EQ(events, expected);
}

TEST_F(EvdevTest, ReassemblesRecordsSplitAcrossReads)
{
    source->open({{Vid, Pid}});
    const auto frame = keyFrame(0x70005, KEY_B, 1);
    const char* bytes = reinterpret_cast<const char*>(frame.data());
    const size_t total = frame.size() * sizeof(input_event);
    write("event0", {});
    const int w = writers["event0"];
    ASSERT_EQ(::write(w, bytes, 30), 30);
    source->readReady(fdOf("event0"));
    EXPECT_TRUE(events.empty());
    ASSERT_EQ(::write(w, bytes + 30, total - 30), static_cast<ssize_t>(total - 30));
    source->readReady(fdOf("event0"));
    EXPECT_EQ(events, (std::vector<InputEvent>{{Vid, Pid, 0x07, 0x05, 1}}));
}

TEST_F(EvdevTest, VanishedNodeIsDroppedAfterItsLastEvents)
{
    source->open({{Vid, Pid}});
    int changes = 0;
    source->setDescriptorsChangedListener([&] {
        ++changes;
        EXPECT_EQ(fdOf("event1"), -1) << "already gone from the list when announced";
    });
    write("event1", keyFrame(0xC00E2, KEY_MUTE, 1));
    ::close(writers["event1"]);
    writers.erase("event1");
    const int fd = fdOf("event1");
    source->readReady(fd);
    EXPECT_EQ(events, (std::vector<InputEvent>{{Vid, Pid, 0x0C, 0xE2, 1}}));
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(fdOf("event1"), -1);
}

TEST_F(EvdevTest, PadNodeAppearingLaterIsPickedUp)
{
    source->open({{Vid, Pid}});
    const int folderWatch = fdOf("anon_inode:inotify");
    ASSERT_GE(folderWatch, 0) << "the folder is watched while open";
    int changes = 0;
    source->setDescriptorsChangedListener([&] { ++changes; });

    identities["event11"] = {Vid, Pid};
    identities["event12"] = {0x1234, 0x0005};
    ::mkfifo((dir / "event11").c_str(), 0600);
    ::mkfifo((dir / "event12").c_str(), 0600);
    ::mkfifo((dir / "mouse0").c_str(), 0600);
    source->readReady(folderWatch);
    EXPECT_EQ(changes, 1);
    ASSERT_GE(fdOf("event11"), 0);
    EXPECT_EQ(fdOf("event12"), -1) << "not a watched pad";

    write("event11", keyFrame(0x70068, KEY_F13, 1));
    source->readReady(fdOf("event11"));
    EXPECT_EQ(events, (std::vector<InputEvent>{{Vid, Pid, 0x07, 0x68, 1}}));

    ::chmod((dir / "event11").c_str(), 0640); // an attribute change of a node already open
    source->readReady(folderWatch);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(source->fileDescriptors().size(), 5u);
}

TEST_F(EvdevTest, UnopenablePadNodeDeniesAccessAndFailsTheOpen)
{
    fs::create_symlink(dir / "missing-target", dir / "event7");
    identities["event7"] = {Vid, Pid};
    EXPECT_FALSE(source->accessGranted({{Vid, Pid}}));
    EXPECT_TRUE(source->accessGranted({{0x1234, 0x0005}})) << "a node of another device does not matter";
    EXPECT_EQ(source->open({{Vid, Pid}}).status, -ENOENT);

    EvdevInputSource nowhere(home.path() / "no-such-dir", probe());
    EXPECT_FALSE(nowhere.accessGranted({{Vid, Pid}}));
}

TEST_F(EvdevTest, WatcherSeesShiftedKeyFromEvdevFrames)
{
    ManualScheduler scheduler;
    HIDInputWatcher watcher(scheduler, *source);
    std::vector<Keycode> codes;
    watcher.onDeviceKeycode = [&](const std::string& id, Keycode code) {
        EXPECT_EQ(id, "1A86:FE16");
        codes.push_back(code);
    };
    DeviceModel pad;
    pad.vid = Vid;
    pad.pid = Pid;
    pad.id = "1A86:FE16";
    keyglass::test::LogCapture log;
    ASSERT_TRUE(watcher.watch({pad}));

    std::vector<input_event> frames = keyFrame(0x700E5, KEY_RIGHTSHIFT, 1);
    for (const auto& more :
         {keyFrame(0x700E5, KEY_RIGHTSHIFT, 0), keyFrame(0x7001D, KEY_Z, 1), keyFrame(0x7001D, KEY_Z, 0)})
        frames.insert(frames.end(), more.begin(), more.end());
    write("event10", frames);
    source->readReady(fdOf("event10"));
    scheduler.advance(15ms);
    EXPECT_EQ(codes, std::vector<Keycode>{0x021D});
}

TEST(LinuxKeyTable, MapsKeyCodesToHidUsages)
{
    const struct
    {
        std::uint16_t code, page, usage;
    } cases[] = {
        {KEY_A, 0x07, 0x04},
        {KEY_Z, 0x07, 0x1D},
        {KEY_0, 0x07, 0x27},
        {KEY_F11, 0x07, 0x44},
        {KEY_F12, 0x07, 0x45},
        {KEY_F13, 0x07, 0x68},
        {KEY_F24, 0x07, 0x73},
        {KEY_KP0, 0x07, 0x62},
        {KEY_KP7, 0x07, 0x5F},
        {KEY_RIGHTMETA, 0x07, 0xE7},
        {KEY_LEFTALT, 0x07, 0xE2},
        {KEY_MUTE, 0x0C, 0xE2},
        {KEY_VOLUMEDOWN, 0x0C, 0xEA},
        {KEY_NEXTSONG, 0x0C, 0xB5},
        {KEY_ENTER, 0x07, 0x28},
    };
    for (const auto& c : cases)
        EXPECT_EQ(hidUsageForLinuxKey(c.code), (std::pair<std::uint16_t, std::uint16_t>{c.page, c.usage})) << c.code;
    EXPECT_EQ(hidUsageForLinuxKey(BTN_LEFT), std::nullopt);
}
