#include "sim/ViaHandler.h"

#include "sim/WireFormat.h"

#include <algorithm>
#include <utility>

namespace keyglass::sim {

ViaHandler::ViaHandler(const VirtualPadConfig& config,
                       Eeprom& eeprom,
                       FirmwareRam& ram,
                       LightingHandler& lighting,
                       std::function<std::uint32_t()> uptimeMs)
    : m_config(config), m_eeprom(eeprom), m_ram(ram), m_lighting(lighting), m_uptimeMs(std::move(uptimeMs))
{
}

void ViaHandler::handle(RawHidReport& r)
{
    const auto& s = m_config;
    switch (static_cast<ViaCommand>(r[0])) {
    case ViaCommand::GetProtocolVersion:
        putBe16(r, 1, static_cast<std::uint16_t>(s.viaVersion));
        break;
    case ViaCommand::GetKeyboardValue:
        handleKeyboardValue(r, false);
        break;
    case ViaCommand::SetKeyboardValue:
        handleKeyboardValue(r, true);
        break;
    case ViaCommand::GetKeycode:
        putBe16(r, 4, m_eeprom.keycode(r[1], r[2], r[3]));
        break;
    case ViaCommand::SetKeycode:
        if (m_eeprom.setKeycode(r[1], r[2], r[3], be16(r, 4)))
            m_eeprom.markChanged();
        break;
    case ViaCommand::KeymapReset:
        m_eeprom.resetDynamicKeymap();
        break;
    case ViaCommand::LightingSet:
    case ViaCommand::LightingGet:
    case ViaCommand::LightingSave:
        m_lighting.handle(r);
        break;
    case ViaCommand::MacroGetCount:
        r[1] = static_cast<std::uint8_t>(s.macroCount);
        break;
    case ViaCommand::MacroGetBufferSize:
        putBe16(r, 1, static_cast<std::uint16_t>(m_eeprom.macros().size()));
        break;
    case ViaCommand::MacroGetBuffer: {
        const std::size_t offset = be16(r, 1);
        const std::size_t size = std::min<std::size_t>(r[3], MaxBulk);
        for (std::size_t i = 0; i < size; ++i)
            r[4 + i] = m_eeprom.macroByte(offset + i);
        break;
    }
    case ViaCommand::MacroSetBuffer: {
        if (locked())
            break;
        const std::size_t offset = be16(r, 1);
        const std::size_t size = std::min<std::size_t>(r[3], MaxBulk);
        for (std::size_t i = 0; i < size; ++i)
            m_eeprom.setMacroByte(offset + i, r[4 + i]);
        m_eeprom.markChanged();
        break;
    }
    case ViaCommand::MacroReset:
        m_eeprom.clearMacros();
        m_eeprom.markChanged();
        break;
    case ViaCommand::GetLayerCount:
        r[1] = static_cast<std::uint8_t>(s.layers);
        break;
    case ViaCommand::KeymapGetBuffer:
    case ViaCommand::KeymapSetBuffer:
        handleKeymapBuffer(r);
        break;
    case ViaCommand::EncoderGet:
    case ViaCommand::EncoderSet:
        handleEncoder(r);
        break;
    case ViaCommand::BootloaderJump:
        // Only a secure vial-qmk build has the command: it acknowledges, and jumps only when unlocked.
        // QMK dropped it and insecure Vial builds never had it.
        if (!s.vial || s.vialInsecure)
            r[0] = IdUnhandled;
        else if (m_ram.unlocked)
            ++m_ram.bootloaderJumps;
        break;
    case ViaCommand::EepromReset:
    default:
        r[0] = IdUnhandled;
        break;
    }
}

void ViaHandler::handleKeymapBuffer(RawHidReport& r)
{
    if (m_config.vial && r[3] > MaxBulk)
        return; // vial-qmk ignores oversized requests
    const bool get = isCommand(r[0], ViaCommand::KeymapGetBuffer);
    const std::size_t offset = be16(r, 1);
    const std::size_t size = std::min<std::size_t>(r[3], MaxBulk);
    const std::size_t total = m_eeprom.keySlots() * 2;
    for (std::size_t i = 0; i < size; ++i) {
        const std::size_t at = offset + i;
        if (at >= total) {
            if (get)
                r[4 + i] = 0;
            continue;
        }
        Keycode kc = m_eeprom.keycodeAt(at / 2);
        const bool high = at % 2 == 0;
        if (get) {
            r[4 + i] = static_cast<std::uint8_t>(high ? kc >> 8 : kc & 0xFF);
        } else {
            kc = high ? static_cast<Keycode>((r[4 + i] << 8) | (kc & 0xFF))
                      : static_cast<Keycode>((kc & 0xFF00) | r[4 + i]);
            if (locked() && !high && firewall(m_config, m_ram, kc) != kc)
                kc = 0xFFFF;
            m_eeprom.setKeycodeAt(at / 2, kc);
            m_eeprom.markChanged();
        }
    }
}

void ViaHandler::handleEncoder(RawHidReport& r)
{
    if (!*m_config.viaEncoderCommands) {
        r[0] = IdUnhandled;
        return;
    }
    const int l = r[1], e = r[2];
    const bool cw = r[3] != 0;
    if (isCommand(r[0], ViaCommand::EncoderGet))
        putBe16(r, 4, m_eeprom.encoder(l, e, cw));
    else if (m_eeprom.setEncoder(l, e, cw, be16(r, 4)))
        m_eeprom.markChanged();
}

void ViaHandler::handleKeyboardValue(RawHidReport& r, bool set)
{
    const auto& s = m_config;
    const bool modernVia = !s.vial && s.viaVersion >= 11;
    if (set) {
        switch (r[1]) {
        case 0x02:
            m_eeprom.setLayoutOptions((std::uint32_t(r[2]) << 24) | (std::uint32_t(r[3]) << 16) |
                                      (std::uint32_t(r[4]) << 8) | r[5]);
            m_eeprom.markChanged();
            return;
        case 0x05:
            if (modernVia) {
                ++m_ram.deviceIndications;
                return;
            }
            break;
        default:
            break;
        }
        r[0] = IdUnhandled;
        return;
    }
    switch (r[1]) {
    case 0x01:
        putBe32(r, 2, m_uptimeMs());
        return;
    case 0x02:
        putBe32(r, 2, m_eeprom.layoutOptions());
        return;
    case 0x03: {
        // Nothing is held between press() calls, so every switch reads open.
        const int bytesPerRow = (s.cols + 7) / 8;
        if (!s.vial && s.viaVersion >= 12) {
            const int offset = r[2];
            const int fit = MaxBulk / bytesPerRow;
            for (int row = offset, i = 0; row < s.rows && row < offset + fit; ++row, ++i)
                for (int b = 0; b < bytesPerRow; ++b)
                    r[3 + i * bytesPerRow + b] = 0;
        } else {
            if (locked())
                return;
            if ((s.cols / 8 + 1) * s.rows <= MaxBulk)
                for (int i = 0; i < bytesPerRow * s.rows && 2 + i < 32; ++i)
                    r[2 + i] = 0;
        }
        return;
    }
    case 0x04:
        if (modernVia) {
            putBe32(r, 2, s.firmwareVersion);
            return;
        }
        break;
    default:
        break;
    }
    r[0] = IdUnhandled;
}

} // namespace keyglass::sim
