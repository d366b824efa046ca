#pragma once
// Faults for virtual pads written as text, so a person can try them from the shell:
// KEYGLASS_VIRTUAL_FAULTS="drop=5,wrong-echo=9,disconnect-after=40". Request numbers count from the
// pad's first request, as the pad receives them.

#include "model/Expected.h"
#include "sim/VirtualPad.h"

#include <string_view>
#include <variant>
#include <vector>

namespace keyglass {

struct FaultPlan
{
    struct RefuseOpen
    {
    };
    struct Drop
    {
        int nth = 0; // 0: every answer
    };
    struct Garble
    {
        int nth = 0;
    };
    struct WrongEcho
    {
        int nth = 0;
    };
    struct DisconnectAfter
    {
        int requests = 0;
    };
    struct Delay
    {
        int nth = 0;
        int milliseconds = 0;
    };
    using Fault = std::variant<RefuseOpen, Drop, Garble, WrongEcho, DisconnectAfter, Delay>;

    std::vector<Fault> faults;

    void applyTo(VirtualPad& pad) const;
};

/// "refuse-open", "drop=N", "drop-all", "garbage=N", "garbage-all", "wrong-echo=N", "wrong-echo-all",
/// "disconnect-after=N", "delay=N:MS", separated by commas; empty text is no fault.
Expected<FaultPlan> parseFaultPlan(std::string_view text);

} // namespace keyglass
