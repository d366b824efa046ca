#include "device/Lighting.h"

#include "device/ViaCommands.h"

namespace keyglass {

namespace {
constexpr std::uint8_t RgbBrightness = 0x80;
constexpr std::uint8_t RgbEffect = 0x81;
constexpr std::uint8_t RgbSpeed = 0x82;
constexpr std::uint8_t RgbColor = 0x83;

constexpr std::uint8_t Channel1 = 0x01;
constexpr std::uint8_t ChEffect = 0x01;
constexpr std::uint8_t ChBrightness = 0x02;
constexpr std::uint8_t ChSpeed = 0x03;
constexpr std::uint8_t ChColor = 0x04;

std::uint8_t lastOnFor(std::uint8_t effect)
{
    return effect >= 2 ? effect : 1;
}

std::optional<Answer> rgbGet(RawHidSession& session, std::uint8_t valueId)
{
    return session.exchange({via::LightingGet, valueId});
}

std::optional<Answer> channelGet(RawHidSession& session, std::uint8_t valueId)
{
    return session.exchange({via::LightingGet, Channel1, valueId});
}

bool longEnough(const std::optional<Answer>& answer, std::size_t size)
{
    return answer && answer->size() >= size;
}
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
    return RGBProtocolKind::none;
}

RGBState readVialLighting(RawHidSession& session, const nlohmann::json& definition)
{
    RGBState state;
    if (lightingKindFromDefinition(definition) != RGBProtocolKind::qmkRgblight)
        return state;
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
    return state;
}

RGBState readViaLighting(RawHidSession& session)
{
    RGBState state;

    std::optional<Answer> channel[4];
    const std::uint8_t ids[4] = {ChEffect, ChBrightness, ChSpeed, ChColor};
    bool allAnswered = true;
    for (int i = 0; i < 4 && allAnswered; ++i) {
        channel[i] = channelGet(session, ids[i]);
        allAnswered = channel[i].has_value();
    }
    if (allAnswered && longEnough(channel[0], 4) && longEnough(channel[1], 4) && longEnough(channel[3], 5) &&
        (*channel[0])[0] == via::LightingGet) {
        const std::uint8_t effect = (*channel[0])[3];
        const std::uint8_t brightness = (*channel[1])[3];
        const std::uint8_t hue = (*channel[3])[3];
        if (effect != 0 || brightness != 0 || hue != 0) {
            state.kind = RGBProtocolKind::viaCustomCh1;
            state.effect = effect;
            state.brightness = brightness;
            state.lastOnEffect = lastOnFor(effect);
            state.speed = longEnough(channel[2], 4) ? (*channel[2])[3] : 2;
            state.hue = hue;
            state.sat = (*channel[3])[4];
            return state;
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
        return state;
    }
    return RGBState{};
}

void writeLighting(HidBackend& backend, int vid, int pid, const RGBState& state, bool save)
{
    if (state.kind == RGBProtocolKind::none)
        return;
    auto session = RawHidSession::open(backend, vid, pid);
    if (!session)
        return;
    if (state.kind == RGBProtocolKind::qmkRgblight) {
        session->exchange({via::LightingSet, RgbEffect, state.effect});
        session->exchange({via::LightingSet, RgbBrightness, state.brightness});
        session->exchange({via::LightingSet, RgbColor, state.hue, state.sat});
        if (save)
            session->exchange({via::LightingSave});
    } else {
        session->exchange({via::LightingSet, Channel1, ChEffect, state.effect});
        session->exchange({via::LightingSet, Channel1, ChBrightness, state.brightness});
        session->exchange({via::LightingSet, Channel1, ChColor, state.hue, state.sat});
        if (save)
            session->exchange({via::LightingSave, Channel1});
    }
    session->close();
}

std::vector<std::pair<std::uint8_t, std::string>> lightingEffects(RGBProtocolKind kind)
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
