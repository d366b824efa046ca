#include "input/HIDInputWatcher.h"

#include "platform/Log.h"

namespace keyglass {

namespace {

constexpr std::uint16_t GenericDesktopPage = 0x01;
constexpr std::uint16_t WheelUsage = 0x38;
constexpr std::uint16_t KeyboardPage = 0x07;
constexpr std::uint16_t ConsumerPage = 0x0C;

Keycode normalised(Keycode code)
{
    switch (code) {
    case 0x007F:
        return 0x00A8;
    case 0x0080:
        return 0x00A9;
    case 0x0081:
        return 0x00AA;
    case 0x00F9:
        return 0x00D9;
    case 0x00FA:
        return 0x00DA;
    default:
        return code;
    }
}

std::optional<Keycode> consumerKeycode(std::uint16_t usage)
{
    switch (usage) {
    case 0xB5:
        return 0x00AB;
    case 0xB6:
        return 0x00AC;
    case 0xCD:
        return 0x00AE;
    case 0xE2:
        return 0x00A8;
    case 0xE9:
        return 0x00A9;
    case 0xEA:
        return 0x00AA;
    default:
        return std::nullopt;
    }
}

// Left and right modifiers fold onto the same QMK bit.
std::uint8_t modifierBit(std::uint16_t usage)
{
    return static_cast<std::uint8_t>(1u << ((usage - 0xE0u) & 3u));
}

std::vector<std::pair<int, int>> vidPidsOf(const std::vector<DeviceModel>& devices)
{
    std::vector<std::pair<int, int>> out;
    out.reserve(devices.size());
    for (const auto& device : devices)
        out.emplace_back(device.vid, device.pid);
    return out;
}

} // namespace

bool keycodesMatch(Keycode a, Keycode b)
{
    return normalised(a) == normalised(b);
}

HIDInputWatcher::HIDInputWatcher(Scheduler& scheduler, InputEventSource& source)
    : m_scheduler(scheduler), m_source(source), m_self(std::make_shared<HIDInputWatcher*>(this))
{
    m_source.setListener([this](const InputEvent& event) { handleEvent(event); });
}

HIDInputWatcher::~HIDInputWatcher()
{
    m_self.reset();
    for (auto& [id, token] : m_pendingKeyWork)
        token.cancel();
    m_source.setListener({});
    if (m_watching)
        m_source.close();
}

bool HIDInputWatcher::accessGranted(const std::vector<DeviceModel>& devices) const
{
    return m_source.accessGranted(vidPidsOf(devices));
}

bool HIDInputWatcher::watch(const std::vector<DeviceModel>& devices)
{
    const auto vidPids = vidPidsOf(devices);
    if (!m_source.accessGranted(vidPids))
        return false;

    std::set<std::string> ids;
    std::vector<std::string> orderedIDs;
    m_legacyMouseByDevice.clear();
    for (const auto& device : devices) {
        const std::string id = deviceIdentifier(device.vid, device.pid);
        if (ids.insert(id).second)
            orderedIDs.push_back(id);
        m_legacyMouseByDevice[id] = device.legacyKeycodes();
    }

    if (m_watching && ids == m_watchedIDs)
        return true;

    stop();
    m_watchedIDs = std::move(ids);
    if (devices.empty())
        return true;

    const auto result = m_source.open(vidPids);

    std::string line = "HIDInputWatcher watching [";
    for (size_t i = 0; i < orderedIDs.size(); ++i) {
        if (i > 0)
            line += ", ";
        line += "\"" + orderedIDs[i] + "\"";
    }
    line += "] -> open=" + std::to_string(result.status) + ", interfaces=" + std::to_string(result.interfaces);
    logLine(line);

    if (result.status != 0) {
        m_source.close();
        return false;
    }
    m_watching = true;
    return true;
}

void HIDInputWatcher::stop()
{
    if (m_watching)
        m_source.close();
    m_watching = false;
}

void HIDInputWatcher::report(const std::string& deviceID, Keycode code)
{
    if (onDeviceKeycode)
        onDeviceKeycode(deviceID, code);
}

void HIDInputWatcher::handleEvent(const InputEvent& event)
{
    const std::string deviceID = deviceIdentifier(event.vid, event.pid);

    if (event.usagePage == GenericDesktopPage && event.usage == WheelUsage) {
        if (event.value == 0)
            return;
        const auto it = m_legacyMouseByDevice.find(deviceID);
        const bool legacy = it != m_legacyMouseByDevice.end() && it->second;
        if (event.value > 0)
            report(deviceID, legacy ? 0x00F9 : 0x00D9);
        else
            report(deviceID, legacy ? 0x00FA : 0x00DA);
        return;
    }

    if (event.usagePage == ConsumerPage) {
        if (event.value == 0)
            return;
        if (const auto code = consumerKeycode(event.usage))
            report(deviceID, *code);
        return;
    }

    if (event.usagePage != KeyboardPage)
        return;

    if (event.usage >= 0xE0 && event.usage <= 0xE7) {
        const std::uint8_t bit = modifierBit(event.usage);
        if (event.value != 0) {
            m_pendingModsByDevice[deviceID] |= bit;
            m_activeModsByDevice[deviceID] |= bit;
        } else {
            m_activeModsByDevice[deviceID] &= static_cast<std::uint8_t>(~bit);
        }
        return;
    }

    if (event.usage < 0x04 || event.usage > 0x81 || event.value == 0)
        return;
    switch (event.usage) {
    case 0x7F:
        report(deviceID, 0x00A8);
        return;
    case 0x80:
        report(deviceID, 0x00A9);
        return;
    case 0x81:
        report(deviceID, 0x00AA);
        return;
    default:
        scheduleKey(deviceID, event.usage);
    }
}

void HIDInputWatcher::scheduleKey(const std::string& deviceID, std::uint16_t usage)
{
    if (auto it = m_pendingKeyWork.find(deviceID); it != m_pendingKeyWork.end())
        it->second.cancel();

    const std::uint8_t captured =
        m_activeModsByDevice[deviceID] | m_pendingModsByDevice[deviceID] | m_source.systemModifiers();
    std::weak_ptr<HIDInputWatcher*> weak = m_self;
    m_pendingKeyWork[deviceID] = m_scheduler.postMainAfter(KeyDebounce, [weak, deviceID, usage, captured] {
        const auto self = weak.lock();
        if (!self)
            return;
        HIDInputWatcher& watcher = **self;
        const std::uint8_t mask = captured | watcher.m_activeModsByDevice[deviceID] |
                                  watcher.m_pendingModsByDevice[deviceID] | watcher.m_source.systemModifiers();
        watcher.m_pendingModsByDevice[deviceID] = 0;
        watcher.report(deviceID, static_cast<Keycode>(((mask & 0x0F) << 8) | (usage & 0xFF)));
    });
}

} // namespace keyglass
