#include "sim/FaultInjector.h"

#include "support/SimTestHelpers.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace keyglass {
namespace {

using sim::FaultInjector;
using test::report;

TEST(FaultInjector, AWrongEchoIsNeverTheRequestNorTheUnhandledMarker)
{
    // Either would turn the fault into a different one: a correct answer, or a command the firmware
    // refused.
    FaultInjector faults;
    faults.wrongEchoAllAnswers(true);
    for (int id = 0; id <= 0xFF; ++id) {
        const auto request = report({id, 0x01});
        const auto out = faults.deliver(static_cast<std::uint64_t>(id) + 1, request, request);
        ASSERT_TRUE(out.answer) << id;
        EXPECT_NE((*out.answer)[0], request[0]) << id;
        EXPECT_NE((*out.answer)[0], 0xFF) << id;
    }
}

struct ScheduledFault
{
    std::string name;
    std::function<void(FaultInjector&, std::uint64_t)> schedule;
    std::function<bool(const FaultInjector::Outcome&, const RawHidReport&)> fired;
};

class OneShotFault : public ::testing::TestWithParam<ScheduledFault>
{
};

TEST_P(OneShotFault, HitsOnlyTheRequestItWasScheduledFor)
{
    FaultInjector faults;
    GetParam().schedule(faults, 2);
    const auto request = report({0x04, 0, 1, 2, 0x12, 0x34});
    for (std::uint64_t n = 1; n <= 4; ++n) {
        const auto out = faults.deliver(n, request, request);
        const bool clean = out.answer == request && out.copies == 1 && out.delay == Duration{0};
        if (n == 2)
            EXPECT_TRUE(GetParam().fired(out, request)) << "request " << n;
        else
            EXPECT_TRUE(clean) << "request " << n;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Faults,
    OneShotFault,
    ::testing::Values(ScheduledFault{"drop",
                                     [](FaultInjector& f, std::uint64_t n) { f.dropAnswer(n); },
                                     [](const FaultInjector::Outcome& o, const RawHidReport&) {
                                         return !o.answer && o.copies == 0;
                                     }},
                      ScheduledFault{"garble",
                                     [](FaultInjector& f, std::uint64_t n) { f.garbleAnswer(n); },
                                     [](const FaultInjector::Outcome& o, const RawHidReport& r) {
                                         return o.answer && *o.answer != r;
                                     }},
                      ScheduledFault{"wrongEcho",
                                     [](FaultInjector& f, std::uint64_t n) { f.wrongEchoAnswer(n); },
                                     [](const FaultInjector::Outcome& o, const RawHidReport& r) {
                                         return o.answer && (*o.answer)[0] != r[0] &&
                                                std::equal(o.answer->begin() + 1, o.answer->end(), r.begin() + 1);
                                     }},
                      ScheduledFault{"duplicate",
                                     [](FaultInjector& f, std::uint64_t n) { f.duplicateAnswer(n); },
                                     [](const FaultInjector::Outcome& o, const RawHidReport& r) {
                                         return o.answer == r && o.copies == 2;
                                     }},
                      ScheduledFault{"delay",
                                     [](FaultInjector& f, std::uint64_t n) { f.delayAnswer(n, Duration{250}); },
                                     [](const FaultInjector::Outcome& o, const RawHidReport& r) {
                                         return o.answer == r && o.delay == Duration{250};
                                     }}),
    [](const auto& info) { return info.param.name; });

TEST(FaultInjector, DisconnectHoldsUntilThePadIsPluggedBackIn)
{
    FaultInjector faults;
    faults.disconnectAt(2);
    EXPECT_TRUE(faults.admits(0));
    EXPECT_TRUE(faults.admits(1));
    EXPECT_FALSE(faults.admits(2));
    EXPECT_TRUE(faults.isDisconnected());
    EXPECT_FALSE(faults.admits(1)); // once gone, earlier numbers do not bring it back
    faults.reconnect();
    EXPECT_TRUE(faults.admits(2));
    EXPECT_TRUE(faults.admits(50));
}

} // namespace
} // namespace keyglass
