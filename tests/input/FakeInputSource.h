#pragma once

#include "input/InputEventSource.h"

namespace keyglass::test {

/// A scripted source: access and open results are set by the test, events are pushed by it.
class FakeInputSource : public InputEventSource
{
public:
    bool access = true;
    OpenResult nextOpen{0, 3};
    std::uint8_t mods = 0;
    int opens = 0;
    int closes = 0;
    std::vector<std::pair<int, int>> openedWith;

    bool accessGranted(const std::vector<std::pair<int, int>>&) const override { return access; }
    OpenResult open(const std::vector<std::pair<int, int>>& vidPids) override
    {
        ++opens;
        openedWith = vidPids;
        return nextOpen;
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
