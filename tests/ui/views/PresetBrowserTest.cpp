// The presets library over the HUD: tabs, OS filter and search, row actions, the form in both modes,
// keyboard use and the fit in every HUD size, over a store of virtual pads.

#include "support/HudFixture.h"
#include "support/ScreenshotSupport.h"
#include "support/ShareFixture.h"

#include "platform/HttpClient.h"
#include "platform/httplib/HttplibTransport.h"

#include "backup/AutomaticBackups.h"
#include "platform/Paths.h"
#include "ui/views/GenericDeviceCard.h"
#include "ui/views/HUDRootView.h"
#include "ui/views/PresetBrowserOverlay.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QTest>
#include <QToolButton>

#include <fstream>

using namespace keyglass;
using namespace keyglass::test;

namespace {

void clickCentre(QWidget* widget)
{
    QVERIFY(widget);
    QVERIFY(widget->isVisible());
    QTest::mouseClick(widget, Qt::LeftButton, {}, widget->rect().center());
}

QStringList shownIDs(const PresetBrowserOverlay& browser)
{
    QStringList ids;
    for (const auto& preset : browser.shownPresets())
        ids << QString::fromStdString(preset.id);
    return ids;
}

template <class T> T* inRow(const PresetBrowserOverlay& browser, const std::string& presetID, const char* name)
{
    QWidget* row = browser.rowFor(presetID);
    return row ? row->findChild<T*>(name) : nullptr;
}

struct CustomPreset
{
    std::string id;
    std::string os = "macos";
    std::string secondKey = "KC_C";
};

// Only inside a fixture's temporary home.
void writeCustomPreset(const CustomPreset& preset)
{
    const std::string& id = preset.id;
    const std::string& os = preset.os;
    const std::string& secondKey = preset.secondKey;
    std::filesystem::create_directories(paths::customPresetsDir());
    std::ofstream(paths::customPresetsDir() / (id + ".json"))
        << R"({"schemaVersion":1,"id":")" << id << R"(","name":"Hand Made )" << id
        << R"(","appId":"krita","appName":"Krita","category":"Art","os":")" << os
        << R"(","deviceProfile":"quadgrid","description":"","builtIn":false,
              "layers":[{"index":0,"name":"Paint","keys":[["KC_B",")"
        << secondKey << R"("]]}]})";
}

// A HUD on the quadgrid pad with the browser open.
struct BrowserRig
{
    HudFixture f;
    PadStore* store = nullptr;
    std::unique_ptr<HUDRootView> hud;

    explicit BrowserRig(const char* pad = "quadgrid", const std::vector<CustomPreset>& custom = {})
    {
        for (const auto& preset : custom)
            writeCustomPreset(preset);
        f.addPad(pad);
        store = &f.makeStore();
        hud = std::make_unique<HUDRootView>(*store);
        const PreferredSize size = store->preferredSize();
        hud->resize(size.width, size.height);
        hud->show();
        store->setShowingPresets(true);
    }
    PresetBrowserOverlay& browser() { return *hud->presetBrowser(); }
    std::string device() const { return *store->selectedDeviceID(); }
};

} // namespace

class PresetBrowserTest : public QObject
{
    Q_OBJECT

private slots:
    void tabsListEachKindForThePadOnly()
    {
        BrowserRig rig("quadgrid", {{"mine"}});
        PresetBrowserOverlay& b = rig.browser();
        QVERIFY(b.isVisible());
        QCOMPARE(b.activeTab(), PresetTab::official);
        QVERIFY(b.tabButton(PresetTab::official)->isChecked());
        QCOMPARE(b.tabButton(PresetTab::custom)->text(), QString("My Presets"));
        QCOMPARE(b.tabButton(PresetTab::community)->text(), QString("Community"));
        QCOMPARE(b.tabButton(PresetTab::community)->property("symbol").toString(), QString("globe"));
        QCOMPARE(b.findChild<QLabel*>("browserTitle")->text(), QString("Presets Library"));
        QVERIFY(b.findChild<QLabel*>("secondary")
                    ->text()
                    .endsWith(QString::fromUtf8(" · Per-app & per-OS layouts (firmware-custom keys stay protected)")));

        // Built-in quadgrid and generic presets, never another pad's, never the user's own.
        const QStringList official = shownIDs(b);
        QCOMPARE(official.size(), 9);
        QVERIFY(official.contains("generic-media-control"));
        QVERIFY(!official.filter("solodial-").size());
        QVERIFY(!official.contains("mine"));
        QVERIFY(!b.communityPanel()->isVisible());
        saveScreenshot(*rig.hud, "presets-official");

        clickCentre(b.tabButton(PresetTab::custom));
        QCOMPARE(shownIDs(b), QStringList{"mine"});
        QVERIFY(b.tabButton(PresetTab::custom)->isChecked() && !b.tabButton(PresetTab::official)->isChecked());
        saveScreenshot(*rig.hud, "presets-mine");

        // Community: the notice, a clear "not connected" state and a Refresh that answers honestly.
        clickCentre(b.tabButton(PresetTab::community));
        QVERIFY(b.shownPresets().empty());
        QVERIFY(b.communityPanel()->isVisible());
        QVERIFY(b.findChild<QLabel*>("communityNotice")
                    ->text()
                    .startsWith("Community presets are shared by other users. Review keys before clicking Apply."));
        QCOMPARE(b.findChild<QLabel*>("noticeSymbol")->property("symbol").toString(),
                 QString("exclamationmark.triangle.fill"));
        QCOMPARE(b.communityState()->text(), QString("Not connected to Loomshare Community"));
        QVERIFY(b.emptyLabel()->isVisible());
        QCOMPARE(b.emptyLabel()->text(),
                 QString("No presets match this device and filter. Click \"Save Current\" to create a custom preset."));
        saveScreenshot(*rig.hud, "presets-community");
        auto* refresh = b.findChild<QToolButton*>("refreshCommunity");
        QCOMPARE(refresh->property("symbol").toString(), QString("arrow.clockwise"));
        QVERIFY(refresh->isEnabled());
        clickCentre(refresh);
        QCOMPARE(*rig.store->toastMessage(),
                 std::string("Could not load community presets: Loomshare Community is not connected"));
        QVERIFY(rig.store->toastIsError());
    }

    void communityTabListsAndSharesThroughTheService()
    {
        HudFixture f;
        RunningShare share(f.home.path());
        HttplibTransport transport;
        HttpClient http(f.scheduler, transport);
        ::setenv("KEYGLASS_COMMUNITY_URL", share.baseURL().c_str(), 1);
        f.addPad("quadgrid");
        f.store = std::make_unique<PadStore>(
            PadStoreServices{f.scheduler, f.hid, f.input, f.settings, f.desktop, false, &http});
        ::unsetenv("KEYGLASS_COMMUNITY_URL");
        f.settle();
        auto hud = std::make_unique<HUDRootView>(*f.store);
        hud->resize(f.store->preferredSize().width, f.store->preferredSize().height);
        hud->show();
        f.store->setShowingPresets(true);
        PresetBrowserOverlay& b = *hud->presetBrowser();

        clickCentre(inRow<QToolButton>(b, "generic-media-control", "share"));
        f.settle();
        QVERIFY(f.store->toastMessage()->starts_with("Shared! Link copied: " + share.baseURL() + "/p/"));
        QCOMPARE(f.desktop.clipboard.size(), size_t(1));

        // Opening the tab loads the list; the shared copy is a community row without a Share button.
        clickCentre(b.tabButton(PresetTab::community));
        f.settle();
        QCOMPARE(b.shownPresets().size(), size_t(1));
        QCOMPARE(b.communityState()->text(), QString("1 shared preset(s)"));
        const std::string id = b.shownPresets()[0].id;
        QVERIFY(b.rowFor(id));
        QVERIFY(!inRow<QToolButton>(b, id, "share"));
        saveScreenshot(*hud, "presets-community-connected");
        hud.reset();
        f.store.reset();
    }

    void osFilterAndSearchNarrowTheList()
    {
        BrowserRig rig("quadgrid", {{"shouting", "WINDOWS"}});
        PresetBrowserOverlay& b = rig.browser();

        b.setOsFilter("Windows");
        QCOMPARE(b.osFilter(), QString("windows"));
        QCOMPARE(shownIDs(b), (QStringList{"quadgrid-t3-code-windows", "generic-video-calls-windows"}));
        b.setActiveTab(PresetTab::custom);
        QCOMPARE(shownIDs(b), QStringList{"shouting"}); // "WINDOWS" passes, ignoring case
        b.setOsFilter("macos");
        QVERIFY(b.shownPresets().empty());
        QVERIFY(b.emptyLabel()->isVisible());
        b.setActiveTab(PresetTab::official);
        QCOMPARE(b.shownPresets().size(), size_t(7));
        b.setOsFilter("all");

        const struct
        {
            const char* text;
            QStringList ids;
        } searches[] = {
            {"photo", {"quadgrid-photoshop-macos"}},                                  // name, app, category
            {"ai coding", {"quadgrid-t3-code-macos", "quadgrid-t3-code-windows"}},    // category
            {"teams /", {"generic-video-calls-windows"}},                             // app
            {"WINDOWS", {"quadgrid-t3-code-windows", "generic-video-calls-windows"}}, // OS label
        };
        for (const auto& s : searches) {
            QTest::keyClicks(b.searchField(), "x"); // typing reaches the filter
            b.setSearchText(s.text);
            QStringList shown = shownIDs(b);
            QStringList expected = s.ids;
            shown.sort();
            expected.sort();
            QCOMPARE(shown, expected);
        }
        // "macOS" is an OS label too: every macOS preset, including "Media & macOS Control".
        b.setSearchText("macos");
        QCOMPARE(b.shownPresets().size(), size_t(7));
        QVERIFY(b.clearSearchButton()->isVisible());
        QCOMPARE(b.clearSearchButton()->property("symbol").toString(), QString("xmark.circle.fill"));
        QCOMPARE(b.searchField()->placeholderText(),
                 QString("Filter apps (T3 Code, Photoshop, Lightroom, Premiere, Claude...)"));
        clickCentre(b.clearSearchButton());
        QVERIFY(b.searchText().isEmpty());
        QCOMPARE(b.shownPresets().size(), size_t(9));
        QVERIFY(!b.clearSearchButton()->isVisible());
    }

    void rowsShowActionsTooltipsAndDetails()
    {
        BrowserRig rig("quadgrid", {{"mine"}});
        PresetBrowserOverlay& b = rig.browser();
        const QString name = QString::fromStdString(rig.store->device(rig.device())->displayName());

        auto* load = inRow<QPushButton>(b, "quadgrid-vscode-macos", "load");
        QVERIFY(load);
        QCOMPARE(load->toolTip(), "Stage this preset onto " + name + " (click Apply to flash)");
        auto* clone = inRow<QToolButton>(b, "quadgrid-vscode-macos", "cloneEdit");
        QCOMPARE(clone->text(), QString("Clone & Edit"));
        QCOMPARE(clone->property("symbol").toString(), QString("doc.on.doc"));
        QCOMPARE(clone->toolTip(), QString("Duplicate this preset into your custom library and open Edit Mode"));
        auto* share = inRow<QToolButton>(b, "quadgrid-vscode-macos", "share");
        QCOMPARE(share->property("symbol").toString(), QString("square.and.arrow.up"));
        QCOMPARE(share->toolTip(),
                 QString("Validate & publish this preset to Loomshare Community and copy share link"));
        QVERIFY(!inRow<QToolButton>(b, "quadgrid-vscode-macos", "delete")); // built in

        // The system preset names its OS once, and its layers are listed.
        const QString details = inRow<QLabel>(b, "quadgrid-media-os-macos", "presetDetails")->text();
        QCOMPARE(details, QString::fromUtf8("macOS · System"));
        QCOMPARE(inRow<QLabel>(b, "quadgrid-media-os-macos", "presetLayers")->text(),
                 QString::fromUtf8("Media · Desktop · App Focus · Numpad"));
        QVERIFY(inRow<QWidget>(b, "quadgrid-media-os-macos", "deckPreview"));
        QCOMPARE(inRow<QLabel>(b, "quadgrid-vscode-macos", "presetDetails")->text(),
                 QString::fromUtf8("VS Code · macOS · Code"));

        // Share reports honestly that no community service is connected.
        clickCentre(share);
        QCOMPARE(*rig.store->toastMessage(), std::string("Share blocked: Loomshare Community is not connected"));
        QVERIFY(rig.store->toastIsError());

        auto* save = b.findChild<QToolButton*>("saveCurrent");
        QCOMPARE(save->text(), QString("Save Current"));
        QCOMPARE(save->property("symbol").toString(), QString("plus.square.on.square"));
        QCOMPARE(save->toolTip(), QString("Save this device's current layout as a reusable custom preset"));
        auto* restore = b.findChild<QToolButton*>("restoreBackup");
        QCOMPARE(restore->property("symbol").toString(), QString("clock.arrow.circlepath"));
        QCOMPARE(restore->toolTip(), QString("Restore the latest automatic backup created before applying a preset"));
        QCOMPARE(b.findChild<QToolButton*>("presetsFolder")->toolTip(),
                 QString("Open custom Presets folder in Finder"));
        clickCentre(b.findChild<QToolButton*>("presetsFolder"));
        QCOMPARE(rig.f.desktop.foldersOpened.size(), size_t(1));
        clickCentre(restore);
        QCOMPARE(*rig.store->toastMessage(), "No auto-backup found yet for " + name.toStdString());

        // The Active badge follows the store's active-preset map; delete is offered on the custom row.
        QVERIFY(!inRow<QLabel>(b, "quadgrid-vscode-macos", "activeBadge"));
        clickCentre(load);
        QVERIFY(!b.isVisible());
        rig.store->setShowingPresets(true);
        auto* badge = inRow<QLabel>(b, "quadgrid-vscode-macos", "activeBadge");
        QVERIFY(badge);
        QCOMPARE(badge->property("symbol").toString(), QString("checkmark.circle.fill"));
        b.setActiveTab(PresetTab::custom);
        auto* remove = inRow<QToolButton>(b, "mine", "delete");
        QCOMPARE(remove->toolTip(), QString("Delete custom preset"));
        QCOMPARE(remove->property("symbol").toString(), QString("trash"));
        clickCentre(remove);
        QCOMPARE(*rig.store->toastMessage(), std::string("Deleted custom preset \"Hand Made mine\""));
        QVERIFY(b.shownPresets().empty());
    }

    void aBlockedPresetIsRefusedOnLoadWithoutABackup()
    {
        BrowserRig rig("quadgrid", {{"unsafe", "macos", "QK_BOOT"}});
        PresetBrowserOverlay& b = rig.browser();
        b.setActiveTab(PresetTab::custom);
        clickCentre(inRow<QPushButton>(b, "unsafe", "load"));
        QCOMPARE(*rig.store->toastMessage(),
                 std::string("Blocked unsafe preset: L0 (0,1): Blocked bootloader/reset token \"QK_BOOT\""));
        QVERIFY(rig.store->toastIsError());
        QVERIFY(!rig.store->device(rig.device())->dirty);
        QVERIFY(listAutomaticBackups(*rig.store->device(rig.device())).empty());
        QVERIFY(b.isVisible());
        QVERIFY(!inRow<QLabel>(b, "unsafe", "activeBadge"));
    }

    void saveCurrentFormInBothVariants()
    {
        BrowserRig rig;
        PresetBrowserOverlay& b = rig.browser();
        clickCentre(b.findChild<QToolButton*>("saveCurrent"));
        QCOMPARE(b.formMode(), FormMode::saveCurrent);
        QCOMPARE(b.formTitle()->text(), QString("Save Current Layout as Custom Preset"));
        QCOMPARE(b.confirmButton()->text(), QString("Save Preset"));
        QCOMPARE(b.formNameField()->placeholderText(), QString("Preset Name"));
        QCOMPARE(b.formAppField()->placeholderText(), QString("App (e.g. Photoshop)"));
        QCOMPARE(b.formNameField()->width(), 135);
        QCOMPARE(b.formAppField()->width(), 120);
        QCOMPARE(b.formOsPicker()->count(), 2);
        QVERIFY(!b.overwriteBox()->isVisible()); // nothing custom is active yet
        QVERIFY(!b.listArea()->isVisible());
        b.formNameField()->setText("Desk Grid");
        b.formAppField()->setText("Krita");
        b.formOsPicker()->setCurrentIndex(1);
        saveScreenshot(*rig.hud, "presets-form-save");
        clickCentre(b.confirmButton());
        QCOMPARE(*rig.store->toastMessage(), std::string("Saved custom preset \"Desk Grid\""));
        QCOMPARE(b.formMode(), FormMode::none);
        QCOMPARE(b.activeTab(), PresetTab::custom);
        QCOMPARE(b.shownPresets().size(), size_t(1));
        const DevicePreset saved = b.shownPresets().front();
        QCOMPARE(saved.os, std::string("windows"));
        QVERIFY(inRow<QLabel>(b, saved.id, "activeBadge"));

        // With a custom preset active the form can update it instead of adding another.
        b.openSaveCurrentForm();
        QVERIFY(b.overwriteBox()->isVisible());
        QCOMPARE(b.formNameField()->text(), QString("Desk Grid"));
        b.overwriteBox()->setChecked(true);
        QVERIFY(b.overwriteExistingCustom());
        QCOMPARE(b.confirmButton()->text(), QString("Update \"Desk Grid\""));
        b.formNameField()->setText("Desk Grid 2");
        QTest::keyClick(b.formNameField(), Qt::Key_Return); // Enter confirms the form
        QCOMPARE(*rig.store->toastMessage(), std::string("Saved custom preset \"Desk Grid 2\""));
        QCOMPARE(b.shownPresets().size(), size_t(1));
        QCOMPARE(b.shownPresets().front().id, saved.id);

        // Esc closes the form first, then the browser.
        b.openSaveCurrentForm();
        QTest::keyClick(&b, Qt::Key_Escape);
        QCOMPARE(b.formMode(), FormMode::none);
        QVERIFY(b.isVisible());
        QTest::keyClick(&b, Qt::Key_Escape);
        QVERIFY(!rig.store->showingPresets());
        QVERIFY(!b.isVisible());
    }

    void cloneFormAppliesTheCloneInEditMode()
    {
        BrowserRig rig;
        PresetBrowserOverlay& b = rig.browser();
        clickCentre(inRow<QToolButton>(b, "quadgrid-photoshop-macos", "cloneEdit"));
        QCOMPARE(b.formMode(), FormMode::clone);
        QCOMPARE(b.formTitle()->text(), QString("Clone & Edit Preset"));
        QCOMPARE(b.confirmButton()->text(), QString("Clone & Enter Edit Mode"));
        QCOMPARE(b.formNameField()->text(), QString("Photoshop Retouching (Custom)"));
        QCOMPARE(b.formAppField()->text(), QString("Photoshop"));
        QVERIFY(!b.overwriteBox()->isVisible()); // a built-in source is never overwritten
        b.setOverwriteExistingCustom(true);
        QVERIFY(!b.overwriteExistingCustom());
        b.formNameField()->setText("Retouch");
        saveScreenshot(*rig.hud, "presets-form-clone");
        clickCentre(b.confirmButton());
        QVERIFY(rig.store->editMode());
        QVERIFY(!rig.store->showingPresets());
        QVERIFY(!b.isVisible());
        QCOMPARE(*rig.store->toastMessage(),
                 std::string("Auto-backed up & loaded Retouch — click Apply to flash (Edit Mode on)"));
        const DevicePreset* active = rig.store->activePreset(rig.device());
        QVERIFY(active && !active->builtIn && active->name == "Retouch");
        QVERIFY(rig.store->device(rig.device())->dirty);

        // Cloning a custom preset may update it in place instead.
        rig.store->setEditMode(false);
        rig.store->setShowingPresets(true);
        b.setActiveTab(PresetTab::custom);
        const std::string id = active->id;
        b.openCloneForm(*active);
        QVERIFY(b.overwriteBox()->isVisible());
        b.setOverwriteExistingCustom(true);
        QCOMPARE(b.confirmButton()->text(), QString("Update \"Retouch\""));
        QCOMPARE(b.formNameField()->text(), QString("Retouch"));
        b.formNameField()->setText("Retouch II");
        b.confirmForm();
        QVERIFY(rig.store->editMode());
        QCOMPARE(rig.store->activePreset(rig.device())->id, id);
        QCOMPARE(rig.store->activePreset(rig.device())->name, std::string("Retouch II"));
        rig.store->setShowingPresets(true);
        b.setActiveTab(PresetTab::custom);
        QCOMPARE(b.shownPresets().size(), size_t(1));
    }

    void keyboardMovesTheSelectionAndLoads()
    {
        BrowserRig rig;
        PresetBrowserOverlay& b = rig.browser();
        QCOMPARE(b.selectedRow(), -1);
        QTest::keyClick(&b, Qt::Key_Down);
        QTest::keyClick(&b, Qt::Key_Down);
        QTest::keyClick(&b, Qt::Key_Up);
        QTest::keyClick(&b, Qt::Key_Down);
        QCOMPARE(b.selectedRow(), 1);
        QVERIFY(b.rowFor(b.shownPresets()[1].id)->property("selected").toBool());
        const std::string expected = b.shownPresets()[1].id;
        QTest::keyClick(&b, Qt::Key_Return);
        QVERIFY(!rig.store->showingPresets());
        QCOMPARE(rig.store->activePresetIDByDevice().at(rig.device()), expected);
    }

    void theCardFitsEveryHudSizeAndEndsUnderItsRows()
    {
        for (const char* pad : {"quadgrid", "solodial"}) {
            BrowserRig rig(pad);
            PresetBrowserOverlay& b = rig.browser();
            for (const QSize size : {QSize(460, 630), QSize(620, 669), QSize(760, 635), QSize(840, 669)}) {
                rig.hud->resize(size);
                QCoreApplication::processEvents();
                const QRect card = b.card()->geometry();
                QVERIFY2(b.rect().contains(card),
                         qPrintable(QString("%1 at %2x%3").arg(pad).arg(size.width()).arg(size.height())));
                QVERIFY(b.findChild<QToolButton*>("saveCurrent")->isVisible());
                QWidget* folder = b.findChild<QToolButton*>("presetsFolder");
                QVERIFY(folder->mapTo(b.card(), QPoint(folder->width(), 0)).x() <= card.width());
            }
            // With one row the list is as tall as that row, not the whole HUD.
            b.setSearchText("photoshop");
            QCoreApplication::processEvents();
            QCOMPARE(b.shownPresets().size(), size_t(1));
            const int rowHeight = b.rowFor(b.shownPresets().front().id)->sizeHint().height();
            QVERIFY2(b.listArea()->height() <= rowHeight + 12,
                     qPrintable(QString("list %1 for a row of %2").arg(b.listArea()->height()).arg(rowHeight)));
        }
    }
};

QTEST_MAIN(PresetBrowserTest)
#include "PresetBrowserTest.moc"
