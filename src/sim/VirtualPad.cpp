#include "sim/VirtualPad.h"

#include "platform/AtomicFile.h"
#include "platform/JsonReading.h"
#include "sim/HidUsages.h"
#include "sim/KlePositions.h"
#include "sim/XzEncoder.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <charconv>
#include <set>

namespace keyglass {

namespace {

constexpr std::uint8_t IdUnhandled = 0xFF;
constexpr Keycode KcTrns = 0x0001;
constexpr std::uint16_t DefaultTappingTerm = 200;
constexpr int MaxLayers = 32;
constexpr int MaxMatrix = 255;
constexpr int MaxEncoders = 255;
constexpr int MaxBulk = 28;
constexpr int UnlockPolls = 50;

enum ViaCommand : std::uint8_t
{
    GetProtocolVersion = 0x01,
    GetKeyboardValue = 0x02,
    SetKeyboardValue = 0x03,
    GetKeycode = 0x04,
    SetKeycode = 0x05,
    KeymapReset = 0x06,
    LightingSet = 0x07,
    LightingGet = 0x08,
    LightingSave = 0x09,
    EepromReset = 0x0A,
    BootloaderJump = 0x0B,
    MacroGetCount = 0x0C,
    MacroGetBufferSize = 0x0D,
    MacroGetBuffer = 0x0E,
    MacroSetBuffer = 0x0F,
    MacroReset = 0x10,
    GetLayerCount = 0x11,
    KeymapGetBuffer = 0x12,
    KeymapSetBuffer = 0x13,
    EncoderGet = 0x14,
    EncoderSet = 0x15,
    VialPrefix = 0xFE,
};

void putBe16(RawHidReport& r, std::size_t at, std::uint16_t v)
{
    if (at + 1 >= r.size())
        return;
    r[at] = static_cast<std::uint8_t>(v >> 8);
    r[at + 1] = static_cast<std::uint8_t>(v & 0xFF);
}

void putBe32(RawHidReport& r, std::size_t at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        r[at + i] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
}

void putLe16(std::uint8_t* p, std::uint16_t v)
{
    p[0] = static_cast<std::uint8_t>(v & 0xFF);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

std::uint16_t be16(const RawHidReport& r, std::size_t at)
{
    return static_cast<std::uint16_t>((r[at] << 8) | r[at + 1]);
}

std::uint16_t le16(const std::uint8_t* p)
{
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

TapDanceData defaultTapDance()
{
    TapDanceData td;
    td.tappingTerm = DefaultTappingTerm;
    return td;
}

std::vector<std::uint8_t> makeDefinitionStream(const VirtualPadSpec& padSpec)
{
    if (padSpec.definitionBlob)
        return *padSpec.definitionBlob;
    if (padSpec.definitionJson.empty())
        return {};
    // Vial's build re-serialises the JSON without spaces before compressing it.
    const auto parsed = nlohmann::json::parse(padSpec.definitionJson, nullptr, false);
    if (parsed.is_discarded())
        return xzCompress(padSpec.definitionJson);
    return xzCompress(parsed.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
}

} // namespace

struct VirtualPad::Faults
{
    bool refuseOpen = false;
    std::set<std::uint64_t> drop;
    std::set<std::uint64_t> garble;
    std::set<std::uint64_t> wrongEcho;
    std::set<std::uint64_t> duplicate;
    std::map<std::uint64_t, Duration> delays;
    bool dropAll = false;
    bool garbleAll = false;
    bool wrongEchoAll = false;
    std::map<std::uint8_t, std::uint8_t> byte0;
    std::map<std::uint8_t, std::uint8_t> vialByte0;
    Duration latency{0};
    std::optional<std::uint64_t> disconnectAt;
    bool disconnected = false;
    std::mt19937 rng{0x6b67u};
};

VirtualPad::VirtualPad(VirtualPadSpec padSpec) : m_spec(std::move(padSpec)), m_faults(std::make_unique<Faults>())
{
    m_spec.rows = std::clamp(m_spec.rows, 1, MaxMatrix);
    m_spec.cols = std::clamp(m_spec.cols, 1, MaxMatrix);
    m_spec.layers = std::clamp(m_spec.layers, 1, MaxLayers);
    m_spec.encoderCount = std::clamp(m_spec.encoderCount, 0, MaxEncoders);
    m_spec.comboCount = std::clamp(m_spec.comboCount, 0, 255);
    m_spec.keyOverrideCount = std::clamp(m_spec.keyOverrideCount, 0, 255);
    m_spec.macroCount = std::clamp(m_spec.macroCount, 0, 255);
    m_spec.macroBufferSize = std::clamp(m_spec.macroBufferSize, 0, 0xFFFF);
    if (m_spec.tapDances.size() > 255)
        m_spec.tapDances.resize(255);
    if (m_spec.viaVersion <= 0)
        m_spec.viaVersion = m_spec.vial ? 9 : 12;
    m_spec.viaVersion = std::min(m_spec.viaVersion, 0xFFFF);
    if (!m_spec.viaEncoderCommands)
        m_spec.viaEncoderCommands = !m_spec.vial && m_spec.viaVersion >= 10;
    m_definition = makeDefinitionStream(m_spec);
    m_unlocked = !m_spec.vial || m_spec.vialUnlocked;
    m_clock = [] { return Clock::now(); };
    m_bootTime = m_clock();
    fillFromSpec();
}

VirtualPad::~VirtualPad() = default;

void VirtualPad::fillFromSpec()
{
    const auto& s = m_spec;
    m_keymap.assign(static_cast<std::size_t>(s.layers) * s.rows * s.cols, 0);
    for (int l = 0; l < s.layers && l < static_cast<int>(s.keymap.size()); ++l)
        for (int r = 0; r < s.rows && r < static_cast<int>(s.keymap[l].size()); ++r)
            for (int c = 0; c < s.cols && c < static_cast<int>(s.keymap[l][r].size()); ++c)
                m_keymap[keyIndex(l, r, c)] = s.keymap[l][r][c];
    for (const auto& hw : s.hardwareLayerKeys)
        for (int l = 0; l < s.layers; ++l)
            if (hw.cell.row >= 0 && hw.cell.row < s.rows && hw.cell.col >= 0 && hw.cell.col < s.cols)
                m_keymap[keyIndex(l, hw.cell.row, hw.cell.col)] = hw.code;

    m_encoders.assign(static_cast<std::size_t>(s.layers) * s.encoderCount * 2, 0);
    for (int l = 0; l < s.layers && l < static_cast<int>(s.encoderMap.size()); ++l)
        for (int e = 0; e < s.encoderCount && e < static_cast<int>(s.encoderMap[l].size()); ++e)
            for (int d = 0; d < 2 && d < static_cast<int>(s.encoderMap[l][e].size()); ++d)
                m_encoders[encoderIndex(l, e, d == 1)] = s.encoderMap[l][e][d];

    m_tapDances = s.tapDances;
    m_combos.assign(static_cast<std::size_t>(s.comboCount), {});
    m_keyOverrides.assign(static_cast<std::size_t>(s.keyOverrideCount), {});
    m_macros.assign(static_cast<std::size_t>(s.macroBufferSize), 0);
    m_lighting = s.lightingValues;
    m_savedLighting = s.lightingValues;
    m_layoutOptions = s.layoutOptions;
}

std::string VirtualPad::identifier() const
{
    return deviceIdentifier(m_spec.vid, m_spec.pid);
}

std::size_t VirtualPad::keyIndex(int layer, int row, int col) const
{
    return (static_cast<std::size_t>(layer) * m_spec.rows + row) * m_spec.cols + col;
}

std::size_t VirtualPad::encoderIndex(int layer, int index, bool clockwise) const
{
    return (static_cast<std::size_t>(layer) * m_spec.encoderCount + index) * 2 + (clockwise ? 1 : 0);
}

bool VirtualPad::modernKeycodes() const
{
    return m_spec.vial ? m_spec.vialVersion >= 6 : m_spec.viaVersion >= 11;
}

Keycode VirtualPad::firewall(Keycode code) const
{
    // A locked Vial pad refuses to store the bootloader key through its own commands.
    const Keycode boot = modernKeycodes() ? 0x7C00 : 0x5C00;
    return (m_spec.vial && !m_unlocked && code == boot) ? 0 : code;
}

RawHidReport VirtualPad::answer(const RawHidReport& request)
{
    std::lock_guard lock(m_mutex);
    const RawHidReport reply = handleLocked(request);
    saveIfAttached();
    return reply;
}

RawHidReport VirtualPad::handleLocked(const RawHidReport& request)
{
    RawHidReport r = request;
    if (m_spec.vial && m_unlockInProgress) {
        // While an unlock runs the firmware only serves identification and the unlock itself.
        if (r[0] != VialPrefix)
            return r;
        static constexpr std::uint8_t allowed[] = {0x00, 0x01, 0x02, 0x05, 0x06, 0x07};
        if (std::find(std::begin(allowed), std::end(allowed), r[1]) == std::end(allowed))
            return r;
    }
    if (r[0] == VialPrefix && m_spec.vial)
        handleVial(r);
    else
        handleVia(r);
    return r;
}

void VirtualPad::handleVia(RawHidReport& r)
{
    const auto& s = m_spec;
    switch (r[0]) {
    case GetProtocolVersion:
        putBe16(r, 1, static_cast<std::uint16_t>(s.viaVersion));
        break;
    case GetKeyboardValue:
        handleKeyboardValue(r, false);
        break;
    case SetKeyboardValue:
        handleKeyboardValue(r, true);
        break;
    case GetKeycode: {
        const int l = r[1], row = r[2], col = r[3];
        const bool in = l < s.layers && row < s.rows && col < s.cols;
        putBe16(r, 4, in ? m_keymap[keyIndex(l, row, col)] : 0);
        break;
    }
    case SetKeycode: {
        const int l = r[1], row = r[2], col = r[3];
        if (l < s.layers && row < s.rows && col < s.cols) {
            m_keymap[keyIndex(l, row, col)] = be16(r, 4);
            m_eepromChanged = true;
        }
        break;
    }
    case KeymapReset:
        resetDynamicKeymap();
        break;
    case LightingSet:
    case LightingGet:
    case LightingSave:
        handleLighting(r);
        break;
    case MacroGetCount:
        r[1] = static_cast<std::uint8_t>(s.macroCount);
        break;
    case MacroGetBufferSize:
        putBe16(r, 1, static_cast<std::uint16_t>(m_macros.size()));
        break;
    case MacroGetBuffer: {
        const std::size_t offset = be16(r, 1);
        const std::size_t size = std::min<std::size_t>(r[3], MaxBulk);
        for (std::size_t i = 0; i < size; ++i)
            r[4 + i] = offset + i < m_macros.size() ? m_macros[offset + i] : 0;
        break;
    }
    case MacroSetBuffer: {
        if (s.vial && !m_unlocked)
            break;
        const std::size_t offset = be16(r, 1);
        const std::size_t size = std::min<std::size_t>(r[3], MaxBulk);
        for (std::size_t i = 0; i < size && offset + i < m_macros.size(); ++i)
            m_macros[offset + i] = r[4 + i];
        m_eepromChanged = true;
        break;
    }
    case MacroReset:
        std::fill(m_macros.begin(), m_macros.end(), 0);
        m_eepromChanged = true;
        break;
    case GetLayerCount:
        r[1] = static_cast<std::uint8_t>(s.layers);
        break;
    case KeymapGetBuffer:
    case KeymapSetBuffer: {
        if (s.vial && r[3] > MaxBulk)
            break; // vial-qmk ignores oversized requests
        const std::size_t offset = be16(r, 1);
        const std::size_t size = std::min<std::size_t>(r[3], MaxBulk);
        const std::size_t total = m_keymap.size() * 2;
        for (std::size_t i = 0; i < size; ++i) {
            const std::size_t at = offset + i;
            if (at >= total) {
                if (r[0] == KeymapGetBuffer)
                    r[4 + i] = 0;
                continue;
            }
            Keycode& kc = m_keymap[at / 2];
            const bool high = at % 2 == 0;
            if (r[0] == KeymapGetBuffer) {
                r[4 + i] = static_cast<std::uint8_t>(high ? kc >> 8 : kc & 0xFF);
            } else {
                kc = high ? static_cast<Keycode>((r[4 + i] << 8) | (kc & 0xFF))
                          : static_cast<Keycode>((kc & 0xFF00) | r[4 + i]);
                if (s.vial && !m_unlocked && !high && firewall(kc) != kc)
                    kc = 0xFFFF;
                m_eepromChanged = true;
            }
        }
        break;
    }
    case EncoderGet:
    case EncoderSet: {
        if (!*s.viaEncoderCommands) {
            r[0] = IdUnhandled;
            break;
        }
        const int l = r[1], e = r[2];
        const bool cw = r[3] != 0;
        const bool in = l < s.layers && e < s.encoderCount;
        if (r[0] == EncoderGet) {
            putBe16(r, 4, in ? m_encoders[encoderIndex(l, e, cw)] : 0);
        } else if (in) {
            m_encoders[encoderIndex(l, e, cw)] = be16(r, 4);
            m_eepromChanged = true;
        }
        break;
    }
    case BootloaderJump:
        // vial-qmk acknowledges (and would jump when unlocked); QMK no longer handles it.
        if (!s.vial)
            r[0] = IdUnhandled;
        break;
    case EepromReset:
    default:
        r[0] = IdUnhandled;
        break;
    }
}

void VirtualPad::handleKeyboardValue(RawHidReport& r, bool set)
{
    const auto& s = m_spec;
    const bool modernVia = !s.vial && s.viaVersion >= 11;
    if (set) {
        switch (r[1]) {
        case 0x02:
            m_layoutOptions =
                (std::uint32_t(r[2]) << 24) | (std::uint32_t(r[3]) << 16) | (std::uint32_t(r[4]) << 8) | r[5];
            m_eepromChanged = true;
            return;
        case 0x05:
            if (modernVia) {
                ++m_deviceIndications;
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
    case 0x01: {
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(m_clock() - m_bootTime).count();
        putBe32(r, 2, static_cast<std::uint32_t>(std::max<long long>(0, ms)));
        return;
    }
    case 0x02:
        putBe32(r, 2, m_layoutOptions);
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
            if (s.vial && !m_unlocked)
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

void VirtualPad::handleLighting(RawHidReport& r)
{
    switch (m_spec.lighting) {
    case LightingDialect::none:
        r[0] = IdUnhandled;
        break;
    case LightingDialect::legacyRgblight:
        handleLegacyLighting(r);
        break;
    case LightingDialect::channel:
        handleChannelLighting(r);
        break;
    }
}

void VirtualPad::handleLegacyLighting(RawHidReport& r)
{
    auto& light = m_lighting;
    if (r[0] == LightingSave) {
        m_savedLighting = light;
        ++m_lightingSaves;
        m_eepromChanged = true;
        return;
    }
    const bool get = r[0] == LightingGet;
    switch (r[1]) {
    case 0x80:
        if (get)
            r[2] = light.brightness;
        else
            light.brightness = r[2];
        break;
    case 0x81:
        if (get) {
            r[2] = light.mode; // rgblight reports its mode even while switched off
        } else if (r[2] == 0) {
            light.enabled = false;
        } else {
            light.enabled = true;
            light.mode = r[2];
        }
        break;
    case 0x82:
        if (get)
            r[2] = light.speed;
        else
            light.speed = r[2];
        break;
    case 0x83:
        if (get) {
            r[2] = light.hue;
            r[3] = light.sat;
        } else {
            light.hue = r[2];
            light.sat = r[3];
        }
        break;
    default:
        break; // every lighting handler ignores ids it does not know: plain echo
    }
}

void VirtualPad::handleChannelLighting(RawHidReport& r)
{
    constexpr std::uint8_t Custom = 1, Rgblight = 2;
    const std::uint8_t channel = r[1];
    if (channel != Custom && !(channel == Rgblight && m_spec.rgblightChannel)) {
        r[0] = IdUnhandled;
        return;
    }
    if (r[0] == LightingSave) {
        m_savedLighting = m_lighting;
        ++m_lightingSaves;
        m_eepromChanged = true;
        return;
    }
    // Channel 1 is the keyboard's own values: 1 effect, 2 brightness, 3 speed, 4 colour. Channel 2 is
    // QMK's rgblight: 1 brightness, 2 effect, 3 speed, 4 colour.
    std::uint8_t id = r[2];
    if (channel == Rgblight && (id == 1 || id == 2))
        id = id == 1 ? 2 : 1;
    auto& light = m_lighting;
    const bool get = r[0] == LightingGet;
    switch (id) {
    case 1:
        if (get) {
            r[3] = light.effect();
        } else if (r[3] == 0) {
            light.enabled = false;
        } else {
            light.enabled = true;
            light.mode = r[3];
        }
        break;
    case 2:
        if (get)
            r[3] = light.brightness;
        else
            light.brightness = r[3];
        break;
    case 3:
        if (get)
            r[3] = light.speed;
        else
            light.speed = r[3];
        break;
    case 4:
        if (get) {
            r[3] = light.hue;
            r[4] = light.sat;
        } else {
            light.hue = r[3];
            light.sat = r[4];
        }
        break;
    default:
        break;
    }
}

void VirtualPad::resetDynamicKeymap()
{
    const auto tapDances = m_tapDances.size();
    const VirtualLighting light = m_lighting, saved = m_savedLighting;
    const auto macros = m_macros;
    const auto options = m_layoutOptions;
    fillFromSpec();
    m_lighting = light;
    m_savedLighting = saved;
    m_macros = macros;
    m_layoutOptions = options;
    if (m_spec.vial) {
        m_tapDances.assign(tapDances, defaultTapDance());
        for (auto& ko : m_keyOverrides) {
            ko = {};
            ko[4] = ko[5] = 0xFF; // all layers
            ko[9] = 0x07;
        }
    }
    m_eepromChanged = true;
}

void VirtualPad::handleVial(RawHidReport& r)
{
    const auto& s = m_spec;
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
        const bool in = l < s.layers && e < s.encoderCount;
        putBe16(r, 0, in ? m_encoders[encoderIndex(l, e, false)] : 0);
        putBe16(r, 2, in ? m_encoders[encoderIndex(l, e, true)] : 0);
        break;
    }
    case 0x04: {
        if (s.encoderCount == 0)
            break;
        const int l = r[2], e = r[3];
        if (l < s.layers && e < s.encoderCount) {
            m_encoders[encoderIndex(l, e, r[4] != 0)] = firewall(be16(r, 5));
            m_eepromChanged = true;
        }
        break;
    }
    case 0x05: { // unlock status
        r.fill(0xFF);
        r[0] = m_unlocked ? 1 : 0;
        r[1] = m_unlockInProgress ? 1 : 0;
        for (std::size_t i = 0; i < s.unlockKeys.size() && i < 15; ++i) {
            r[2 + 2 * i] = static_cast<std::uint8_t>(s.unlockKeys[i].row);
            r[3 + 2 * i] = static_cast<std::uint8_t>(s.unlockKeys[i].col);
        }
        break;
    }
    case 0x06:
        m_unlockInProgress = true;
        m_unlockCounter = UnlockPolls;
        break;
    case 0x07:
        // The emulator has no fingers on the unlock keys between polls, so it treats them as held:
        // each poll counts down once.
        if (m_unlockInProgress && m_unlockCounter > 0 && --m_unlockCounter == 0) {
            m_unlocked = true;
            m_unlockInProgress = false;
        }
        r[0] = m_unlocked ? 1 : 0;
        r[1] = m_unlockInProgress ? 1 : 0;
        r[2] = static_cast<std::uint8_t>(m_unlockCounter);
        break;
    case 0x08:
        m_unlocked = false;
        m_unlockInProgress = false;
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

void VirtualPad::handleDynamicEntry(RawHidReport& r)
{
    const std::uint8_t op = r[2];
    const std::size_t idx = r[3];
    auto rawGet = [&](const std::vector<std::array<std::uint8_t, 10>>& table) {
        r[0] = idx < table.size() ? 0 : IdUnhandled;
        for (int i = 0; i < 10; ++i)
            r[1 + i] = idx < table.size() ? table[idx][i] : 0;
    };
    auto rawSet = [&](std::vector<std::array<std::uint8_t, 10>>& table) {
        if (idx < table.size()) {
            std::copy_n(r.begin() + 4, 10, table[idx].begin());
            m_eepromChanged = true;
            r[0] = 0;
        } else {
            r[0] = IdUnhandled;
        }
    };
    switch (op) {
    case 0x00: {
        const auto td = m_tapDances.size(), combos = m_combos.size(), ko = m_keyOverrides.size();
        r.fill(0);
        r[0] = static_cast<std::uint8_t>(td);
        r[1] = static_cast<std::uint8_t>(combos);
        r[2] = static_cast<std::uint8_t>(ko);
        break;
    }
    case 0x01: {
        const TapDanceData td = idx < m_tapDances.size() ? m_tapDances[idx] : TapDanceData{};
        r[0] = idx < m_tapDances.size() ? 0 : IdUnhandled;
        putLe16(&r[1], td.onTap);
        putLe16(&r[3], td.onHold);
        putLe16(&r[5], td.onDoubleTap);
        putLe16(&r[7], td.onTapHold);
        putLe16(&r[9], td.tappingTerm);
        break;
    }
    case 0x02: {
        if (idx >= m_tapDances.size()) {
            r[0] = IdUnhandled;
            break;
        }
        TapDanceData td;
        td.onTap = firewall(le16(&r[4]));
        td.onHold = firewall(le16(&r[6]));
        td.onDoubleTap = firewall(le16(&r[8]));
        td.onTapHold = firewall(le16(&r[10]));
        td.tappingTerm = le16(&r[12]);
        m_tapDances[idx] = td;
        m_eepromChanged = true;
        r[0] = 0;
        break;
    }
    case 0x03:
        rawGet(m_combos);
        break;
    case 0x04:
        rawSet(m_combos);
        break;
    case 0x05:
        rawGet(m_keyOverrides);
        break;
    case 0x06:
        rawSet(m_keyOverrides);
        break;
    default:
        break;
    }
}

VirtualPad::Delivery VirtualPad::exchange(const RawHidReport& request)
{
    std::lock_guard lock(m_mutex);
    auto& f = *m_faults;
    Delivery out;
    if (f.disconnected)
        return out;
    if (f.disconnectAt && m_received >= *f.disconnectAt) {
        f.disconnected = true;
        return out;
    }
    out.accepted = true;
    const std::uint64_t n = ++m_received;
    m_requests.push_back(request);

    // The firmware acts on the request even when its answer is lost on the way back.
    RawHidReport reply = handleLocked(request);
    saveIfAttached();

    if (f.dropAll || f.drop.erase(n))
        return out;
    if (f.garbleAll || f.garble.erase(n)) {
        for (auto& b : reply)
            b = static_cast<std::uint8_t>(f.rng());
    }
    if (f.wrongEchoAll || f.wrongEcho.erase(n)) {
        reply[0] = static_cast<std::uint8_t>(request[0] + 1);
        if (reply[0] == IdUnhandled || reply[0] == request[0])
            reply[0] = 0x7E;
    }
    if (request[0] == VialPrefix) {
        if (auto it = f.vialByte0.find(request[1]); it != f.vialByte0.end())
            reply[0] = it->second;
    } else if (auto it = f.byte0.find(request[0]); it != f.byte0.end()) {
        reply[0] = it->second;
    }
    if (auto it = f.delays.find(n); it != f.delays.end()) {
        out.delay = it->second;
        f.delays.erase(it);
    }
    out.copies = f.duplicate.erase(n) ? 2 : 1;
    out.answer = reply;
    return out;
}

std::optional<RawHidReport> VirtualPad::receive(const RawHidReport& request)
{
    return exchange(request).answer;
}

std::vector<RawHidReport> VirtualPad::requests() const
{
    std::lock_guard lock(m_mutex);
    return m_requests;
}

void VirtualPad::clearRequests()
{
    std::lock_guard lock(m_mutex);
    m_requests.clear();
}

std::uint64_t VirtualPad::requestCount() const
{
    std::lock_guard lock(m_mutex);
    return m_received;
}

Keycode VirtualPad::keycode(int layer, int row, int col) const
{
    std::lock_guard lock(m_mutex);
    if (layer < 0 || row < 0 || col < 0 || layer >= m_spec.layers || row >= m_spec.rows || col >= m_spec.cols)
        return 0;
    return m_keymap[keyIndex(layer, row, col)];
}

void VirtualPad::setKeycode(int layer, int row, int col, Keycode code)
{
    std::lock_guard lock(m_mutex);
    if (layer < 0 || row < 0 || col < 0 || layer >= m_spec.layers || row >= m_spec.rows || col >= m_spec.cols)
        return;
    m_keymap[keyIndex(layer, row, col)] = code;
}

Keycode VirtualPad::encoder(int layer, int index, bool clockwise) const
{
    std::lock_guard lock(m_mutex);
    if (layer < 0 || index < 0 || layer >= m_spec.layers || index >= m_spec.encoderCount)
        return 0;
    return m_encoders[encoderIndex(layer, index, clockwise)];
}

void VirtualPad::setEncoder(int layer, int index, bool clockwise, Keycode code)
{
    std::lock_guard lock(m_mutex);
    if (layer < 0 || index < 0 || layer >= m_spec.layers || index >= m_spec.encoderCount)
        return;
    m_encoders[encoderIndex(layer, index, clockwise)] = code;
}

int VirtualPad::tapDanceCount() const
{
    std::lock_guard lock(m_mutex);
    return static_cast<int>(m_tapDances.size());
}

TapDanceData VirtualPad::tapDance(int index) const
{
    std::lock_guard lock(m_mutex);
    if (index < 0 || index >= static_cast<int>(m_tapDances.size()))
        return defaultTapDance();
    return m_tapDances[static_cast<std::size_t>(index)];
}

void VirtualPad::setTapDance(int index, const TapDanceData& entry)
{
    std::lock_guard lock(m_mutex);
    if (index >= 0 && index < static_cast<int>(m_tapDances.size()))
        m_tapDances[static_cast<std::size_t>(index)] = entry;
}

VirtualLighting VirtualPad::lighting() const
{
    std::lock_guard lock(m_mutex);
    return m_lighting;
}

VirtualLighting VirtualPad::savedLighting() const
{
    std::lock_guard lock(m_mutex);
    return m_savedLighting;
}

bool VirtualPad::lightingPersisted() const
{
    std::lock_guard lock(m_mutex);
    return m_lighting == m_savedLighting;
}

int VirtualPad::lightingSaveCount() const
{
    std::lock_guard lock(m_mutex);
    return m_lightingSaves;
}

std::vector<std::uint8_t> VirtualPad::macroBuffer() const
{
    std::lock_guard lock(m_mutex);
    return m_macros;
}

std::uint32_t VirtualPad::layoutOptions() const
{
    std::lock_guard lock(m_mutex);
    return m_layoutOptions;
}

bool VirtualPad::vialUnlocked() const
{
    std::lock_guard lock(m_mutex);
    return m_unlocked;
}

int VirtualPad::deviceIndicationCount() const
{
    std::lock_guard lock(m_mutex);
    return m_deviceIndications;
}

std::vector<std::uint8_t> VirtualPad::compressedDefinition() const
{
    std::lock_guard lock(m_mutex);
    return m_definition;
}

void VirtualPad::setRefuseOpen(bool refuse)
{
    std::lock_guard lock(m_mutex);
    m_faults->refuseOpen = refuse;
}

bool VirtualPad::refusesOpen() const
{
    std::lock_guard lock(m_mutex);
    return m_faults->refuseOpen;
}

void VirtualPad::dropAnswer(int nth)
{
    std::lock_guard lock(m_mutex);
    if (nth > 0)
        m_faults->drop.insert(m_received + static_cast<std::uint64_t>(nth));
}

void VirtualPad::dropAllAnswers(bool on)
{
    std::lock_guard lock(m_mutex);
    m_faults->dropAll = on;
}

void VirtualPad::garbleAnswer(int nth)
{
    std::lock_guard lock(m_mutex);
    if (nth > 0)
        m_faults->garble.insert(m_received + static_cast<std::uint64_t>(nth));
}

void VirtualPad::garbleAllAnswers(bool on)
{
    std::lock_guard lock(m_mutex);
    m_faults->garbleAll = on;
}

void VirtualPad::wrongEchoAnswer(int nth)
{
    std::lock_guard lock(m_mutex);
    if (nth > 0)
        m_faults->wrongEcho.insert(m_received + static_cast<std::uint64_t>(nth));
}

void VirtualPad::wrongEchoAllAnswers(bool on)
{
    std::lock_guard lock(m_mutex);
    m_faults->wrongEchoAll = on;
}

void VirtualPad::duplicateAnswer(int nth)
{
    std::lock_guard lock(m_mutex);
    if (nth > 0)
        m_faults->duplicate.insert(m_received + static_cast<std::uint64_t>(nth));
}

void VirtualPad::delayAnswer(int nth, Duration delay)
{
    std::lock_guard lock(m_mutex);
    if (nth > 0 && delay.count() > 0)
        m_faults->delays[m_received + static_cast<std::uint64_t>(nth)] = delay;
}

void VirtualPad::overrideByte0(std::uint8_t command, std::uint8_t byte0)
{
    std::lock_guard lock(m_mutex);
    m_faults->byte0[command] = byte0;
}

void VirtualPad::overrideVialByte0(std::uint8_t subCommand, std::uint8_t byte0)
{
    std::lock_guard lock(m_mutex);
    m_faults->vialByte0[subCommand] = byte0;
}

void VirtualPad::setLatency(Duration latency)
{
    std::lock_guard lock(m_mutex);
    m_faults->latency = std::max(Duration{0}, latency);
}

Duration VirtualPad::latency() const
{
    std::lock_guard lock(m_mutex);
    return m_faults->latency;
}

void VirtualPad::disconnectAfter(int n)
{
    std::lock_guard lock(m_mutex);
    m_faults->disconnectAt = m_received + static_cast<std::uint64_t>(std::max(0, n));
}

bool VirtualPad::isDisconnected() const
{
    std::lock_guard lock(m_mutex);
    return m_faults->disconnected;
}

void VirtualPad::clearFaults()
{
    std::lock_guard lock(m_mutex);
    const auto rng = m_faults->rng;
    *m_faults = Faults{};
    m_faults->rng = rng;
}

void VirtualPad::setGarbageSeed(std::uint32_t seed)
{
    std::lock_guard lock(m_mutex);
    m_faults->rng.seed(seed);
}

void VirtualPad::powerCycle()
{
    std::lock_guard lock(m_mutex);
    m_lighting = m_savedLighting;
    m_layerState = 0;
    m_defaultLayerState = 1;
    m_heldLayer.reset();
    m_unlocked = !m_spec.vial || m_spec.vialUnlocked;
    m_unlockInProgress = false;
    m_unlockCounter = 0;
    m_faults->disconnected = false;
    m_faults->disconnectAt.reset();
    m_bootTime = m_clock();
}

void VirtualPad::setClock(std::function<TimePoint()> clock)
{
    std::lock_guard lock(m_mutex);
    if (!clock)
        return;
    m_clock = std::move(clock);
    m_bootTime = m_clock();
}

namespace {

constexpr std::size_t MaxStateFileBytes = 8 * 1024 * 1024;
constexpr const char* StateFormat = "keyglass-virtual-pad-eeprom";

std::string toHex(const std::vector<std::uint8_t>& bytes)
{
    static constexpr char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (auto b : bytes) {
        out.push_back(digits[b >> 4]);
        out.push_back(digits[b & 0xF]);
    }
    return out;
}

std::optional<std::vector<std::uint8_t>> fromHex(const std::string& text)
{
    if (text.size() % 2 != 0)
        return std::nullopt;
    auto nibble = [](char c) -> int {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    };
    std::vector<std::uint8_t> out;
    for (std::size_t i = 0; i < text.size(); i += 2) {
        const int hi = nibble(text[i]), lo = nibble(text[i + 1]);
        if (hi < 0 || lo < 0)
            return std::nullopt;
        out.push_back(static_cast<std::uint8_t>(hi << 4 | lo));
    }
    return out;
}

std::optional<std::uint16_t> u16(const nlohmann::json& j)
{
    if (!j.is_number_integer())
        return std::nullopt;
    const auto v = j.get<long long>();
    if (v < 0 || v > 0xFFFF)
        return std::nullopt;
    return static_cast<std::uint16_t>(v);
}

std::optional<std::uint8_t> u8(const nlohmann::json& obj, const char* key)
{
    if (!obj.contains(key))
        return std::nullopt;
    auto v = u16(obj[key]);
    if (!v || *v > 0xFF)
        return std::nullopt;
    return static_cast<std::uint8_t>(*v);
}

Error stateError(const std::string& why)
{
    return Error("Virtual pad state ignored: " + why, 0, "VirtualPad");
}

} // namespace

std::string VirtualPad::stateJsonLocked() const
{
    using nlohmann::json;
    const auto& s = m_spec;
    json keymap = json::array();
    for (int l = 0; l < s.layers; ++l) {
        json layer = json::array();
        for (int r = 0; r < s.rows; ++r) {
            json row = json::array();
            for (int c = 0; c < s.cols; ++c)
                row.push_back(m_keymap[keyIndex(l, r, c)]);
            layer.push_back(std::move(row));
        }
        keymap.push_back(std::move(layer));
    }
    json encoders = json::array();
    for (int l = 0; l < s.layers; ++l) {
        json layer = json::array();
        for (int e = 0; e < s.encoderCount; ++e)
            layer.push_back(json::array({m_encoders[encoderIndex(l, e, false)], m_encoders[encoderIndex(l, e, true)]}));
        encoders.push_back(std::move(layer));
    }
    json tapDances = json::array();
    for (const auto& td : m_tapDances)
        tapDances.push_back(json::array({td.onTap, td.onHold, td.onDoubleTap, td.onTapHold, td.tappingTerm}));
    const auto& light = m_savedLighting;
    json doc = {
        {"format", StateFormat},
        {"version", 1},
        {"device", deviceIdentifier(s.vid, s.pid)},
        {"rows", s.rows},
        {"cols", s.cols},
        {"layers", s.layers},
        {"encoders", s.encoderCount},
        {"keymap", std::move(keymap)},
        {"encoderMap", std::move(encoders)},
        {"tapDances", std::move(tapDances)},
        {"lighting",
         {{"enabled", light.enabled},
          {"mode", light.mode},
          {"brightness", light.brightness},
          {"speed", light.speed},
          {"hue", light.hue},
          {"sat", light.sat}}},
        {"macros", toHex(m_macros)},
        {"layoutOptions", m_layoutOptions},
    };
    return doc.dump(1);
}

std::string VirtualPad::stateJson() const
{
    std::lock_guard lock(m_mutex);
    return stateJsonLocked();
}

Expected<void> VirtualPad::loadStateLocked(std::string_view text)
{
    using nlohmann::json;
    const auto parsed = parseJsonCapped(text, MaxStateFileBytes);
    if (!parsed)
        return unexpected(stateError(parsed.error().message));
    if (!parsed->is_object())
        return unexpected(stateError("not a JSON object"));
    const json& doc = *parsed;
    const auto& s = m_spec;
    if (doc.value("format", std::string()) != StateFormat)
        return unexpected(stateError("unknown format"));
    auto sameInt = [&](const char* key, int expected) {
        return doc.contains(key) && doc[key].is_number_integer() && doc[key].get<long long>() == expected;
    };
    if (!sameInt("rows", s.rows) || !sameInt("cols", s.cols) || !sameInt("layers", s.layers) ||
        !sameInt("encoders", s.encoderCount))
        return unexpected(stateError("made for another matrix"));

    // Everything is decoded into copies first: a file that is half good changes nothing.
    std::vector<Keycode> keymap(m_keymap.size(), 0);
    const auto* km = doc.contains("keymap") ? &doc["keymap"] : nullptr;
    if (!km || !km->is_array() || km->size() != static_cast<std::size_t>(s.layers))
        return unexpected(stateError("bad keymap"));
    for (int l = 0; l < s.layers; ++l) {
        const auto& layer = (*km)[l];
        if (!layer.is_array() || layer.size() != static_cast<std::size_t>(s.rows))
            return unexpected(stateError("bad keymap"));
        for (int r = 0; r < s.rows; ++r) {
            const auto& row = layer[r];
            if (!row.is_array() || row.size() != static_cast<std::size_t>(s.cols))
                return unexpected(stateError("bad keymap"));
            for (int c = 0; c < s.cols; ++c) {
                const auto v = u16(row[c]);
                if (!v)
                    return unexpected(stateError("bad keycode"));
                keymap[keyIndex(l, r, c)] = *v;
            }
        }
    }

    std::vector<Keycode> encoders(m_encoders.size(), 0);
    const auto* em = doc.contains("encoderMap") ? &doc["encoderMap"] : nullptr;
    if (!em || !em->is_array() || em->size() != static_cast<std::size_t>(s.layers))
        return unexpected(stateError("bad encoder map"));
    for (int l = 0; l < s.layers; ++l) {
        const auto& layer = (*em)[l];
        if (!layer.is_array() || layer.size() != static_cast<std::size_t>(s.encoderCount))
            return unexpected(stateError("bad encoder map"));
        for (int e = 0; e < s.encoderCount; ++e) {
            const auto& pair = layer[e];
            if (!pair.is_array() || pair.size() != 2)
                return unexpected(stateError("bad encoder map"));
            const auto ccw = u16(pair[0]), cw = u16(pair[1]);
            if (!ccw || !cw)
                return unexpected(stateError("bad encoder keycode"));
            encoders[encoderIndex(l, e, false)] = *ccw;
            encoders[encoderIndex(l, e, true)] = *cw;
        }
    }

    std::vector<TapDanceData> tapDances;
    const auto* tds = doc.contains("tapDances") ? &doc["tapDances"] : nullptr;
    if (!tds || !tds->is_array() || tds->size() != m_tapDances.size())
        return unexpected(stateError("bad tap dances"));
    for (const auto& entry : *tds) {
        if (!entry.is_array() || entry.size() != 5)
            return unexpected(stateError("bad tap dance"));
        std::uint16_t f[5];
        for (int i = 0; i < 5; ++i) {
            const auto v = u16(entry[i]);
            if (!v)
                return unexpected(stateError("bad tap dance"));
            f[i] = *v;
        }
        tapDances.push_back({f[0], f[1], f[2], f[3], f[4]});
    }

    const auto* lj = doc.contains("lighting") ? &doc["lighting"] : nullptr;
    if (!lj || !lj->is_object() || !lj->contains("enabled") || !(*lj)["enabled"].is_boolean())
        return unexpected(stateError("bad lighting"));
    VirtualLighting light;
    light.enabled = (*lj)["enabled"].get<bool>();
    const auto mode = u8(*lj, "mode"), brightness = u8(*lj, "brightness"), speed = u8(*lj, "speed"),
               hue = u8(*lj, "hue"), sat = u8(*lj, "sat");
    if (!mode || !brightness || !speed || !hue || !sat)
        return unexpected(stateError("bad lighting"));
    light.mode = *mode;
    light.brightness = *brightness;
    light.speed = *speed;
    light.hue = *hue;
    light.sat = *sat;

    std::vector<std::uint8_t> macros = m_macros;
    if (doc.contains("macros")) {
        if (!doc["macros"].is_string())
            return unexpected(stateError("bad macros"));
        const auto bytes = fromHex(doc["macros"].get<std::string>());
        if (!bytes || bytes->size() != m_macros.size())
            return unexpected(stateError("bad macros"));
        macros = *bytes;
    }
    std::uint32_t options = m_layoutOptions;
    if (doc.contains("layoutOptions")) {
        const auto& o = doc["layoutOptions"];
        if (!o.is_number_unsigned() || o.get<unsigned long long>() > 0xFFFFFFFFull)
            return unexpected(stateError("bad layout options"));
        options = static_cast<std::uint32_t>(o.get<unsigned long long>());
    }

    m_keymap = std::move(keymap);
    m_encoders = std::move(encoders);
    m_tapDances = std::move(tapDances);
    m_lighting = light;
    m_savedLighting = light;
    m_macros = std::move(macros);
    m_layoutOptions = options;
    return {};
}

Expected<void> VirtualPad::loadStateJson(std::string_view text)
{
    std::lock_guard lock(m_mutex);
    return loadStateLocked(text);
}

Expected<void> VirtualPad::loadState(const std::filesystem::path& path)
{
    auto text = readFileCapped(path, MaxStateFileBytes);
    if (!text)
        return unexpected(text.error());
    return loadStateJson(*text);
}

Expected<void> VirtualPad::saveState(const std::filesystem::path& path) const
{
    return writeFileAtomically(path, stateJson());
}

void VirtualPad::attachStateFile(const std::filesystem::path& path)
{
    (void)loadState(path); // a missing or broken file means a fresh EEPROM
    std::lock_guard lock(m_mutex);
    m_stateFile = path;
    m_eepromChanged = false;
}

std::optional<std::filesystem::path> VirtualPad::stateFile() const
{
    std::lock_guard lock(m_mutex);
    return m_stateFile;
}

void VirtualPad::saveIfAttached()
{
    if (!m_eepromChanged)
        return;
    m_eepromChanged = false;
    if (m_stateFile)
        (void)writeFileAtomically(*m_stateFile, stateJsonLocked());
}

namespace {

enum class LayerOp
{
    none,
    to,
    momentary, // MO, and OSL which also lasts for the next key
    defaultLayer,
    toggle, // TG, and TT when tapped
    oneShotMods,
    layerMods,
};

struct DecodedLayerKey
{
    LayerOp op = LayerOp::none;
    int layer = 0;
    std::uint8_t mods = 0;
};

DecodedLayerKey decodeLayerKey(Keycode code, bool modern)
{
    if (modern) {
        if (code >= 0x5000 && code <= 0x51FF)
            return {LayerOp::layerMods, (code >> 5) & 0xF, static_cast<std::uint8_t>(code & 0x1F)};
        if (code >= 0x5200 && code <= 0x52FF) {
            const int l = code & 0x1F;
            switch ((code >> 5) & 0x7) {
            case 0:
                return {LayerOp::to, l, 0};
            case 1:
            case 4:
                return {LayerOp::momentary, l, 0};
            case 2:
            case 7:
                return {LayerOp::defaultLayer, l, 0};
            case 3:
            case 6:
                return {LayerOp::toggle, l, 0};
            case 5:
                return {LayerOp::oneShotMods, 0, static_cast<std::uint8_t>(code & 0x1F)};
            }
        }
        return {};
    }
    switch (code & 0xFF00) {
    case 0x5000:
        return {LayerOp::to, code & 0xF, 0};
    case 0x5100:
    case 0x5400:
        return {LayerOp::momentary, code & 0xFF, 0};
    case 0x5200:
        return {LayerOp::defaultLayer, code & 0xFF, 0};
    case 0x5300:
    case 0x5800:
        return {LayerOp::toggle, code & 0xFF, 0};
    case 0x5500:
        return {LayerOp::oneShotMods, 0, static_cast<std::uint8_t>(code & 0x1F)};
    case 0x5900:
        return {LayerOp::layerMods, (code >> 4) & 0xF, static_cast<std::uint8_t>(code & 0xF)};
    default:
        return {};
    }
}

} // namespace

int VirtualPad::highestLayerLocked() const
{
    const std::uint32_t layers = m_layerState | m_defaultLayerState;
    for (int l = std::min(m_spec.layers, MaxLayers) - 1; l >= 0; --l)
        if (layers & (1u << l))
            return l;
    return 0;
}

Keycode VirtualPad::resolveKeyLocked(int row, int col) const
{
    const std::uint32_t layers = m_layerState | m_defaultLayerState;
    for (int l = m_spec.layers - 1; l >= 0; --l) {
        if (!(layers & (1u << l)))
            continue;
        const Keycode code = m_keymap[keyIndex(l, row, col)];
        if (code != KcTrns)
            return code;
    }
    return m_keymap[keyIndex(0, row, col)];
}

Keycode VirtualPad::resolveEncoderLocked(int index, bool clockwise) const
{
    const std::uint32_t layers = m_layerState | m_defaultLayerState;
    for (int l = m_spec.layers - 1; l >= 0; --l) {
        if (!(layers & (1u << l)))
            continue;
        const Keycode code = m_encoders[encoderIndex(l, index, clockwise)];
        if (code != KcTrns)
            return code;
    }
    return m_encoders[encoderIndex(0, index, clockwise)];
}

void VirtualPad::tapKeycodeLocked(Keycode code, std::vector<Event>& out, int depth)
{
    if (depth > 4)
        return;
    const bool modern = modernKeycodes();
    auto append = [&](const std::vector<HidUsageEvent>& events) {
        for (const auto& e : events)
            out.push_back({e.page, e.usage, e.value});
    };
    auto basic = [&](Keycode kc) { append(basicKeyTap(static_cast<std::uint8_t>(kc & 0xFF), modern)); };

    if (code <= 0xFF) {
        basic(code);
        return;
    }
    if (code <= 0x1FFF) {
        const auto mods = static_cast<std::uint8_t>((code >> 8) & 0x1F);
        append(modifierEvents(mods, 1));
        basic(code);
        append(modifierEvents(mods, 0));
        return;
    }
    // Mod-tap and layer-tap send their key when tapped.
    const bool modTap = modern ? (code >= 0x2000 && code <= 0x3FFF) : (code >= 0x6000 && code <= 0x7FFF);
    if (modTap || (code >= 0x4000 && code <= 0x4FFF)) {
        basic(code);
        return;
    }
    if ((code & 0xFF00) == 0x5700) {
        const std::size_t n = code & 0xFF;
        if (n < m_tapDances.size())
            tapKeycodeLocked(m_tapDances[n].onTap, out, depth + 1);
        return;
    }
    const auto key = decodeLayerKey(code, modern);
    const bool layerOk = key.layer >= 0 && key.layer < m_spec.layers;
    switch (key.op) {
    case LayerOp::none:
        break;
    case LayerOp::to:
        if (layerOk)
            m_layerState = 1u << key.layer;
        break;
    case LayerOp::momentary:
        if (layerOk) {
            m_layerState |= 1u << key.layer;
            m_heldLayer = key.layer;
        }
        break;
    case LayerOp::defaultLayer:
        if (layerOk)
            m_defaultLayerState = 1u << key.layer;
        break;
    case LayerOp::toggle:
        if (layerOk)
            m_layerState ^= 1u << key.layer;
        break;
    case LayerOp::oneShotMods:
    case LayerOp::layerMods:
        append(modifierEvents(key.mods, 1));
        append(modifierEvents(key.mods, 0));
        break;
    }
}

void VirtualPad::sendToHost(const std::vector<Event>& events)
{
    InputSink sink;
    {
        std::lock_guard lock(m_mutex);
        sink = m_sink;
    }
    if (!sink)
        return;
    for (const auto& e : events)
        sink(*this, e.page, e.usage, e.value);
}

void VirtualPad::setInputSink(InputSink sink)
{
    std::lock_guard lock(m_mutex);
    m_sink = std::move(sink);
}

void VirtualPad::press(int row, int col)
{
    std::vector<Event> events;
    {
        std::lock_guard lock(m_mutex);
        if (row < 0 || col < 0 || row >= m_spec.rows || col >= m_spec.cols)
            return;
        const auto held = std::exchange(m_heldLayer, std::nullopt);
        const auto hw = std::find_if(
            m_spec.hardwareLayerKeys.begin(), m_spec.hardwareLayerKeys.end(), [&](const HardwareLayerKey& k) {
                return k.cell == MatrixCell{row, col};
            });
        if (hw != m_spec.hardwareLayerKeys.end()) {
            const int layers = m_spec.layers;
            const int current = highestLayerLocked();
            const int next = hw->code == 0x00F1 ? (current + layers - 1) % layers : (current + 1) % layers;
            m_layerState = 1u << next;
        } else {
            tapKeycodeLocked(resolveKeyLocked(row, col), events, 0);
        }
        if (held && m_heldLayer != held)
            m_layerState &= ~(1u << *held);
    }
    sendToHost(events);
}

void VirtualPad::turn(int index, bool clockwise)
{
    std::vector<Event> events;
    {
        std::lock_guard lock(m_mutex);
        if (index < 0 || index >= m_spec.encoderCount)
            return;
        const auto held = std::exchange(m_heldLayer, std::nullopt);
        tapKeycodeLocked(resolveEncoderLocked(index, clockwise), events, 0);
        if (held && m_heldLayer != held)
            m_layerState &= ~(1u << *held);
    }
    sendToHost(events);
}

bool VirtualPad::click(int index)
{
    MatrixCell cell;
    {
        std::lock_guard lock(m_mutex);
        if (index < 0 || index >= static_cast<int>(m_spec.encoderClicks.size()) || !m_spec.encoderClicks[index])
            return false;
        cell = *m_spec.encoderClicks[index];
    }
    press(cell.row, cell.col);
    return true;
}

void VirtualPad::setActiveLayer(int layer)
{
    std::lock_guard lock(m_mutex);
    if (layer < 0 || layer >= m_spec.layers)
        return;
    m_layerState = 1u << layer;
    m_heldLayer.reset();
}

int VirtualPad::activeLayer() const
{
    std::lock_guard lock(m_mutex);
    return highestLayerLocked();
}

namespace {

constexpr std::size_t MaxDefinitionBytes = 1024 * 1024;
constexpr int MaxDefinitionMatrix = 64;
constexpr int MaxDefinitionEncoders = 32;

std::optional<int> hexId(const nlohmann::json& doc, const char* key)
{
    if (!doc.contains(key))
        return std::nullopt;
    const auto& v = doc[key];
    if (v.is_number_integer()) {
        const auto n = v.get<long long>();
        return (n >= 0 && n <= 0xFFFF) ? std::optional<int>(static_cast<int>(n)) : std::nullopt;
    }
    if (!v.is_string())
        return std::nullopt;
    const std::string s = v.get<std::string>();
    if (s.size() < 3 || s[0] != '0' || (s[1] != 'x' && s[1] != 'X'))
        return std::nullopt;
    unsigned n = 0;
    const auto [end, ec] = std::from_chars(s.data() + 2, s.data() + s.size(), n, 16);
    if (ec != std::errc() || end != s.data() + s.size() || n > 0xFFFF)
        return std::nullopt;
    return static_cast<int>(n);
}

std::uint64_t fnv1a64(std::string_view text)
{
    std::uint64_t h = 0xcbf29ce484222325ull;
    for (unsigned char c : text) {
        h ^= c;
        h *= 0x100000001b3ull;
    }
    return h;
}

// What each of the four layers of a definition-made pad holds, key by key in layout order.
std::vector<Keycode> layerPlan(int layer)
{
    std::vector<Keycode> codes;
    switch (layer) {
    case 0: // digits, then letters, then editing keys
        for (Keycode k = 0x1E; k <= 0x27; ++k)
            codes.push_back(k);
        for (Keycode k = 0x04; k <= 0x1D; ++k)
            codes.push_back(k);
        for (Keycode k : {0x28, 0x29, 0x2A, 0x2B, 0x2C})
            codes.push_back(k);
        break;
    case 1: // media, then F13-F24
        for (Keycode k : {0xAE, 0xAC, 0xAB, 0xA8, 0xAA, 0xA9})
            codes.push_back(k);
        for (Keycode k = 0x68; k <= 0x73; ++k)
            codes.push_back(k);
        break;
    case 2: // editing shortcuts and navigation
        for (Keycode k : {0x011D, 0x011B, 0x0106, 0x0119, 0x0116, 0x0104, 0x0109, 0x031D})
            codes.push_back(k);
        for (Keycode k : {0x4A, 0x52, 0x4D, 0x4B, 0x50, 0x51, 0x4F, 0x4E, 0x49, 0x4C})
            codes.push_back(k);
        break;
    default: // function keys
        for (Keycode k = 0x3A; k <= 0x45; ++k)
            codes.push_back(k);
        break;
    }
    return codes;
}

// Counter-clockwise / clockwise pairs per layer.
constexpr Keycode EncoderPlan[4][2] = {{0xAA, 0xA9}, {0xDA, 0xD9}, {0xAC, 0xAB}, {0x50, 0x4F}};

} // namespace

Expected<std::shared_ptr<VirtualPad>> VirtualPad::fromVialDefinition(std::string_view text)
{
    using nlohmann::json;
    // A path is accepted too: JSON text never starts without a brace once blanks are skipped.
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first != std::string_view::npos && text[first] != '{' && text.size() < 4096) {
        std::error_code ec;
        const std::filesystem::path path{std::string(text)};
        if (std::filesystem::is_regular_file(path, ec))
            return fromVialDefinitionFile(path);
    }
    const auto parsed = parseJsonCapped(text, MaxDefinitionBytes);
    if (!parsed)
        return unexpected(Error("The keyboard definition is " + parsed.error().message, 0, "VirtualPad"));
    if (!parsed->is_object())
        return unexpected(Error("The keyboard definition is not a JSON object", 0, "VirtualPad"));
    const json& doc = *parsed;
    const auto matrix = doc.find("matrix");
    if (matrix == doc.end() || !matrix->is_object())
        return unexpected(Error("The keyboard definition has no \"matrix\"", 0, "VirtualPad"));
    auto dimension = [&](const char* key) -> std::optional<int> {
        const auto it = matrix->find(key);
        if (it == matrix->end() || !it->is_number_integer())
            return std::nullopt;
        const auto v = it->get<long long>();
        return (v >= 1 && v <= MaxDefinitionMatrix) ? std::optional<int>(static_cast<int>(v)) : std::nullopt;
    };
    const auto rows = dimension("rows"), cols = dimension("cols");
    if (!rows || !cols)
        return unexpected(Error("The keyboard definition needs matrix rows and cols between 1 and " +
                                    std::to_string(MaxDefinitionMatrix),
                                0,
                                "VirtualPad"));

    KlePositions positions;
    if (const auto layouts = doc.find("layouts"); layouts != doc.end() && layouts->is_object())
        if (const auto keymap = layouts->find("keymap"); keymap != layouts->end())
            positions = scanKlePositions(*keymap);

    VirtualPadSpec padSpec;
    padSpec.vid = hexId(doc, "vendorId").value_or(0x4B47);
    padSpec.pid = hexId(doc, "productId").value_or(0x0001);
    padSpec.manufacturer = "Vial";
    padSpec.product = "Vial Keyboard";
    if (const auto name = doc.find("name"); name != doc.end() && name->is_string() && !name->get<std::string>().empty())
        padSpec.product = name->get<std::string>().substr(0, 64);
    padSpec.serial = "vial:f64c2b3c";
    padSpec.viaVersion = 9;
    padSpec.vial = true;
    padSpec.vialVersion = 6;
    padSpec.definitionJson = std::string(text);
    padSpec.vialUid = fnv1a64(doc.dump()) | 1; // stable per definition, never 0
    padSpec.rows = *rows;
    padSpec.cols = *cols;
    padSpec.layers = 4;

    // Each matrix cell named in the layout gets the next keycode of its layer's plan, in layout order.
    std::vector<MatrixCell> cells;
    for (const auto& key : positions.keys) {
        if (key.decal || key.row >= *rows || key.col >= *cols)
            continue;
        const MatrixCell cell{key.row, key.col};
        if (std::find(cells.begin(), cells.end(), cell) == cells.end())
            cells.push_back(cell);
    }
    padSpec.keymap.assign(4, std::vector<std::vector<Keycode>>(*rows, std::vector<Keycode>(*cols, 0)));
    for (int l = 0; l < 4; ++l) {
        const auto plan = layerPlan(l);
        for (std::size_t i = 0; i < cells.size(); ++i)
            padSpec.keymap[l][cells[i].row][cells[i].col] = plan[i % plan.size()];
    }

    int encoders = 0;
    for (const auto& e : positions.encoders)
        if (e.index < MaxDefinitionEncoders)
            encoders = std::max(encoders, e.index + 1);
    padSpec.encoderCount = encoders;
    padSpec.encoderMap.assign(4, std::vector<std::vector<Keycode>>(encoders));
    for (int l = 0; l < 4; ++l)
        for (int e = 0; e < encoders; ++e)
            padSpec.encoderMap[l][e] = {EncoderPlan[(l + e) % 4][0], EncoderPlan[(l + e) % 4][1]};
    // A single knob on a single key is a knob with a push switch.
    if (encoders == 1 && cells.size() == 1)
        padSpec.encoderClicks = {cells.front()};

    padSpec.tapDances.assign(8, defaultTapDance());
    padSpec.comboCount = 8;
    padSpec.keyOverrideCount = 8;
    if (const auto light = doc.find("lighting"); light != doc.end() && light->is_string()) {
        const auto kind = light->get<std::string>();
        if (kind == "qmk_rgblight" || kind == "qmk_backlight_rgblight")
            padSpec.lighting = LightingDialect::legacyRgblight;
    }
    return std::make_shared<VirtualPad>(std::move(padSpec));
}

Expected<std::shared_ptr<VirtualPad>> VirtualPad::fromVialDefinitionFile(const std::filesystem::path& path)
{
    auto text = readFileCapped(path, MaxDefinitionBytes);
    if (!text)
        return unexpected(text.error());
    return fromVialDefinition(*text);
}

} // namespace keyglass
