// The preset library operations the browser offers, through the store over a virtual pad: save the
// current layout, clone (applied with Edit Mode), update a custom preset in place, delete, share and
// the community list while no community client is wired in.

#include "backup/AutomaticBackups.h"
#include "presets/PresetLibrary.h"
#include "support/StoreFixture.h"

using namespace keyglass;
using namespace keyglass::test;

namespace {

class PresetWorkflowTest : public StoreTest
{
protected:
    const DevicePreset* find(const std::string& id)
    {
        for (const auto& preset : store->availablePresets())
            if (preset.id == id)
                return &preset;
        return nullptr;
    }
    const DevicePreset& builtIn(const std::string& id)
    {
        const DevicePreset* preset = find(id);
        EXPECT_NE(preset, nullptr) << id;
        static const DevicePreset none;
        return preset ? *preset : none;
    }
    std::string activeID() { return store->activePresetIDByDevice().at(QuadgridID); }
};

} // namespace

TEST_F(PresetWorkflowTest, SaveCurrentThenCloneThenDeleteReportTheirToasts)
{
    addPad("quadgrid");
    PadStore& s = makeStore();

    s.saveCurrentAsPreset(QuadgridID, "Desk Grid", "Krita", "windows", "Art");
    EXPECT_EQ(s.toastMessage(), "Saved custom preset \"Desk Grid\"");
    EXPECT_FALSE(s.toastIsError());
    const DevicePreset* saved = find(activeID());
    ASSERT_NE(saved, nullptr);
    EXPECT_FALSE(saved->builtIn);
    EXPECT_EQ(saved->os, "windows");
    for (const auto& layer : saved->layers)
        EXPECT_EQ(layer.os, "windows") << "layer " << layer.index;

    const DevicePreset source = *saved;
    s.setShowingPresets(true);
    s.clonePreset(source, QuadgridID, "", "", "macos");
    const std::string cloneID = activeID();
    EXPECT_NE(cloneID, source.id);
    const DevicePreset* clone = find(cloneID);
    ASSERT_NE(clone, nullptr);
    EXPECT_EQ(clone->name, "Desk Grid (Custom)");
    EXPECT_EQ(clone->os, "macos");
    // The clone is applied with Edit Mode opened, which closes the browser.
    EXPECT_TRUE(s.editMode());
    EXPECT_FALSE(s.showingPresets());
    EXPECT_TRUE(device(QuadgridID).dirty);
    EXPECT_EQ(s.toastMessage(), "Auto-backed up & loaded Desk Grid (Custom) — click Apply to flash (Edit Mode on)");

    const DevicePreset doomed = *clone;
    s.deletePreset(doomed);
    EXPECT_EQ(s.toastMessage(), "Deleted custom preset \"Desk Grid (Custom)\"");
    EXPECT_EQ(find(cloneID), nullptr);
    EXPECT_FALSE(s.activePresetIDByDevice().contains(QuadgridID));
    s.deletePreset(doomed);
    EXPECT_EQ(s.toastMessage(), "Could not delete preset");
    EXPECT_TRUE(s.toastIsError());
}

TEST_F(PresetWorkflowTest, OverwritingUpdatesTheSameCustomPresetAndRefusesBuiltIns)
{
    addPad("quadgrid");
    PadStore& s = makeStore();
    s.saveCurrentAsPreset(QuadgridID, "Mine", "Krita", "macos", "Art");
    const DevicePreset mine = *find(activeID());
    const size_t count = s.availablePresets().size();

    // The current layout replaces the preset's layers under the same id and file.
    s.assign(EditingTarget(EditingTarget::Key{QuadgridID, 0, 2, 2}), 0x0004);
    s.overwriteWithCurrentLayout(QuadgridID, mine, "Mine v2", "Krita", "windows", "");
    EXPECT_EQ(s.toastMessage(), "Saved custom preset \"Mine v2\"");
    EXPECT_EQ(s.availablePresets().size(), count);
    const DevicePreset* updated = find(mine.id);
    ASSERT_NE(updated, nullptr);
    EXPECT_EQ(updated->name, "Mine v2");
    EXPECT_EQ(updated->os, "windows");
    EXPECT_EQ(updated->category, "Art");
    EXPECT_EQ(updated->layers[0].keys[2][2], "KC_A");

    // The clone form's update path renames in place and opens the preset for editing.
    s.setShowingPresets(true);
    s.overwriteAndEditPreset(*updated, QuadgridID, " Mine v3 ", "", "macos");
    EXPECT_EQ(s.availablePresets().size(), count);
    EXPECT_EQ(find(mine.id)->name, "Mine v3");
    EXPECT_EQ(find(mine.id)->appName, "Krita");
    EXPECT_EQ(find(mine.id)->layers[0].os, "macos");
    EXPECT_TRUE(s.editMode());
    EXPECT_EQ(activeID(), mine.id);

    const DevicePreset& shipped = builtIn("quadgrid-vscode-macos");
    s.overwriteWithCurrentLayout(QuadgridID, shipped, "Hijack", "", "", "");
    EXPECT_TRUE(s.toastIsError());
    EXPECT_EQ(s.toastMessage(), "Failed to save preset: \"" + shipped.name + "\" is not a custom preset");
    EXPECT_TRUE(builtIn("quadgrid-vscode-macos").builtIn);
}

TEST_F(PresetWorkflowTest, ABlockedPresetIsRefusedWithoutABackup)
{
    addPad("quadgrid");
    PadStore& s = makeStore();
    DevicePreset bad = builtIn("quadgrid-vscode-macos");
    bad.id = "bad";
    bad.builtIn = false;
    bad.layers[0].keys[0][1] = "QK_BOOT";
    s.applyPreset(bad, QuadgridID, false);
    EXPECT_EQ(s.toastMessage(), "Blocked unsafe preset: L0 (0,1): Blocked bootloader/reset token \"QK_BOOT\"");
    EXPECT_TRUE(s.toastIsError());
    EXPECT_FALSE(device(QuadgridID).dirty);
    EXPECT_TRUE(listAutomaticBackups(device(QuadgridID)).empty());
    EXPECT_FALSE(s.activePresetIDByDevice().contains(QuadgridID));

    // Sharing runs the same local check first; a clean preset is refused honestly while no community
    // client exists, and nothing claims success.
    s.sharePreset(bad, QuadgridID);
    EXPECT_EQ(s.toastMessage(), "Blocked by safety check: L0 (0,1): Blocked bootloader/reset token \"QK_BOOT\"");
    s.sharePreset(builtIn("quadgrid-vscode-macos"), QuadgridID);
    EXPECT_EQ(s.toastMessage(), "Share blocked: Loomshare Community is not connected");
    EXPECT_TRUE(s.toastIsError());

    s.loadCommunityPresets();
    EXPECT_EQ(s.toastMessage(), "Could not load community presets: Loomshare Community is not connected");
    EXPECT_TRUE(s.toastIsError());
    EXPECT_FALSE(s.isLoadingCommunityPresets());
    EXPECT_TRUE(s.communityPresets().empty());
}
