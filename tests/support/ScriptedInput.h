#pragma once
// Live input scripted by the test: access and open results are set by it, events are pushed by it.
// Access is not granted by default, so a store built on it keeps its watcher off.

#include "input/InputEventSource.h"

#include <utility>
#include <vector>

namespace keyglass::test {

class ScriptedInput final : public InputEventSource
{
public:
    explicit ScriptedInput(bool accessGranted = false) : granted(accessGranted) {}

    bool granted = false;
    std::optional<OpenResult> nextOpen; // none: every pad opens with one interface
    std::uint8_t mods = 0;
    int opens = 0;
    int closes = 0;
    std::vector<std::pair<int, int>> opened;

    bool accessGranted(const std::vector<std::pair<int, int>>&) const override { return granted; }
    OpenResult open(const std::vector<std::pair<int, int>>& pads) override
    {
        ++opens;
        opened = pads;
        return nextOpen.value_or(OpenResult{0, static_cast<int>(pads.size())});
    }
    void close() override { ++closes; }
    std::uint8_t systemModifiers() const override { return mods; }
    void setListener(Listener l) override { listener = std::move(l); }

    void send(std::uint16_t vid, std::uint16_t pid, std::uint16_t page, std::uint16_t usage, std::int32_t value)
    {
        if (listener)
            listener(InputEvent{vid, pid, page, usage, value});
    }

    Listener listener;
};

} // namespace keyglass::test
