// What the store does when a pad could not be read in full or its settings cannot be saved: nothing
// half-known is ever written back, and the user is told.

#include "support/StoreFixture.h"

#include <gtest/gtest.h>

namespace keyglass::test {
namespace {

TEST_F(StoreTest, APartialLoadRefusesApplyUntilAFullReload)
{
    auto pad = addPad("quadgrid");
    // A pad without bulk keymap reads, so the later layers are read key by key; one of them is lost.
    pad->overrideByte0(0x12, 0xFF);
    pad->dropAnswer(150);
    PadStore& s = makeStore();
    ASSERT_TRUE(device(QuadgridID).isPartial());
    EXPECT_EQ(device(QuadgridID).unreadCount(), 1);

    s.chooseKey(QuadgridID, 0, 0, 0);
    ASSERT_TRUE(s.editingTarget());
    s.assign(*s.editingTarget(), 0x0004);
    const std::size_t before = pad->requests().size();
    s.apply(QuadgridID);
    scheduler.runUntilIdle();
    EXPECT_EQ(s.toastMessage(), "Reload the pad first: 1 keys could not be read");
    EXPECT_TRUE(s.toastIsError());
    EXPECT_EQ(writesIn(pad->requests(), before), 0) << "nothing is written to a pad that was not read in full";
    EXPECT_TRUE(device(QuadgridID).dirty);

    // The reload reads what was missing and keeps the staged edit.
    s.refresh();
    scheduler.runUntilIdle();
    EXPECT_FALSE(device(QuadgridID).isPartial());
    EXPECT_EQ(device(QuadgridID).keycodeAt(0, 0, 0), 0x0004);
    s.apply(QuadgridID);
    scheduler.runUntilIdle();
    EXPECT_EQ(s.toastMessage(), "Applied 96 mappings to Loomworks QuadGrid Macropad");
}

class FailingSettings final : public SettingsStore
{
public:
    std::optional<nlohmann::json> value(const std::string&) const override { return std::nullopt; }
    bool setValue(const std::string&, const nlohmann::json&) override { return false; }
};

TEST_F(StoreTest, AFailedSettingsWriteIsAnErrorToast)
{
    addPad("quadgrid");
    FailingSettings failing;
    store = std::make_unique<PadStore>(PadStoreServices{scheduler, hid, input, failing, desktop});
    scheduler.runUntilIdle();
    const DevicePreset* preset = nullptr;
    for (const auto& candidate : store->availablePresets())
        if (candidate.deviceProfile == "quadgrid" && !preset)
            preset = &candidate;
    ASSERT_NE(preset, nullptr);
    store->applyPreset(*preset, QuadgridID, false);
    EXPECT_EQ(store->toastMessage(), "Could not save settings (details in keyglass.log)");
    EXPECT_TRUE(store->toastIsError());
    EXPECT_TRUE(device(QuadgridID).dirty) << "the preset is staged all the same";
}

} // namespace
} // namespace keyglass::test
