#include "store/LightingWrites.h"

#include "device/Lighting.h"

#include <chrono>

namespace keyglass {

namespace {
constexpr auto LightingWriteDelay = std::chrono::milliseconds(40);
constexpr auto LightingSaveDelay = std::chrono::milliseconds(500);
} // namespace

RGBState lightingWith(RGBState state,
                      std::optional<std::uint8_t> brightness,
                      std::optional<std::uint8_t> effect,
                      std::optional<std::uint8_t> hue,
                      std::optional<std::uint8_t> sat)
{
    if (brightness)
        state.brightness = *brightness;
    if (effect) {
        state.effect = *effect;
        if (*effect != 0)
            state.lastOnEffect = *effect;
    }
    if (hue)
        state.hue = *hue;
    if (sat)
        state.sat = *sat;
    return state;
}

LightingToggle lightingToggle(const RGBState& state)
{
    if (state.isOn())
        return {std::nullopt, 0};
    const std::uint8_t brightness = state.brightness == 0 ? std::uint8_t{180} : state.brightness;
    const std::uint8_t effect = state.lastOnEffect >= 2 ? state.lastOnEffect : std::uint8_t{1};
    return {brightness, effect};
}

LightingColorPick lightingColorPick(const RGBState& state)
{
    return {state.brightness == 0 ? std::uint8_t{180} : state.brightness,
            state.effect > 1 ? state.effect : std::uint8_t{1}};
}

void LightingWrites::schedule(const std::string& deviceID, int vid, int pid, const RGBState& state)
{
    HidBackend& hid = m_hid;
    if (auto pending = m_writeWorks.find(deviceID); pending != m_writeWorks.end())
        pending->second.cancel();
    m_writeWorks[deviceID] = m_scheduler.postIOAfter(
        LightingWriteDelay, [&hid, vid, pid, state] { writeLighting(hid, vid, pid, state, false); });
    if (auto pending = m_saveWorks.find(deviceID); pending != m_saveWorks.end())
        pending->second.cancel();
    auto saved = std::make_shared<std::atomic<bool>>(false);
    m_saveWorks[deviceID] = m_scheduler.postIOAfter(LightingSaveDelay, [&hid, vid, pid, state, saved] {
        writeLighting(hid, vid, pid, state, true);
        saved->store(true);
    });
    m_pending[deviceID] = Pending{vid, pid, state, saved};
}

void LightingWrites::flushAll()
{
    HidBackend& hid = m_hid;
    cancelAll();
    for (const auto& [id, pending] : m_pending)
        if (!pending.saved->load())
            m_scheduler.postIO([&hid, p = pending] { writeLighting(hid, p.vid, p.pid, p.state, true); });
    m_pending.clear();
    m_writeWorks.clear();
    m_saveWorks.clear();
}

void LightingWrites::cancelAll()
{
    for (auto& [id, token] : m_writeWorks)
        token.cancel();
    for (auto& [id, token] : m_saveWorks)
        token.cancel();
}

} // namespace keyglass
