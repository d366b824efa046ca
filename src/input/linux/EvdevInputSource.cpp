#include "input/linux/EvdevInputSource.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <linux/input.h>
#include <map>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace keyglass {

namespace fs = std::filesystem;

namespace {

constexpr std::uint16_t GenericDesktopPage = 0x01;
constexpr std::uint16_t WheelUsage = 0x38;
constexpr std::uint16_t KeyboardPage = 0x07;
constexpr std::uint16_t ConsumerPage = 0x0C;
constexpr std::int32_t KeyRepeat = 2;

const std::map<std::uint16_t, std::pair<std::uint16_t, std::uint16_t>>& linuxKeyTable()
{
    static const auto table = [] {
        std::map<std::uint16_t, std::pair<std::uint16_t, std::uint16_t>> t;
        const std::pair<std::uint16_t, std::uint16_t> keyboard[] = {
            {KEY_A, 0x04},          {KEY_B, 0x05},         {KEY_C, 0x06},          {KEY_D, 0x07},
            {KEY_E, 0x08},          {KEY_F, 0x09},         {KEY_G, 0x0A},          {KEY_H, 0x0B},
            {KEY_I, 0x0C},          {KEY_J, 0x0D},         {KEY_K, 0x0E},          {KEY_L, 0x0F},
            {KEY_M, 0x10},          {KEY_N, 0x11},         {KEY_O, 0x12},          {KEY_P, 0x13},
            {KEY_Q, 0x14},          {KEY_R, 0x15},         {KEY_S, 0x16},          {KEY_T, 0x17},
            {KEY_U, 0x18},          {KEY_V, 0x19},         {KEY_W, 0x1A},          {KEY_X, 0x1B},
            {KEY_Y, 0x1C},          {KEY_Z, 0x1D},         {KEY_1, 0x1E},          {KEY_2, 0x1F},
            {KEY_3, 0x20},          {KEY_4, 0x21},         {KEY_5, 0x22},          {KEY_6, 0x23},
            {KEY_7, 0x24},          {KEY_8, 0x25},         {KEY_9, 0x26},          {KEY_0, 0x27},
            {KEY_ENTER, 0x28},      {KEY_ESC, 0x29},       {KEY_BACKSPACE, 0x2A},  {KEY_TAB, 0x2B},
            {KEY_SPACE, 0x2C},      {KEY_MINUS, 0x2D},     {KEY_EQUAL, 0x2E},      {KEY_LEFTBRACE, 0x2F},
            {KEY_RIGHTBRACE, 0x30}, {KEY_BACKSLASH, 0x31}, {KEY_SEMICOLON, 0x33},  {KEY_APOSTROPHE, 0x34},
            {KEY_GRAVE, 0x35},      {KEY_COMMA, 0x36},     {KEY_DOT, 0x37},        {KEY_SLASH, 0x38},
            {KEY_CAPSLOCK, 0x39},   {KEY_F1, 0x3A},        {KEY_F2, 0x3B},         {KEY_F3, 0x3C},
            {KEY_F4, 0x3D},         {KEY_F5, 0x3E},        {KEY_F6, 0x3F},         {KEY_F7, 0x40},
            {KEY_F8, 0x41},         {KEY_F9, 0x42},        {KEY_F10, 0x43},        {KEY_F11, 0x44},
            {KEY_F12, 0x45},        {KEY_SYSRQ, 0x46},     {KEY_SCROLLLOCK, 0x47}, {KEY_PAUSE, 0x48},
            {KEY_INSERT, 0x49},     {KEY_HOME, 0x4A},      {KEY_PAGEUP, 0x4B},     {KEY_DELETE, 0x4C},
            {KEY_END, 0x4D},        {KEY_PAGEDOWN, 0x4E},  {KEY_RIGHT, 0x4F},      {KEY_LEFT, 0x50},
            {KEY_DOWN, 0x51},       {KEY_UP, 0x52},        {KEY_NUMLOCK, 0x53},    {KEY_KPSLASH, 0x54},
            {KEY_KPASTERISK, 0x55}, {KEY_KPMINUS, 0x56},   {KEY_KPPLUS, 0x57},     {KEY_KPENTER, 0x58},
            {KEY_KP1, 0x59},        {KEY_KP2, 0x5A},       {KEY_KP3, 0x5B},        {KEY_KP4, 0x5C},
            {KEY_KP5, 0x5D},        {KEY_KP6, 0x5E},       {KEY_KP7, 0x5F},        {KEY_KP8, 0x60},
            {KEY_KP9, 0x61},        {KEY_KP0, 0x62},       {KEY_KPDOT, 0x63},      {KEY_102ND, 0x64},
            {KEY_COMPOSE, 0x65},    {KEY_POWER, 0x66},     {KEY_KPEQUAL, 0x67},    {KEY_F13, 0x68},
            {KEY_F14, 0x69},        {KEY_F15, 0x6A},       {KEY_F16, 0x6B},        {KEY_F17, 0x6C},
            {KEY_F18, 0x6D},        {KEY_F19, 0x6E},       {KEY_F20, 0x6F},        {KEY_F21, 0x70},
            {KEY_F22, 0x71},        {KEY_F23, 0x72},       {KEY_F24, 0x73},        {KEY_OPEN, 0x74},
            {KEY_HELP, 0x75},       {KEY_PROPS, 0x76},     {KEY_FRONT, 0x77},      {KEY_STOP, 0x78},
            {KEY_AGAIN, 0x79},      {KEY_UNDO, 0x7A},      {KEY_CUT, 0x7B},        {KEY_COPY, 0x7C},
            {KEY_PASTE, 0x7D},      {KEY_FIND, 0x7E},      {KEY_LEFTCTRL, 0xE0},   {KEY_LEFTSHIFT, 0xE1},
            {KEY_LEFTALT, 0xE2},    {KEY_LEFTMETA, 0xE3},  {KEY_RIGHTCTRL, 0xE4},  {KEY_RIGHTSHIFT, 0xE5},
            {KEY_RIGHTALT, 0xE6},   {KEY_RIGHTMETA, 0xE7},
        };
        for (const auto& [code, usage] : keyboard)
            t[code] = {KeyboardPage, usage};
        // Media keys arrive from QMK on the consumer page; the keyboard-page twins match them anyway.
        const std::pair<std::uint16_t, std::uint16_t> consumer[] = {
            {KEY_MUTE, 0xE2},
            {KEY_VOLUMEUP, 0xE9},
            {KEY_VOLUMEDOWN, 0xEA},
            {KEY_NEXTSONG, 0xB5},
            {KEY_PREVIOUSSONG, 0xB6},
            {KEY_STOPCD, 0xB7},
            {KEY_PLAYPAUSE, 0xCD},
        };
        for (const auto& [code, usage] : consumer)
            t[code] = {ConsumerPage, usage};
        return t;
    }();
    return table;
}

constexpr size_t bitsPerLong = sizeof(unsigned long) * CHAR_BIT;

bool testBit(const unsigned long* bits, unsigned bit)
{
    return (bits[bit / bitsPerLong] >> (bit % bitsPerLong)) & 1ul;
}

std::optional<std::uint16_t> readSysfsHex(const fs::path& file)
{
    std::ifstream in(file);
    std::string text;
    if (!(in >> text) || text.empty() || text.size() > 4)
        return std::nullopt;
    unsigned value = 0;
    for (const char c : text) {
        const int digit = std::isdigit(static_cast<unsigned char>(c)) ? c - '0'
                          : (c >= 'a' && c <= 'f')                    ? c - 'a' + 10
                          : (c >= 'A' && c <= 'F')                    ? c - 'A' + 10
                                                                      : -1;
        if (digit < 0)
            return std::nullopt;
        value = value * 16 + static_cast<unsigned>(digit);
    }
    return static_cast<std::uint16_t>(value);
}

// event10 after event9.
bool nodeOrder(const fs::path& a, const fs::path& b)
{
    const std::string na = a.filename().string(), nb = b.filename().string();
    if (na.size() != nb.size())
        return na.size() < nb.size();
    return na < nb;
}

bool isWatched(const std::vector<std::pair<int, int>>& vidPids, std::uint16_t vid, std::uint16_t pid)
{
    return std::any_of(
        vidPids.begin(), vidPids.end(), [&](const auto& p) { return p.first == vid && p.second == pid; });
}

int openNode(const fs::path& node)
{
    int fd;
    do {
        fd = ::open(node.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

} // namespace

std::optional<std::pair<std::uint16_t, std::uint16_t>> hidUsageForLinuxKey(std::uint16_t code)
{
    const auto& table = linuxKeyTable();
    const auto it = table.find(code);
    if (it == table.end())
        return std::nullopt;
    return it->second;
}

EvdevProbe EvdevInputSource::systemProbe()
{
    EvdevProbe probe;
    probe.identity = [](const fs::path& node, int fd) -> std::optional<std::pair<std::uint16_t, std::uint16_t>> {
        if (fd >= 0) {
            input_id id{};
            if (::ioctl(fd, EVIOCGID, &id) < 0)
                return std::nullopt;
            return std::pair{id.vendor, id.product};
        }
        const fs::path ids = fs::path("/sys/class/input") / node.filename() / "device" / "id";
        const auto vid = readSysfsHex(ids / "vendor");
        const auto pid = readSysfsHex(ids / "product");
        if (!vid || !pid)
            return std::nullopt;
        return std::pair{*vid, *pid};
    };
    probe.heldModifiers = [](int fd) -> std::optional<std::uint8_t> {
        unsigned long capabilities[(KEY_CNT + bitsPerLong - 1) / bitsPerLong] = {};
        if (::ioctl(fd, EVIOCGBIT(EV_KEY, sizeof capabilities), capabilities) < 0)
            return std::nullopt;
        if (!testBit(capabilities, KEY_LEFTCTRL) && !testBit(capabilities, KEY_LEFTSHIFT) &&
            !testBit(capabilities, KEY_LEFTMETA))
            return std::nullopt;
        unsigned long state[(KEY_CNT + bitsPerLong - 1) / bitsPerLong] = {};
        if (::ioctl(fd, EVIOCGKEY(sizeof state), state) < 0)
            return std::nullopt;
        std::uint8_t mask = 0;
        const struct
        {
            unsigned left, right;
            std::uint8_t bit;
        } modifiers[] = {{KEY_LEFTCTRL, KEY_RIGHTCTRL, 0x01},
                         {KEY_LEFTSHIFT, KEY_RIGHTSHIFT, 0x02},
                         {KEY_LEFTALT, KEY_RIGHTALT, 0x04},
                         {KEY_LEFTMETA, KEY_RIGHTMETA, 0x08}};
        for (const auto& m : modifiers) {
            if (testBit(state, m.left) || testBit(state, m.right))
                mask |= m.bit;
        }
        return mask;
    };
    return probe;
}

EvdevInputSource::EvdevInputSource(fs::path inputDir, EvdevProbe probe)
    : m_dir(std::move(inputDir)), m_probe(std::move(probe))
{
}

EvdevInputSource::~EvdevInputSource()
{
    close();
}

std::vector<fs::path> EvdevInputSource::eventNodes() const
{
    std::vector<fs::path> nodes;
    std::error_code ec;
    for (fs::directory_iterator it(m_dir, ec), end; !ec && it != end; it.increment(ec)) {
        if (it->path().filename().string().starts_with("event"))
            nodes.push_back(it->path());
    }
    std::sort(nodes.begin(), nodes.end(), nodeOrder);
    return nodes;
}

bool EvdevInputSource::accessGranted(const std::vector<std::pair<int, int>>& vidPids) const
{
    std::error_code ec;
    if (!fs::is_directory(m_dir, ec))
        return false;
    for (const auto& node : eventNodes()) {
        const int fd = openNode(node);
        if (fd >= 0) {
            ::close(fd);
            continue;
        }
        const auto id = m_probe.identity(node, -1);
        if (id && isWatched(vidPids, id->first, id->second))
            return false;
    }
    return true;
}

int EvdevInputSource::adopt(const fs::path& node)
{
    const int fd = openNode(node);
    if (fd < 0) {
        const int error = errno;
        const auto id = m_probe.identity(node, -1);
        return id && isWatched(m_watched, id->first, id->second) ? -error : 0;
    }
    const auto id = m_probe.identity(node, fd);
    if (id && isWatched(m_watched, id->first, id->second)) {
        m_pads.push_back(Node{node, fd, id->first, id->second, {}, std::nullopt});
        return 1;
    }
    if (m_probe.heldModifiers && m_probe.heldModifiers(fd).has_value())
        m_keyboards.push_back(fd);
    else
        ::close(fd);
    return 0;
}

InputEventSource::OpenResult EvdevInputSource::open(const std::vector<std::pair<int, int>>& vidPids)
{
    close();
    m_watched = vidPids;
    // Watching the folder first: a node that appears during the scan is then not missed.
    m_folderWatch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_folderWatch >= 0 &&
        ::inotify_add_watch(m_folderWatch, m_dir.c_str(), IN_CREATE | IN_ATTRIB | IN_MOVED_TO) < 0) {
        ::close(m_folderWatch);
        m_folderWatch = -1;
    }
    OpenResult result;
    for (const auto& node : eventNodes()) {
        const int adopted = adopt(node);
        if (adopted < 0 && result.status == 0)
            result.status = adopted;
    }
    result.interfaces = static_cast<int>(m_pads.size());
    return result;
}

void EvdevInputSource::close()
{
    for (const auto& node : m_pads)
        ::close(node.fd);
    for (const int fd : m_keyboards)
        ::close(fd);
    if (m_folderWatch >= 0)
        ::close(m_folderWatch);
    m_folderWatch = -1;
    m_pads.clear();
    m_keyboards.clear();
    m_watched.clear();
}

// udev creates a node and sets its permissions a moment later, so a node is tried on creation and
// again on every attribute change until it opens.
void EvdevInputSource::readNodeAppearances()
{
    alignas(inotify_event) char buffer[4096];
    bool added = false;
    for (;;) {
        const ssize_t n = ::read(m_folderWatch, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= n;) {
            inotify_event header;
            std::memcpy(&header, buffer + at, sizeof header);
            const size_t nameLength = ::strnlen(buffer + at + sizeof header, header.len);
            const std::string name(buffer + at + sizeof header, nameLength);
            at += static_cast<ssize_t>(sizeof header + header.len);
            if (!name.starts_with("event"))
                continue;
            const fs::path node = m_dir / name;
            const bool known = std::any_of(m_pads.begin(), m_pads.end(), [&](const Node& p) { return p.path == node; });
            if (!known && adopt(node) > 0)
                added = true;
        }
    }
    if (added && m_descriptorsChanged)
        m_descriptorsChanged();
}

std::uint8_t EvdevInputSource::systemModifiers() const
{
    std::uint8_t mask = 0;
    if (!m_probe.heldModifiers)
        return mask;
    auto add = [&](int fd) {
        if (const auto held = m_probe.heldModifiers(fd))
            mask |= *held;
    };
    for (const int fd : m_keyboards)
        add(fd);
    for (const auto& node : m_pads)
        add(node.fd);
    return mask;
}

std::vector<int> EvdevInputSource::fileDescriptors() const
{
    std::vector<int> fds;
    fds.reserve(m_pads.size() + 1);
    for (const auto& node : m_pads)
        fds.push_back(node.fd);
    if (m_folderWatch >= 0)
        fds.push_back(m_folderWatch);
    return fds;
}

void EvdevInputSource::decode(Node& node, const input_event& event, std::vector<InputEvent>& out) const
{
    switch (event.type) {
    case EV_MSC:
        if (event.code == MSC_SCAN)
            node.scan = static_cast<std::uint32_t>(event.value);
        return;
    case EV_KEY: {
        const auto scan = std::exchange(node.scan, std::nullopt);
        if (event.value == KeyRepeat)
            return;
        std::pair<std::uint16_t, std::uint16_t> usage;
        if (scan) {
            usage = {static_cast<std::uint16_t>(*scan >> 16), static_cast<std::uint16_t>(*scan & 0xFFFF)};
        } else if (const auto mapped = hidUsageForLinuxKey(event.code)) {
            usage = *mapped;
        } else {
            return;
        }
        out.push_back(InputEvent{node.vid, node.pid, usage.first, usage.second, event.value});
        return;
    }
    case EV_REL:
        if (event.code == REL_WHEEL)
            out.push_back(InputEvent{node.vid, node.pid, GenericDesktopPage, WheelUsage, event.value});
        return;
    case EV_SYN:
        node.scan.reset();
        return;
    default:
        return;
    }
}

void EvdevInputSource::readReady(int fd)
{
    if (fd >= 0 && fd == m_folderWatch) {
        readNodeAppearances();
        return;
    }
    const auto it = std::find_if(m_pads.begin(), m_pads.end(), [fd](const Node& n) { return n.fd == fd; });
    if (it == m_pads.end())
        return;
    Node& node = *it;

    std::vector<InputEvent> decoded;
    bool gone = false;
    char buffer[sizeof(input_event) * 64];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) {
            node.partial.append(buffer, static_cast<size_t>(n));
            size_t used = 0;
            while (node.partial.size() - used >= sizeof(input_event)) {
                input_event event;
                std::memcpy(&event, node.partial.data() + used, sizeof event);
                decode(node, event, decoded);
                used += sizeof(input_event);
            }
            node.partial.erase(0, used);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        // EOF (the writer of a pipe went away) or an error such as ENODEV (the pad was unplugged).
        gone = n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK);
        break;
    }
    if (gone)
        dropNode(fd);

    // Delivered last: a listener may close or reopen the source.
    for (const auto& event : decoded) {
        if (m_listener)
            m_listener(event);
    }
}

void EvdevInputSource::dropNode(int fd)
{
    const auto it = std::find_if(m_pads.begin(), m_pads.end(), [fd](const Node& n) { return n.fd == fd; });
    if (it == m_pads.end())
        return;
    m_pads.erase(it);
    if (m_descriptorsChanged)
        m_descriptorsChanged();
    ::close(fd);
}

} // namespace keyglass
