#include "sim/FaultPlan.h"

#include "model/Text.h"

#include <charconv>
#include <chrono>
#include <string>

namespace keyglass {

namespace {

constexpr int MaxRequestNumber = 1'000'000;
constexpr int MaxDelayMilliseconds = 60'000;

std::optional<int> parseCount(std::string_view text, int low, int high)
{
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < low || value > high)
        return std::nullopt;
    return value;
}

Error badFault(std::string_view item)
{
    std::string message = "KEYGLASS_VIRTUAL_FAULTS: cannot read \"";
    message += item;
    message += "\" (use refuse-open, drop=N, drop-all, garbage=N, garbage-all, wrong-echo=N, wrong-echo-all, "
               "disconnect-after=N or delay=N:MS)";
    return Error(message);
}

std::optional<FaultPlan::Fault> parseFault(std::string_view item)
{
    const std::size_t equals = item.find('=');
    const std::string_view name = item.substr(0, equals);
    const std::string_view value = equals == std::string_view::npos ? std::string_view{} : item.substr(equals + 1);
    const bool hasValue = equals != std::string_view::npos;

    if (!hasValue) {
        if (name == "refuse-open")
            return FaultPlan::RefuseOpen{};
        if (name == "drop-all")
            return FaultPlan::Drop{0};
        if (name == "garbage-all")
            return FaultPlan::Garble{0};
        if (name == "wrong-echo-all")
            return FaultPlan::WrongEcho{0};
        return std::nullopt;
    }
    if (name == "delay") {
        const std::size_t colon = value.find(':');
        if (colon == std::string_view::npos)
            return std::nullopt;
        const auto nth = parseCount(value.substr(0, colon), 1, MaxRequestNumber);
        const auto ms = parseCount(value.substr(colon + 1), 0, MaxDelayMilliseconds);
        if (!nth || !ms)
            return std::nullopt;
        return FaultPlan::Delay{*nth, *ms};
    }
    const auto n = parseCount(value, name == "disconnect-after" ? 0 : 1, MaxRequestNumber);
    if (!n)
        return std::nullopt;
    if (name == "drop")
        return FaultPlan::Drop{*n};
    if (name == "garbage")
        return FaultPlan::Garble{*n};
    if (name == "wrong-echo")
        return FaultPlan::WrongEcho{*n};
    if (name == "disconnect-after")
        return FaultPlan::DisconnectAfter{*n};
    return std::nullopt;
}

template <class... F> struct Overloaded : F...
{
    using F::operator()...;
};
// Clang 14 does not deduce aggregate template arguments by itself.
template <class... F> Overloaded(F...) -> Overloaded<F...>;

} // namespace

Expected<FaultPlan> parseFaultPlan(std::string_view text)
{
    FaultPlan plan;
    while (!text.empty()) {
        const std::size_t comma = text.find(',');
        const std::string_view item = trimWhitespace(text.substr(0, comma));
        text = comma == std::string_view::npos ? std::string_view{} : text.substr(comma + 1);
        if (item.empty())
            continue;
        if (plan.faults.size() >= 256)
            return unexpected(Error("KEYGLASS_VIRTUAL_FAULTS: more than 256 faults"));
        const auto fault = parseFault(item);
        if (!fault)
            return unexpected(badFault(item));
        plan.faults.push_back(*fault);
    }
    return plan;
}

void FaultPlan::applyTo(VirtualPad& pad) const
{
    for (const Fault& fault : faults) {
        std::visit(
            Overloaded{
                [&](const RefuseOpen&) { pad.setRefuseOpen(true); },
                [&](const Drop& f) { f.nth == 0 ? pad.dropAllAnswers(true) : pad.dropAnswer(f.nth); },
                [&](const Garble& f) { f.nth == 0 ? pad.garbleAllAnswers(true) : pad.garbleAnswer(f.nth); },
                [&](const WrongEcho& f) { f.nth == 0 ? pad.wrongEchoAllAnswers(true) : pad.wrongEchoAnswer(f.nth); },
                [&](const DisconnectAfter& f) { pad.disconnectAfter(f.requests); },
                [&](const Delay& f) { pad.delayAnswer(f.nth, std::chrono::milliseconds(f.milliseconds)); },
            },
            fault);
    }
}

} // namespace keyglass
