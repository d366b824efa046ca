#include "sim/VialHandler.h"

#include "sim/WireFormat.h"

#include <algorithm>
#include <chrono>
#include <iterator>
#include <utility>

namespace keyglass::sim {

namespace {

constexpr int UnlockPolls = 50;
constexpr auto UnlockStepInterval = std::chrono::milliseconds(100);

} // namespace

VialHandler::VialHandler(const VirtualPadConfig& config,
                         Eeprom& eeprom,
                         FirmwareRam& ram,
                         const std::vector<std::uint8_t>& definition,
                         std::function<TimePoint()> now)
    : m_config(config), m_eeprom(eeprom), m_ram(ram), m_definition(definition), m_now(std::move(now))
{
}

void VialHandler::pollUnlock()
{
    if (!m_ram.unlockInProgress)
        return;
    const auto& keys = m_config.unlockKeys;
    const bool allHeld =
        !keys.empty() && std::all_of(keys.begin(), keys.end(), [&](MatrixCell c) { return m_ram.isHeld(c); });
    if (!allHeld) {
        m_ram.unlockCounter = UnlockPolls;
        m_ram.lastUnlockStep.reset();
        return;
    }
    const TimePoint now = m_now();
    if (m_ram.lastUnlockStep && now - *m_ram.lastUnlockStep <= UnlockStepInterval)
        return;
    m_ram.lastUnlockStep = now;
    if (--m_ram.unlockCounter <= 0) {
        m_ram.unlockCounter = 0;
        m_ram.unlocked = true;
        m_ram.unlockInProgress = false;
    }
}

bool VialHandler::heldByUnlock(const RawHidReport& request) const
{
    if (!m_config.vial || !m_ram.unlockInProgress)
        return false;
    if (!isCommand(request[0], ViaCommand::VialPrefix))
        return true;
    static constexpr std::uint8_t allowed[] = {0x00, 0x01, 0x02, 0x05, 0x06, 0x07};
    return std::find(std::begin(allowed), std::end(allowed), request[1]) == std::end(allowed);
}

void VialHandler::handle(RawHidReport& r)
{
    const auto& s = m_config;
    switch (r[1]) {
    case 0x00: { // keyboard id
        r.fill(0);
        for (int i = 0; i < 4; ++i)
            r[i] = static_cast<std::uint8_t>(s.vialVersion >> (8 * i));
        for (int i = 0; i < 8; ++i)
            r[4 + i] = static_cast<std::uint8_t>(s.vialUid >> (8 * i));
        break;
    }
    case 0x01: {
        const auto size = static_cast<std::uint32_t>(m_definition.size());
        for (int i = 0; i < 4; ++i)
            r[i] = static_cast<std::uint8_t>(size >> (8 * i));
        break;
    }
    case 0x02: {
        const std::size_t start = static_cast<std::size_t>(le16(&r[2])) * 32;
        if (start >= m_definition.size())
            break;
        const std::size_t n = std::min<std::size_t>(32, m_definition.size() - start);
        std::copy_n(m_definition.begin() + static_cast<std::ptrdiff_t>(start), n, r.begin());
        break;
    }
    case 0x03: { // encoder get: both directions, counter-clockwise first
        if (s.encoderCount == 0)
            break;
        const int l = r[2], e = r[3];
        putBe16(r, 0, m_eeprom.encoder(l, e, false));
        putBe16(r, 2, m_eeprom.encoder(l, e, true));
        break;
    }
    case 0x04: {
        if (s.encoderCount == 0)
            break;
        if (m_eeprom.setEncoder(r[2], r[3], r[4] != 0, firewall(s, m_ram, be16(r, 5))))
            m_eeprom.markChanged();
        break;
    }
    case 0x05: { // unlock status
        r.fill(0xFF);
        r[0] = m_ram.unlocked ? 1 : 0;
        r[1] = m_ram.unlockInProgress ? 1 : 0;
        for (std::size_t i = 0; !s.vialInsecure && i < s.unlockKeys.size() && i < 15; ++i) {
            r[2 + 2 * i] = static_cast<std::uint8_t>(s.unlockKeys[i].row);
            r[3 + 2 * i] = static_cast<std::uint8_t>(s.unlockKeys[i].col);
        }
        break;
    }
    case 0x06:
        if (s.vialInsecure)
            break;
        m_ram.unlockInProgress = true;
        m_ram.unlockCounter = UnlockPolls;
        m_ram.lastUnlockStep.reset();
        break;
    case 0x07:
        pollUnlock();
        r[0] = m_ram.unlocked ? 1 : 0;
        r[1] = m_ram.unlockInProgress ? 1 : 0;
        r[2] = static_cast<std::uint8_t>(m_ram.unlockCounter);
        break;
    case 0x08:
        if (s.vialInsecure)
            break;
        m_ram.unlocked = false;
        m_ram.unlockInProgress = false;
        break;
    case 0x09: // no QMK settings compiled in: the query answers an empty list
        r.fill(0xFF);
        break;
    case 0x0D:
        handleDynamicEntry(r);
        break;
    default:
        break; // unknown sub-commands come back as a plain echo
    }
}

void VialHandler::handleDynamicEntry(RawHidReport& r)
{
    const std::uint8_t op = r[2];
    const std::size_t idx = r[3];
    auto rawGet = [&](EntryTable table) {
        const DynamicEntry entry = m_eeprom.entry(table, idx);
        r[0] = idx < m_eeprom.entryCount(table) ? 0 : IdUnhandled;
        std::copy(entry.begin(), entry.end(), r.begin() + 1);
    };
    auto rawSet = [&](EntryTable table) {
        DynamicEntry entry;
        std::copy_n(r.begin() + 4, entry.size(), entry.begin());
        if (m_eeprom.setEntry(table, idx, entry)) {
            m_eeprom.markChanged();
            r[0] = 0;
        } else {
            r[0] = IdUnhandled;
        }
    };
    switch (op) {
    case 0x00: {
        const auto td = m_eeprom.tapDanceCount();
        const auto combos = m_eeprom.entryCount(EntryTable::combos);
        const auto ko = m_eeprom.entryCount(EntryTable::keyOverrides);
        r.fill(0);
        r[0] = static_cast<std::uint8_t>(td);
        r[1] = static_cast<std::uint8_t>(combos);
        r[2] = static_cast<std::uint8_t>(ko);
        break;
    }
    case 0x01: {
        const bool in = idx < static_cast<std::size_t>(m_eeprom.tapDanceCount());
        const TapDanceData td = in ? m_eeprom.tapDance(static_cast<int>(idx)) : TapDanceData{};
        r[0] = in ? 0 : IdUnhandled;
        putLe16(&r[1], td.onTap);
        putLe16(&r[3], td.onHold);
        putLe16(&r[5], td.onDoubleTap);
        putLe16(&r[7], td.onTapHold);
        putLe16(&r[9], td.tappingTerm);
        break;
    }
    case 0x02: {
        TapDanceData td;
        td.onTap = firewall(m_config, m_ram, le16(&r[4]));
        td.onHold = firewall(m_config, m_ram, le16(&r[6]));
        td.onDoubleTap = firewall(m_config, m_ram, le16(&r[8]));
        td.onTapHold = firewall(m_config, m_ram, le16(&r[10]));
        td.tappingTerm = le16(&r[12]);
        if (!m_eeprom.setTapDance(static_cast<int>(idx), td)) {
            r[0] = IdUnhandled;
            break;
        }
        m_eeprom.markChanged();
        r[0] = 0;
        break;
    }
    case 0x03:
        rawGet(EntryTable::combos);
        break;
    case 0x04:
        rawSet(EntryTable::combos);
        break;
    case 0x05:
        rawGet(EntryTable::keyOverrides);
        break;
    case 0x06:
        rawSet(EntryTable::keyOverrides);
        break;
    default:
        break;
    }
}

} // namespace keyglass::sim
