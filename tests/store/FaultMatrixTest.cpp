// Every fault a USB link can show, during a load, Apply and a restore, through the same text plans a
// person can set in KEYGLASS_VIRTUAL_FAULTS: no crash, the system's own error, and nothing written to
// the pad after the first exchange that failed.

#include "backup/DeviceBackupFile.h"
#include "platform/AtomicFile.h"
#include "sim/FaultPlan.h"
#include "support/StoreFixture.h"

#include <gtest/gtest.h>

#include <chrono>

namespace keyglass::test {
namespace {

void applyPlan(VirtualPad& pad, const std::string& text)
{
    const auto plan = parseFaultPlan(text);
    ASSERT_TRUE(plan) << plan.error().message;
    plan->applyTo(pad);
}

TEST(FaultPlanText, ReadsEveryFaultAndRefusesWhatItCannotRead)
{
    const auto plan = parseFaultPlan(" drop=5, garbage-all,wrong-echo=2 ,disconnect-after=0,delay=3:240,refuse-open,");
    ASSERT_TRUE(plan) << plan.error().message;
    EXPECT_EQ(plan->faults.size(), 6u);
    EXPECT_TRUE(parseFaultPlan("")->faults.empty());

    for (const char* bad : {"drop",
                            "drop=0",
                            "drop=-1",
                            "drop=5x",
                            "delay=3",
                            "delay=3:99999999",
                            "explode",
                            "garbage=99999999999",
                            "refuse-open=1"}) {
        const auto refused = parseFaultPlan(bad);
        ASSERT_FALSE(refused) << bad;
        EXPECT_NE(refused.error().message.find("KEYGLASS_VIRTUAL_FAULTS"), std::string::npos) << bad;
    }
}

struct LinkFault
{
    const char* name;
    const char* plan; // "%" stands for the request number
};

constexpr LinkFault LinkFaults[] = {
    {"drop", "drop=%"},
    {"garbage", "garbage=%"},
    {"wrongEcho", "wrong-echo=%"},
    {"disconnect", "disconnect-after=%"},
    {"lateBeyondTheDeadline", "delay=%:300"},
};

std::string planFor(const LinkFault& fault, int n)
{
    std::string text = fault.plan;
    text.replace(text.find('%'), 1, std::to_string(n));
    return text;
}

// Applies with the fault on the n-th request of the session (past the open, on a write): the error
// toast, nothing written after the failed request, and the edits still staged.
void applyMeetingTheFault(
    StoreRig& rig, VirtualPad& pad, const LinkFault& fault, int n, const char* id, const char* message)
{
    applyPlan(pad, planFor(fault, n));
    const std::size_t before = pad.requests().size();
    rig.store->apply(id);
    rig.settle();
    const std::string toast = rig.store->toastMessage().value_or("");
    EXPECT_TRUE(rig.store->toastIsError()) << toast;
    EXPECT_TRUE(toast.starts_with(message)) << toast;
    const auto failed = before + static_cast<std::size_t>(n);
    ASSERT_GE(pad.requests().size(), failed);
    EXPECT_EQ(writesIn(pad.requests(), failed), 0) << "a write after the failed one";
    EXPECT_TRUE(rig.store->device(id)->dirty) << "the edits stay staged";
}

class FaultMatrix : public ::testing::TestWithParam<LinkFault>
{
};

TEST_P(FaultMatrix, ALoadThatMeetsTheFaultNeverWritesAndNeverShowsAFullPad)
{
    for (const int n : {1, 2, 3, 5, 20, 60, 100, 140}) {
        StoreRig rig;
        auto pad = rig.addPad("quadgrid");
        ASSERT_NE(pad, nullptr) << rig.padError;
        pad->overrideByte0(0x12, 0xFF); // no bulk reads: every key is a request of its own
        applyPlan(*pad, planFor(GetParam(), n));
        PadStore& s = rig.makeStore();
        EXPECT_EQ(writesIn(pad->requests(), 0), 0) << "request " << n;
        if (const DeviceModel* model = s.device(QuadgridID)) {
            // A fault on a keymap read leaves a partial model; one in the handshake may end the load.
            EXPECT_TRUE(model->isPartial() || pad->requests().size() > static_cast<std::size_t>(n)) << "request " << n;
        }
    }
}

TEST_P(FaultMatrix, ApplyStopsAtTheFirstFailedWriteWithItsMessage)
{
    StoreRig rig;
    auto pad = rig.addPad("quadgrid");
    ASSERT_NE(pad, nullptr) << rig.padError;
    PadStore& s = rig.makeStore();
    ASSERT_NE(s.device(QuadgridID), nullptr);
    ASSERT_FALSE(s.device(QuadgridID)->isPartial());
    s.chooseKey(QuadgridID, 0, 0, 0);
    ASSERT_TRUE(s.editingTarget());
    s.assign(*s.editingTarget(), 0x0004);

    applyMeetingTheFault(rig, *pad, GetParam(), 4, QuadgridID, "Failed writing L");
}

TEST_P(FaultMatrix, LightingStopsAtTheFirstWriteThatFails)
{
    StoreRig rig;
    auto pad = rig.addPad("quadgrid");
    ASSERT_NE(pad, nullptr) << rig.padError;
    PadStore& s = rig.makeStore();
    pad->clearRequests();
    applyPlan(*pad, planFor(GetParam(), 2)); // the second write of the session: brightness
    s.setLighting(QuadgridID, 120, std::nullopt, 10, 200);
    rig.scheduler.advance(std::chrono::milliseconds(40));
    EXPECT_LE(pad->requests().size(), 2u) << "a lighting write after the one that failed";
}

TEST_P(FaultMatrix, ARestoreThatMeetsTheFaultStaysStagedAndLandsWhole)
{
    StoreRig rig;
    auto pad = rig.addPad("solodial"); // tap dances, keys and knobs: every kind of write
    ASSERT_NE(pad, nullptr) << rig.padError;
    PadStore& s = rig.makeStore();
    const DeviceModel original = *s.device(SolodialID);
    const auto file = rig.home.path() / "solodial-backup.json";
    ASSERT_TRUE(writeFileAtomically(file, encodeBackup(backupFromDevice(original))));

    // The pad moves on from the backup: a knob and a tap-dance slot change.
    s.chooseEncoder(SolodialID, 0, 0, true);
    ASSERT_TRUE(s.editingTarget());
    s.assign(*s.editingTarget(), 0x0004);
    s.chooseTapDance(SolodialID, 0, 0);
    ASSERT_TRUE(s.editingTarget());
    s.assign(*s.editingTarget(), 0x0005);
    s.apply(SolodialID);
    rig.settle();
    ASSERT_FALSE(s.toastIsError()) << s.toastMessage().value_or("");

    rig.desktop.openAnswers = {file};
    s.restore(SolodialID);
    ASSERT_TRUE(s.device(SolodialID)->dirty);
    applyMeetingTheFault(rig, *pad, GetParam(), 4, SolodialID, "Failed writing ");

    // Plugged back in and applied again: the pad holds the backup, and a fresh read says so.
    pad->clearFaults();
    pad->powerCycle();
    s.apply(SolodialID);
    rig.settle();
    EXPECT_FALSE(s.toastIsError()) << s.toastMessage().value_or("");
    s.refresh();
    rig.settle();
    const DeviceModel* read = s.device(SolodialID);
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(read->keymap, original.keymap);
    EXPECT_EQ(read->encoderMap, original.encoderMap);
    EXPECT_EQ(read->tapDances, original.tapDances);
}

INSTANTIATE_TEST_SUITE_P(EveryLinkFault, FaultMatrix, ::testing::ValuesIn(LinkFaults), [](const auto& info) {
    return std::string(info.param.name);
});

TEST_F(StoreTest, APadThatRefusesToOpenIsNeverShownAndNeverWritten)
{
    auto pad = addPad("quadgrid");
    applyPlan(*pad, "refuse-open");
    PadStore& s = makeStore();
    EXPECT_EQ(s.device(QuadgridID), nullptr);
    EXPECT_TRUE(pad->requests().empty());
}

TEST_F(StoreTest, AnAnswerJustInsideTheDeadlineIsNoFault)
{
    auto pad = addPad("quadgrid");
    applyPlan(*pad, "delay=1:240,delay=7:240,delay=150:240");
    makeStore();
    EXPECT_FALSE(device(QuadgridID).isPartial());
}

} // namespace
} // namespace keyglass::test
