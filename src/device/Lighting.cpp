#include "device/Lighting.h"

#include "device/ViaCommands.h"

#include <algorithm>

namespace keyglass {

namespace {
constexpr std::uint8_t RgbBrightness = 0x80;
constexpr std::uint8_t RgbEffect = 0x81;
constexpr std::uint8_t RgbSpeed = 0x82;
constexpr std::uint8_t RgbColor = 0x83;
constexpr std::uint8_t BacklightBrightness = 0x09;
constexpr std::uint8_t BacklightBreathing = 0x0A;
constexpr std::uint8_t VialRgbInfo = 0x40;
constexpr std::uint8_t VialRgbMode = 0x41;
constexpr std::uint8_t VialRgbSupported = 0x42;
constexpr std::uint16_t VialRgbEnd = 0xFFFF;
// VialRGB reports 15 ids a page; no firmware has more than a few dozen effects.
constexpr int MaxVialRgbPages = 32;

constexpr std::uint8_t Channel1 = 0x01;
constexpr std::uint8_t ChEffect = 0x01;
constexpr std::uint8_t ChBrightness = 0x02;
constexpr std::uint8_t ChSpeed = 0x03;
constexpr std::uint8_t ChColor = 0x04;

// QMK's stock channels and their value ids.
constexpr std::uint8_t BacklightChannel = 1, RgblightChannel = 2, RgbMatrixChannel = 3, LedMatrixChannel = 5;
constexpr std::uint8_t QmkBrightness = 1, QmkEffect = 2, QmkSpeed = 3, QmkColor = 4;
constexpr int MinViaVersionWithChannels = 11;

// Filler for the data bytes of a probing get: a handler overwrites them, an unhandled value id
// echoes them back. Two different fillers tell a real value that happens to equal one from an echo.
constexpr std::uint8_t Fillers[2] = {0xA5, 0x5A};

std::uint8_t lastOnFor(std::uint8_t effect)
{
    return effect >= 2 ? effect : 1;
}

std::optional<Answer> rgbGet(RawHidSession& session, std::uint8_t valueId)
{
    return session.exchange({via::LightingGet, valueId});
}

bool longEnough(const std::optional<Answer>& answer, std::size_t size)
{
    return answer && answer->size() >= size;
}

struct Probed
{
    std::optional<Answer> answer;
    bool echoed = false; // the value id was not handled: the data came back as sent
};

/// A get of `channel`/`valueId` whose `width` data bytes start at byte 3.
Probed probeChannel(RawHidSession& session, std::uint8_t channel, std::uint8_t valueId, std::size_t width)
{
    Probed out;
    for (const std::uint8_t filler : Fillers) {
        std::vector<std::uint8_t> request{via::LightingGet, channel, valueId};
        request.resize(3 + width, filler);
        out.answer = session.exchange(request);
        if (!out.answer || out.answer->size() < 3 + width || (*out.answer)[0] != via::LightingGet)
            return Probed{out.answer, false};
        const bool same = std::all_of(out.answer->begin() + 3,
                                      out.answer->begin() + 3 + static_cast<std::ptrdiff_t>(width),
                                      [&](std::uint8_t b) { return b == filler; });
        if (!same)
            return out;
    }
    out.echoed = true;
    return out;
}

bool handled(const Probed& p, std::size_t size)
{
    return longEnough(p.answer, size) && (*p.answer)[0] == via::LightingGet && !p.echoed;
}

RGBState backlightState(RGBProtocolKind kind, std::uint8_t brightness, bool breathing)
{
    RGBState state;
    state.kind = kind;
    state.brightness = brightness;
    state.effect = brightness == 0 ? 0 : (breathing ? 2 : 1);
    state.lastOnEffect = lastOnFor(state.effect);
    return state;
}

LightingRead readLegacyBacklight(RawHidSession& session)
{
    std::uint8_t brightness = RGBState{}.brightness;
    bool breathing = false;
    if (const auto a = rgbGet(session, BacklightBrightness); longEnough(a, 3))
        brightness = (*a)[2];
    if (const auto a = rgbGet(session, BacklightBreathing); longEnough(a, 3))
        breathing = (*a)[2] != 0;
    return {backlightState(RGBProtocolKind::qmkBacklight, brightness, breathing), {}};
}

LightingRead readVialRgb(RawHidSession& session)
{
    LightingRead read;
    read.state.kind = RGBProtocolKind::vialRgb;
    // Supported effects, 15 a page, each page asking for the ids above the last one seen.
    std::uint16_t after = 0;
    for (int page = 0; page < MaxVialRgbPages; ++page) {
        const auto a = session.exchange({via::LightingGet,
                                         VialRgbSupported,
                                         static_cast<std::uint8_t>(after & 0xFF),
                                         static_cast<std::uint8_t>(after >> 8)});
        if (!longEnough(a, 32) || (*a)[0] != via::LightingGet)
            break;
        bool more = true;
        for (std::size_t at = 2; at + 1 < 32 && more; at += 2) {
            const std::uint16_t id = readU16LE(*a, at);
            // Ids come in rising order; anything else is not an answer to this page.
            if (id == VialRgbEnd || id <= after)
                more = false;
            else
                read.effectIds.push_back(after = id);
        }
        if (!more)
            break;
    }
    if (const auto a = rgbGet(session, VialRgbMode); longEnough(a, 8) && (*a)[0] == via::LightingGet) {
        const std::uint16_t effect = readU16LE(*a, 2);
        if (effect <= 0xFF)
            read.state.effect = static_cast<std::uint8_t>(effect);
        read.state.speed = (*a)[4];
        read.state.hue = (*a)[5];
        read.state.sat = (*a)[6];
        read.state.brightness = (*a)[7];
    }
    read.state.lastOnEffect = lastOnFor(read.state.effect);
    return read;
}

/// QMK's rgblight, RGB Matrix or LED Matrix channel, once its brightness answered.
RGBState readQmkChannel(RawHidSession& session, RGBProtocolKind kind, std::uint8_t channel, std::uint8_t brightness)
{
    RGBState state;
    state.kind = kind;
    state.brightness = brightness;
    if (const auto a = session.exchange({via::LightingGet, channel, QmkEffect}); longEnough(a, 4))
        state.effect = (*a)[3];
    if (const auto a = session.exchange({via::LightingGet, channel, QmkSpeed}); longEnough(a, 4))
        state.speed = (*a)[3];
    if (lightingHasColor(kind))
        if (const auto a = session.exchange({via::LightingGet, channel, QmkColor}); longEnough(a, 5)) {
            state.hue = (*a)[3];
            state.sat = (*a)[4];
        }
    state.lastOnEffect = lastOnFor(state.effect);
    return state;
}

// Sends lighting requests in order and stops at the first the pad does not answer with its echo: a pad
// that has gone away or answers garbage gets no further writes.
class LightingRequests
{
public:
    explicit LightingRequests(RawHidSession& session) : m_session(session) {}
    void operator()(std::initializer_list<std::uint8_t> request)
    {
        if (!m_answering)
            return;
        const auto answer = m_session.exchange(request);
        m_answering = answer && !answer->empty() && (*answer)[0] == *request.begin();
    }

private:
    RawHidSession& m_session;
    bool m_answering = true;
};
} // namespace

RGBProtocolKind lightingKindFromDefinition(const nlohmann::json& definition)
{
    if (!definition.is_object())
        return RGBProtocolKind::none;
    const auto lighting = definition.find("lighting");
    if (lighting == definition.end() || !lighting->is_string())
        return RGBProtocolKind::none;
    const auto& name = lighting->get_ref<const std::string&>();
    if (name == "qmk_rgblight" || name == "qmk_backlight_rgblight")
        return RGBProtocolKind::qmkRgblight;
    if (name == "qmk_backlight")
        return RGBProtocolKind::qmkBacklight;
    if (name == "vialrgb")
        return RGBProtocolKind::vialRgb;
    return RGBProtocolKind::none;
}

LightingRead readVialLighting(RawHidSession& session, const nlohmann::json& definition)
{
    switch (lightingKindFromDefinition(definition)) {
    case RGBProtocolKind::qmkBacklight:
        return readLegacyBacklight(session);
    case RGBProtocolKind::vialRgb:
        return readVialRgb(session);
    case RGBProtocolKind::qmkRgblight:
        break;
    default:
        return {};
    }
    RGBState state;
    state.kind = RGBProtocolKind::qmkRgblight;
    if (const auto a = rgbGet(session, RgbBrightness); longEnough(a, 3))
        state.brightness = (*a)[2];
    if (const auto a = rgbGet(session, RgbEffect); longEnough(a, 3))
        state.effect = (*a)[2];
    if (const auto a = rgbGet(session, RgbSpeed); longEnough(a, 3))
        state.speed = (*a)[2];
    if (const auto a = rgbGet(session, RgbColor); longEnough(a, 4)) {
        state.hue = (*a)[2];
        state.sat = (*a)[3];
    }
    state.lastOnEffect = lastOnFor(state.effect);
    return {state, {}};
}

LightingRead readViaLighting(RawHidSession& session, int viaVersion)
{
    RGBState state;

    // Channel 1: the keyboard's own values, or QMK's backlight, which has no speed and no colour.
    Probed channel[4];
    const std::uint8_t ids[4] = {ChEffect, ChBrightness, ChSpeed, ChColor};
    bool allAnswered = true;
    for (int i = 0; i < 4 && allAnswered; ++i) {
        channel[i] = probeChannel(session, Channel1, ids[i], i == 3 ? 2 : 1);
        allAnswered = channel[i].answer.has_value();
    }
    if (allAnswered && handled(channel[0], 4) && handled(channel[1], 4) && handled(channel[3], 5)) {
        const std::uint8_t effect = (*channel[0].answer)[3];
        const std::uint8_t brightness = (*channel[1].answer)[3];
        const std::uint8_t hue = (*channel[3].answer)[3];
        if (effect != 0 || brightness != 0 || hue != 0) {
            state.kind = RGBProtocolKind::viaCustomCh1;
            state.effect = effect;
            state.brightness = brightness;
            state.lastOnEffect = lastOnFor(effect);
            state.speed = handled(channel[2], 4) ? (*channel[2].answer)[3] : 2;
            state.hue = hue;
            state.sat = (*channel[3].answer)[4];
            return {state, {}};
        }
    }
    if (viaVersion >= MinViaVersionWithChannels && allAnswered && handled(channel[0], 4) && handled(channel[1], 4) &&
        channel[3].echoed)
        return {backlightState(RGBProtocolKind::viaBacklight, (*channel[0].answer)[3], (*channel[1].answer)[3] != 0),
                {}};

    if (viaVersion >= MinViaVersionWithChannels) {
        const std::pair<std::uint8_t, RGBProtocolKind> channels[] = {{RgblightChannel, RGBProtocolKind::viaRgblight},
                                                                     {RgbMatrixChannel, RGBProtocolKind::viaRgbMatrix},
                                                                     {LedMatrixChannel, RGBProtocolKind::viaLedMatrix}};
        for (const auto& [number, kind] : channels) {
            const auto brightness = probeChannel(session, number, QmkBrightness, 1);
            if (!brightness.answer)
                break; // the pad went quiet
            if (handled(brightness, 4))
                return {readQmkChannel(session, kind, number, (*brightness.answer)[3]), {}};
        }
    }

    const auto brightness = rgbGet(session, RgbBrightness);
    const auto effect = rgbGet(session, RgbEffect);
    if (longEnough(brightness, 3) && longEnough(effect, 3) && (*brightness)[0] == via::LightingGet &&
        ((*brightness)[2] != 0 || (*effect)[2] != 0)) {
        state.kind = RGBProtocolKind::qmkRgblight;
        state.brightness = (*brightness)[2];
        state.effect = (*effect)[2];
        state.lastOnEffect = lastOnFor(state.effect);
        const auto speed = rgbGet(session, RgbSpeed);
        state.speed = longEnough(speed, 3) ? (*speed)[2] : 2;
        if (const auto color = rgbGet(session, RgbColor); longEnough(color, 4)) {
            state.hue = (*color)[2];
            state.sat = (*color)[3];
        } else {
            state.hue = 170;
            state.sat = 255;
        }
        return {state, {}};
    }
    return {};
}

void writeLighting(HidBackend& backend, int vid, int pid, const RGBState& state, bool save)
{
    if (state.kind == RGBProtocolKind::none)
        return;
    auto session = RawHidSession::open(backend, vid, pid);
    if (!session)
        return;
    LightingRequests send(*session);
    // Backlight has no effect of its own: off is brightness 0, the effect picks steady or breathing.
    const std::uint8_t level = state.effect == 0 ? 0 : state.brightness;
    const std::uint8_t breathing = state.effect >= 2 ? 1 : 0;
    switch (state.kind) {
    case RGBProtocolKind::qmkRgblight:
        // rgblight drops a mode sent while it is off and comes back on with its stored one: the first
        // effect write switches it on, the second sets the mode.
        send({via::LightingSet, RgbEffect, state.effect});
        if (state.effect != 0)
            send({via::LightingSet, RgbEffect, state.effect});
        send({via::LightingSet, RgbBrightness, state.brightness});
        send({via::LightingSet, RgbColor, state.hue, state.sat});
        if (save)
            send({via::LightingSave});
        break;
    case RGBProtocolKind::viaCustomCh1:
        send({via::LightingSet, Channel1, ChEffect, state.effect});
        send({via::LightingSet, Channel1, ChBrightness, state.brightness});
        send({via::LightingSet, Channel1, ChColor, state.hue, state.sat});
        if (save)
            send({via::LightingSave, Channel1});
        break;
    case RGBProtocolKind::qmkBacklight:
        send({via::LightingSet, BacklightBrightness, level});
        send({via::LightingSet, BacklightBreathing, breathing});
        if (save)
            send({via::LightingSave});
        break;
    case RGBProtocolKind::vialRgb:
        send({via::LightingSet, VialRgbMode, state.effect, 0x00, state.speed, state.hue, state.sat, state.brightness});
        if (save)
            send({via::LightingSave});
        break;
    case RGBProtocolKind::viaBacklight:
        send({via::LightingSet, BacklightChannel, QmkBrightness, level});
        send({via::LightingSet, BacklightChannel, QmkEffect, breathing});
        if (save)
            send({via::LightingSave, BacklightChannel});
        break;
    case RGBProtocolKind::viaRgblight:
    case RGBProtocolKind::viaRgbMatrix:
    case RGBProtocolKind::viaLedMatrix: {
        const std::uint8_t channel = state.kind == RGBProtocolKind::viaRgblight    ? RgblightChannel
                                     : state.kind == RGBProtocolKind::viaRgbMatrix ? RgbMatrixChannel
                                                                                   : LedMatrixChannel;
        send({via::LightingSet, channel, QmkEffect, state.effect});
        if (state.kind == RGBProtocolKind::viaRgblight && state.effect != 0)
            send({via::LightingSet, channel, QmkEffect, state.effect}); // see rgblight above
        send({via::LightingSet, channel, QmkBrightness, state.brightness});
        if (lightingHasColor(state.kind))
            send({via::LightingSet, channel, QmkColor, state.hue, state.sat});
        send({via::LightingSet, channel, QmkSpeed, state.speed});
        if (save)
            send({via::LightingSave, channel});
        break;
    }
    case RGBProtocolKind::none:
        break;
    }
    session->close();
}

namespace {
// VialRGB numbers its effects once for every firmware, so they can be named.
const char* vialRgbEffectName(std::uint16_t id)
{
    static const char* const names[] = {
        "Off",
        "Direct",
        "Solid Color",
        "Alphas Mods",
        "Gradient Up Down",
        "Gradient Left Right",
        "Breathing",
        "Band Sat",
        "Band Val",
        "Band Pinwheel Sat",
        "Band Pinwheel Val",
        "Band Spiral Sat",
        "Band Spiral Val",
        "Cycle All",
        "Cycle Left Right",
        "Cycle Up Down",
        "Rainbow Moving Chevron",
        "Cycle Out In",
        "Cycle Out In Dual",
        "Cycle Pinwheel",
        "Cycle Spiral",
        "Dual Beacon",
        "Rainbow Beacon",
        "Rainbow Pinwheels",
        "Raindrops",
        "Jellybean Raindrops",
        "Hue Breathing",
        "Hue Pendulum",
        "Hue Wave",
        "Typing Heatmap",
        "Digital Rain",
        "Solid Reactive Simple",
        "Solid Reactive",
        "Solid Reactive Wide",
        "Solid Reactive Multiwide",
        "Solid Reactive Cross",
        "Solid Reactive Multicross",
        "Solid Reactive Nexus",
        "Solid Reactive Multinexus",
        "Splash",
        "Multisplash",
        "Solid Splash",
        "Solid Multisplash",
        "Pixel Rain",
        "Pixel Fractal",
    };
    return id < std::size(names) ? names[id] : nullptr;
}
} // namespace

std::vector<std::pair<std::uint8_t, std::string>> lightingEffects(RGBProtocolKind kind,
                                                                  const std::vector<std::uint16_t>& effectIds)
{
    if (kind == RGBProtocolKind::qmkRgblight)
        return {{0, "Off"},
                {1, "Solid"},
                {2, "Breathing 1"},
                {4, "Breathing 3"},
                {6, "Rainbow Mood"},
                {9, "Rainbow Swirl"},
                {15, "Snake"},
                {25, "Gradient"}};
    if (kind == RGBProtocolKind::qmkBacklight || kind == RGBProtocolKind::viaBacklight)
        return {{0, "Off"}, {1, "Solid"}, {2, "Breathing"}};
    if (kind == RGBProtocolKind::vialRgb) {
        std::vector<std::pair<std::uint8_t, std::string>> out{{0, "Off"}};
        for (const std::uint16_t id : effectIds) {
            if (id == 0 || id > 0xFF)
                continue;
            std::string name;
            if (const char* known = vialRgbEffectName(id)) {
                name = known;
            } else {
                name = "Effect ";
                name += std::to_string(id);
            }
            out.emplace_back(static_cast<std::uint8_t>(id), std::move(name));
        }
        return out;
    }
    // rgblight, RGB Matrix and LED Matrix number only the effects compiled in, so beyond "Solid" (mode 1
    // in every build) a number says nothing about the effect.
    return {{0, "Off"},
            {1, "Solid"},
            {2, "Effect 2"},
            {3, "Effect 3"},
            {4, "Effect 4"},
            {5, "Effect 5"},
            {6, "Effect 6"},
            {7, "Effect 7"}};
}

} // namespace keyglass
