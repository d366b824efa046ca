#pragma once
// The live input source on Linux: the pads' evdev nodes (/dev/input/event*), read without grabbing
// them, so the pads keep typing into the desktop. The HID usage comes from MSC_SCAN, which the kernel
// sends before each key event of a USB HID device (keyboard page as 0x7XXXX, consumer as 0xCXXXX);
// a device that sends none gets its usage from the Linux key code. REL_WHEEL is the wheel.
//
// Pads plugged in while watching are picked up as their nodes appear (inotify on the folder), as a
// pad that is re-plugged between two device refreshes would otherwise fall silent.
//
// Main thread only: the event loop watches fileDescriptors() and calls readReady().

#include "input/InputEventSource.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

struct input_event;

namespace keyglass {

/// How nodes are identified and queried; replaced in tests, where the nodes are pipes.
struct EvdevProbe
{
    /// Vendor and product id of a node: from the open descriptor, or with fd = -1 (the node could
    /// not be opened) from wherever else the system tells it. None when unknown.
    std::function<std::optional<std::pair<std::uint16_t, std::uint16_t>>(const std::filesystem::path& node, int fd)>
        identity;
    /// The QMK modifier bits held on this node; none when it is not a keyboard.
    std::function<std::optional<std::uint8_t>(int fd)> heldModifiers;
};

/// HID (usage page, usage) of a Linux key code, for devices that do not send MSC_SCAN.
std::optional<std::pair<std::uint16_t, std::uint16_t>> hidUsageForLinuxKey(std::uint16_t code);

class EvdevInputSource final : public InputEventSource
{
public:
    explicit EvdevInputSource(std::filesystem::path inputDir = "/dev/input", EvdevProbe probe = systemProbe());
    ~EvdevInputSource() override;
    EvdevInputSource(const EvdevInputSource&) = delete;
    EvdevInputSource& operator=(const EvdevInputSource&) = delete;

    /// EVIOCGID for open nodes, /sys/class/input/<node>/device/id otherwise; EVIOCGBIT + EVIOCGKEY for
    /// the modifier state.
    static EvdevProbe systemProbe();

    bool accessGranted(const std::vector<std::pair<int, int>>& vidPids) const override;
    OpenResult open(const std::vector<std::pair<int, int>>& vidPids) override;
    void close() override;
    std::uint8_t systemModifiers() const override;
    void setListener(Listener listener) override { m_listener = std::move(listener); }
    std::vector<int> fileDescriptors() const override;
    void readReady(int fd) override;
    void setDescriptorsChangedListener(std::function<void()> listener) override
    {
        m_descriptorsChanged = std::move(listener);
    }

private:
    struct Node
    {
        std::filesystem::path path;
        int fd = -1;
        std::uint16_t vid = 0, pid = 0;
        std::string partial;               // bytes of an incomplete record
        std::optional<std::uint32_t> scan; // MSC_SCAN waiting for its key event
    };

    std::vector<std::filesystem::path> eventNodes() const;
    /// Opens `node` as a watched pad or a keyboard to ask for modifiers; -errno when a watched pad's
    /// node cannot be opened, 1 when a pad node was added, else 0.
    int adopt(const std::filesystem::path& node);
    void readNodeAppearances();
    void decode(Node& node, const input_event& event, std::vector<InputEvent>& out) const;
    void dropNode(int fd);

    std::filesystem::path m_dir;
    EvdevProbe m_probe;
    std::vector<Node> m_pads;
    std::vector<int> m_keyboards; // other keyboards, opened only to ask which modifiers they hold
    std::vector<std::pair<int, int>> m_watched;
    int m_folderWatch = -1; // inotify on m_dir while open
    Listener m_listener;
    std::function<void()> m_descriptorsChanged;
};

} // namespace keyglass
