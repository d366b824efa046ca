#include "support/HudFixture.h"
#include "support/ScreenshotSupport.h"

#include "ui/DeckView.h"
#include "ui/MachinedKnobDial.h"
#include "ui/RGBControlSection.h"
#include "ui/SculptedKeycap.h"
#include "ui/TapDanceRow.h"
#include "ui/views/GenericDeviceCard.h"
#include "ui/views/HUDRootView.h"
#include "ui/views/KeycodePickerOverlay.h"
#include "ui/views/PresetBrowserOverlay.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

using namespace keyglass;
using namespace keyglass::test;

namespace {

// A 60% board: five rows with the usual wide modifiers, as a Vial definition.
const char* const SixtyPercent = R"({
  "name": "Slate60",
  "vendorId": "0x4B47",
  "productId": "0x6060",
  "matrix": {"rows": 5, "cols": 15},
  "layouts": {"keymap": [
    ["0,0","0,1","0,2","0,3","0,4","0,5","0,6","0,7","0,8","0,9","0,10","0,11","0,12",{"w":2},"0,13"],
    [{"w":1.5},"1,0","1,1","1,2","1,3","1,4","1,5","1,6","1,7","1,8","1,9","1,10","1,11","1,12",{"w":1.5},"1,13"],
    [{"w":1.75},"2,0","2,1","2,2","2,3","2,4","2,5","2,6","2,7","2,8","2,9","2,10","2,11",{"w":2.25},"2,13"],
    [{"w":2.25},"3,0","3,2","3,3","3,4","3,5","3,6","3,7","3,8","3,9","3,10","3,11",{"w":2.75},"3,13"],
    [{"w":1.25},"4,0",{"w":1.25},"4,1",{"w":1.25},"4,2",{"w":6.25},"4,6",{"w":1.25},"4,10",{"w":1.25},"4,11",{"w":1.25},"4,12",{"w":1.25},"4,13"]
  ]}
})";

void clickCentre(QWidget* widget, Qt::KeyboardModifiers mods = {})
{
    QVERIFY(widget);
    QTest::mouseClick(widget, Qt::LeftButton, mods, widget->rect().center());
}

void showAtPreferredSize(HUDRootView& hud, PadStore&)
{
    hud.resize(hud.shownSize());
    hud.show();
    QVERIFY(QTest::qWaitForWindowExposed(&hud));
}

} // namespace

class HudTest : public QObject
{
    Q_OBJECT

private slots:
    void emptyStateShowsItsTextsAndScans()
    {
        HudFixture f;
        PadStore& store = f.makeStore();
        HUDRootView hud(store);
        showAtPreferredSize(hud, store);
        QVERIFY(hud.emptyState()->isVisible());
        QVERIFY(!hud.card()->isVisible());
        QCOMPARE(hud.emptyState()->findChild<QLabel*>("emptyTitle")->text(),
                 QString("No Vial or VIA Devices Detected"));
        QCOMPARE(hud.emptyState()->findChild<QLabel*>("emptyText")->text(),
                 QString("Connect any QMK/Vial or VIA-compatible macropad or keyboard via USB and click Refresh.\n"
                         "(If Vial.app is open, close it first so RawHID is free.)"));
        auto* scan = hud.emptyState()->findChild<QPushButton*>("scan");
        QCOMPARE(scan->text(), QString("Scan USB Devices"));
        QVERIFY(!hud.deviceSwitcher()->isVisible());
        QCOMPARE(hud.quitButton()->toolTip(), QString("Quit Keyglass"));
        saveScreenshot(hud, "hud-empty");

        // A pad plugged in later shows up after the scan.
        f.addPad("quadgrid");
        clickCentre(scan);
        f.settle();
        QVERIFY(!hud.emptyState()->isVisible());
        QVERIFY(hud.card()->isVisible());
    }

    void aPadClosedToTheUserOffersFixAccess()
    {
        HudFixture f;
        auto pad = f.addPad("quadgrid");
        pad->setRefuseOpen(true);
        PadStore& store = f.makeStore();
        HUDRootView hud(store);
        showAtPreferredSize(hud, store);
        auto* text = hud.findChild<QLabel*>("accessText");
        auto* fix = hud.findChild<QPushButton*>("fixAccess");
        QVERIFY(text && fix);
        QVERIFY(fix->isVisible());
        QVERIFY(text->text().endsWith("is connected, but Keyglass is not allowed to open it."));
        QCOMPARE(fix->text(), QString::fromUtf8("Fix access…"));
        f.desktop.alertAnswers = {0};
        clickCentre(fix);
        QCOMPARE(f.desktop.alertsShown.size(), std::size_t(1));
        QVERIFY(f.desktop.administratorRuns.empty());
        saveScreenshot(hud, "hud-fix-access");

        pad->setRefuseOpen(false);
        store.refresh();
        f.settle();
        QVERIFY(!fix->isVisible());
        QVERIFY(hud.card()->isVisible());
    }

    void aPadReadInPartSaysSoUntilAReloadReadsItAll()
    {
        HudFixture f;
        auto pad = f.addPad("quadgrid");
        pad->overrideByte0(0x12, 0xFF); // no bulk reads: the later layers are read key by key
        pad->dropAnswer(150);           // one of them is lost
        PadStore& store = f.makeStore();
        HUDRootView hud(store);
        showAtPreferredSize(hud, store);
        auto* text = hud.findChild<QLabel*>("partialText");
        auto* reload = hud.findChild<QPushButton*>("reloadPartial");
        QVERIFY(text && reload);
        QVERIFY(reload->isVisible());
        QCOMPARE(text->text(),
                 QString("1 key of Loomworks QuadGrid Macropad could not be read. Apply stays off until a reload "
                         "reads them all."));
        saveScreenshot(hud, "hud-partial-load");
        clickCentre(reload);
        f.settle();
        QVERIFY(!reload->isVisible());
    }

    // The look at 1x and 2x with no pad, each pad alone and both, at the size the window gets.
    void screenshotsAtEverySize()
    {
        const std::vector<std::vector<std::string>> setups{{}, {"quadgrid"}, {"solodial"}, {"quadgrid", "solodial"}};
        for (const auto& pads : setups) {
            HudFixture f;
            std::string name = "hud-size";
            for (const auto& pad : pads) {
                QVERIFY(f.addPad(pad));
                name += "-" + pad;
            }
            if (pads.empty())
                name += "-none";
            PadStore& store = f.makeStore();
            HUDRootView hud(store);
            showAtPreferredSize(hud, store);
            const PreferredSize preferred = store.preferredSize();
            QVERIFY(hud.width() >= preferred.width && hud.height() >= preferred.height);
            saveScreenshot(hud, QString::fromStdString(name));
            saveScreenshot(hud, QString::fromStdString(name + "@2x"), 2.0);
        }
    }

    void headerSwitchesBetweenAutoSyncAndItsButton()
    {
        for (const bool granted : {false, true}) {
            HudFixture f;
            f.addPad("quadgrid");
            f.input.granted = granted;
            PadStore& store = f.makeStore();
            HUDRootView hud(store);
            showAtPreferredSize(hud, store);
            QCOMPARE(store.autoDetectEnabled(), granted);
            QCOMPARE(hud.autoSyncLabel()->isVisible(), granted);
            QCOMPARE(hud.enableAutoSyncButton()->isVisible(), !granted);
            QCOMPARE(hud.autoSyncLabel()->text(), QString("Auto-Sync"));
            QCOMPARE(hud.enableAutoSyncButton()->text(), QString("Enable Auto-Sync"));
            if (!granted) {
                QVERIFY(!hud.autoSyncNote()->isVisible());
                clickCentre(hud.enableAutoSyncButton());
                QVERIFY(hud.autoSyncNote()->isVisible());
                QVERIFY(hud.autoSyncNote()->findChild<QLabel*>("autoSyncNote")->text().contains("udev rule"));
            }
        }
    }

    void headerControlsFollowTheStore()
    {
        HudFixture f;
        f.addPad("quadgrid");
        PadStore& store = f.makeStore();
        HUDRootView hud(store);
        std::vector<bool> pins;
        hud.onTogglePin = [&](bool floating) { pins.push_back(floating); };
        int quits = 0;
        hud.onQuit = [&] { ++quits; };
        showAtPreferredSize(hud, store);

        QCOMPARE(hud.editToggle()->text(), QString("Edit Mappings"));
        QCOMPARE(
            hud.editToggle()->toolTip(),
            QString("Click any keycap, knob, or Tap Dance slot to remap it, then click Apply to flash to hardware"));
        clickCentre(hud.editToggle());
        QVERIFY(store.editMode());
        QCOMPARE(hud.editToggle()->text(), QString("Done Editing"));

        QCOMPARE(hud.pinButton()->toolTip(), QString("Pop out as floating window"));
        clickCentre(hud.pinButton());
        QCOMPARE(pins, std::vector<bool>{true});
        store.setPinnedFloating(true);
        QCOMPARE(hud.pinButton()->toolTip(), QString("Return to menu bar popover"));
        clickCentre(hud.pinButton());
        QCOMPARE(pins, (std::vector<bool>{true, false}));

        QCOMPARE(hud.rescanButton()->toolTip(),
                 "Re-scan USB RawHID devices (" + QString::fromStdString(store.lastRefreshText()) + ")");
        clickCentre(hud.quitButton());
        QCOMPARE(quits, 1);
    }

    void keycapClicksChooseOnlyInEditMode()
    {
        HudFixture f;
        f.addPad("quadgrid");
        PadStore& store = f.makeStore();
        HUDRootView hud(store);
        showAtPreferredSize(hud, store);
        DeckView* deck = hud.card()->deck();

        clickCentre(deck->keycap(1, 2));
        QVERIFY(!store.editingTarget().has_value());
        QVERIFY(!hud.picker()->isVisible());

        store.setEditMode(true);
        QVERIFY(deck->keycap(1, 2)->isEditable());
        clickCentre(deck->keycap(1, 2));
        QVERIFY(store.editingTarget().has_value());
        const auto* key = store.editingTarget()->key();
        QVERIFY(key);
        QCOMPARE(key->deviceID, std::string(QuadgridID));
        QCOMPARE(std::make_tuple(key->layer, key->row, key->col), std::make_tuple(0, 1, 2));
        QVERIFY(hud.picker()->isVisible());
        QVERIFY2(hud.picker()->targetLabel()->text().endsWith(QString::fromUtf8("Key row 2, column 3")),
                 qPrintable(hud.picker()->targetLabel()->text()));
        saveScreenshot(hud, "hud-edit-sheet");

        // A press on the sheet's own text keeps it open; one on the dimmed backdrop closes it.
        clickCentre(hud.picker()->targetLabel());
        QVERIFY(hud.picker()->isVisible());
        QTest::mouseClick(hud.picker(), Qt::LeftButton, {}, QPoint(4, 4));
        QVERIFY(!store.editingTarget().has_value());
        QVERIFY(!hud.picker()->isVisible());
        clickCentre(deck->keycap(1, 2));
        QVERIFY(hud.picker()->isVisible());
        hud.picker()->close();
        QVERIFY(!store.editingTarget().has_value());
        QVERIFY(!hud.picker()->isVisible());

        // Knob directions and a knob's push switch open their own slots.
        MachinedKnobDial* knob = deck->knob(1);
        QTest::mouseClick(
            knob, Qt::LeftButton, {}, QPoint(int(knob->zones().cw.centerX()), int(knob->zones().cw.centerY())));
        QVERIFY(store.editingTarget() && store.editingTarget()->encoder());
        QCOMPARE(store.editingTarget()->encoder()->index, 1);
        QCOMPARE(store.editingTarget()->encoder()->cw, true);
        store.clearEditingTarget();
        QTest::mouseClick(
            knob, Qt::LeftButton, {}, QPoint(int(knob->zones().dial.centerX()), int(knob->zones().dial.centerY())));
        QVERIFY(store.editingTarget() && store.editingTarget()->key());
        QCOMPARE(store.editingTarget()->key()->row, 4);
        QCOMPARE(store.editingTarget()->key()->col, 1);
    }

    void pickerStagesATypedExpressionOrShowsTheRefusal()
    {
        HudFixture f;
        f.addPad("quadgrid");
        PadStore& store = f.makeStore();
        HUDRootView hud(store);
        showAtPreferredSize(hud, store);
        store.setEditMode(true);
        clickCentre(hud.card()->deck()->keycap(0, 0));
        KeycodePickerOverlay* sheet = hud.picker();
        QVERIFY(sheet->isVisible());
        sheet->setSelectedTab(KeycodePickerOverlay::Tab::raw);

        sheet->expressionField()->setText("xyz");
        sheet->applyExpression();
        QVERIFY(sheet->isVisible());
        QVERIFY(sheet->errorLabel()->isVisible());
        QVERIFY(!sheet->errorLabel()->text().isEmpty());
        QVERIFY(!store.device(QuadgridID)->dirty);

        sheet->expressionField()->setText("QK_BOOT");
        sheet->applyExpression();
        QVERIFY(sheet->isVisible());
        QVERIFY(!store.device(QuadgridID)->dirty);

        sheet->expressionField()->setText("LCTL(KC_K)");
        sheet->labelField()->setText("  Link  ");
        sheet->applyExpression();
        QVERIFY(!sheet->isVisible());
        QVERIFY(store.device(QuadgridID)->dirty);
        QCOMPARE(int(store.device(QuadgridID)->keycodeAt(0, 0, 0)), 0x010E);
        QCOMPARE(hud.card()->deck()->keycap(0, 0)->action().title, std::string("Link"));

        QToolButton* apply = hud.card()->actionButton("apply");
        QVERIFY(apply->isEnabled());
        QVERIFY(hud.card()->actionButton("discard")->isEnabled());
        clickCentre(apply);
        QCOMPARE(apply->text(), QString::fromUtf8("Applying…"));
        QVERIFY(!apply->isEnabled());
        f.settle();
        QCOMPARE(apply->text(), QString("Apply"));
        QVERIFY(!store.device(QuadgridID)->dirty);
    }

    void lockedKeyAsksBeforeUnlocking()
    {
        HudFixture f;
        auto pad = f.addPad("quadgrid");
        pad->setKeycode(0, 2, 2, 0x7E05);
        PadStore& store = f.makeStore();
        QVERIFY(store.device(QuadgridID)->protectedLayerCells.count("0,2,2"));
        HUDRootView hud(store);
        showAtPreferredSize(hud, store);
        SculptedKeycap* cap = hud.card()->deck()->keycap(2, 2);
        QVERIFY(cap->isLocked());
        QVERIFY(
            cap->toolTip().endsWith(QString::fromUtf8(" — Firmware-custom key locked (click in Edit mode to unlock)")));

        store.setEditMode(true);
        f.desktop.alertAnswers = {0, 1}; // first keep it locked, then unlock
        clickCentre(cap);
        QCOMPARE(int(f.desktop.alertsShown.size()), 1);
        QCOMPARE(f.desktop.alertsShown[0].style, AlertStyle::warning);
        QVERIFY(!store.editingTarget().has_value());
        QVERIFY(!hud.picker()->isVisible());
        QVERIFY(cap->isLocked());

        clickCentre(cap);
        QCOMPARE(int(f.desktop.alertsShown.size()), 2);
        QVERIFY(store.editingTarget().has_value());
        QVERIFY(hud.picker()->isVisible());
        QVERIFY(!cap->isLocked());
    }

    void liveInputLightsTheMatchingControl()
    {
        HudFixture f;
        f.addPad("quadgrid");
        f.addPad("solodial");
        PadStore& store = f.makeStore();
        store.selectDevice(QuadgridID);
        HUDRootView hud(store);
        showAtPreferredSize(hud, store);
        QVERIFY(hud.deviceSwitcher()->isVisible());

        DeckView* deck = hud.card()->deck();
        const Keycode code = store.device(QuadgridID)->keycodeAt(0, 1, 2);
        store.handleLiveKeycode(QuadgridID, code);
        QVERIFY(deck->keycap(1, 2)->isLit());
        int lit = 0;
        for (auto* cap : deck->keycaps())
            lit += cap && cap->isLit();
        QCOMPARE(lit, 1);
        f.scheduler.advance(std::chrono::milliseconds(500));
        QVERIFY(!deck->keycap(1, 2)->isLit());

        // A knob turn lights its direction.
        const Keycode up = store.device(QuadgridID)->encoderKeycodeAt(0, 2, true);
        store.handleLiveKeycode(QuadgridID, up);
        QVERIFY(deck->knob(2)->litCW());
        QVERIFY(!deck->knob(2)->litCCW());
        f.scheduler.advance(std::chrono::milliseconds(500));

        // Input from the other pad brings its card up.
        const Keycode vol = store.device(SolodialID)->encoderKeycodeAt(0, 0, false);
        store.handleLiveKeycode(SolodialID, vol);
        QCOMPARE(store.selectedDeviceID(), std::optional<std::string>(SolodialID));
        QVERIFY(hud.card()->deck()->knob(0)->litCCW());

        // The switcher selects a device; its buttons follow the selection.
        const auto segments = hud.deviceSwitcher()->findChildren<QToolButton*>();
        QCOMPARE(segments.size(), 2);
        for (QToolButton* segment : segments) {
            if (segment->text().contains("QuadGrid")) {
                QVERIFY(!segment->isChecked());
                clickCentre(segment);
                QVERIFY(segment->isChecked());
            }
        }
        QCOMPARE(store.selectedDeviceID(), std::optional<std::string>(QuadgridID));
        QVERIFY(hud.card()->deck()->keycap(0, 0) != nullptr);
    }

    void everyTapDanceEntryCanBeShownAndEdited()
    {
        HudFixture f;
        auto pad = f.addPad("solodial");
        pad->setTapDance(7, TapDanceData{0x04, 0x05, 0x06, 0x07, 200});
        PadStore& store = f.makeStore();
        HUDRootView hud(store);
        showAtPreferredSize(hud, store);
        GenericDeviceCard* card = hud.card();
        const auto& entries = card->tapDanceEntryButtons();
        QCOMPARE(entries.size(), std::size_t(8));
        QCOMPARE(entries[7]->text(), QString("TD7"));
        QVERIFY(entries[0]->isChecked());

        clickCentre(entries[7]);
        QVERIFY(entries[7]->isChecked());
        QVERIFY(!entries[0]->isChecked());
        QCOMPARE(card->tapDanceTitle()->text(), QString("CLICK ACTIONS (TAP DANCE 7)"));
        QCOMPARE(card->tapDanceRows()[0]->action().raw, Keycode(0x04));
        QCOMPARE(card->tapDanceRows()[3]->action().raw, Keycode(0x07));
        store.setEditMode(true);
        clickCentre(card->tapDanceRows()[2]);
        QVERIFY(store.editingTarget() && store.editingTarget()->tapDance());
        QCOMPARE(store.editingTarget()->tapDance()->index, 7);
        QCOMPARE(store.editingTarget()->tapDance()->slot, 2);
    }

    void tapDanceRowsShowTheEntryOfTheShownKey()
    {
        HudFixture f;
        auto pad = f.addPad("solodial");
        pad->setTapDance(0, TapDanceData{0x04, 0x05, 0x06, 0x07, 200});
        PadStore& store = f.makeStore();
        HUDRootView hud(store);
        showAtPreferredSize(hud, store);
        GenericDeviceCard* card = hud.card();
        QCOMPARE(card->tapDanceTitle()->text(), QString("CLICK ACTIONS (TAP DANCE 0)"));
        QCOMPARE(card->tapDanceRows().size(), std::size_t(4));
        QCOMPARE(card->tapDanceRows()[3]->badge(), QString("Tap+Hold"));
        QVERIFY(card->cycleButton()->isVisible());
        QCOMPARE(card->cycleButton()->toolTip(), QString::fromUtf8("Cycle Solodial preview layer (0–3)"));

        clickCentre(card->tapDanceRows()[1]);
        QVERIFY(!store.editingTarget());
        store.setEditMode(true);
        clickCentre(card->tapDanceRows()[1]);
        QVERIFY(store.editingTarget() && store.editingTarget()->tapDance());
        QCOMPARE(store.editingTarget()->tapDance()->index, 0);
        QCOMPARE(store.editingTarget()->tapDance()->slot, 1);
        store.clearEditingTarget();
        store.setEditMode(false);
        saveScreenshot(hud, "hud-solodial");

        // A Vial pad with several layers opens on layer 1.
        QCOMPARE(store.device(SolodialID)->activeLayer, 1);
        for (int expected : {2, 3, 0, 1}) {
            clickCentre(card->cycleButton());
            QCOMPARE(store.device(SolodialID)->activeLayer, expected);
            QCOMPARE(card->layerLabel()->text(), "Layer " + QString::number(expected));
        }
    }

    void lightingAndActionRowReachTheStore()
    {
        HudFixture f;
        f.addPad("quadgrid");
        PadStore& store = f.makeStore();
        HUDRootView hud(store);
        showAtPreferredSize(hud, store);
        GenericDeviceCard* card = hud.card();
        QVERIFY(card->lighting()->isVisible());

        card->lighting()->dragSliderTo(127.6);
        QCOMPARE(int(store.device(QuadgridID)->rgb.brightness), 128);
        QCOMPARE(card->lighting()->percentLabel()->text(), QString("50%"));
        clickCentre(card->lighting()->swatchButtons()[4]);
        QCOMPARE(int(store.device(QuadgridID)->rgb.hue), 85);
        QVERIFY(card->lighting()->isSwatchShownSelected(4));
        clickCentre(card->lighting()->toggleButton());
        QVERIFY(!store.device(QuadgridID)->rgb.isOn());
        QCOMPARE(card->lighting()->toggleButton()->toolTip(), QString("Turn lighting on"));

        const QString name = QString::fromStdString(store.device(QuadgridID)->displayName());
        QCOMPARE(card->actionButton("backup")->toolTip(), "Back up " + name + " mappings to JSON");
        QCOMPARE(card->actionButton("apply")->toolTip(), "Write staged changes directly to " + name + " EEPROM");
        QCOMPARE(card->actionButton("restore")->toolTip(),
                 QString("Restore mappings from backup (.json) or Vial (.vil)"));
        QCOMPARE(card->actionButton("discard")->toolTip(), QString("Discard unsaved edits"));
        QCOMPARE(card->actionButton("presets")->toolTip(),
                 QString("Browse built-in & custom presets per device, app, and OS (Clone, Edit & Save)"));
        QVERIFY(!card->actionButton("apply")->isEnabled());

        // Presets opens the pad's presets; loading one stages it and closes the sheet.
        clickCentre(card->actionButton("presets"));
        QVERIFY(store.showingPresets());
        QVERIFY(hud.presetBrowser()->isVisible());
        const auto loads = hud.presetBrowser()->findChildren<QPushButton*>("load");
        QVERIFY(!loads.isEmpty());
        saveScreenshot(hud, "hud-presets");
        clickCentre(loads.front());
        QVERIFY(!store.showingPresets());
        QVERIFY(!hud.presetBrowser()->isVisible());
        QVERIFY(store.device(QuadgridID)->dirty);
        QVERIFY(store.toastMessage()->starts_with("Auto-backed up & loaded "));
        QCOMPARE(hud.toastSymbol(), QString("checkmark.circle.fill"));
        QVERIFY(card->actionButton("apply")->isEnabled());

        // Back up asks where to save through the desktop.
        clickCentre(card->actionButton("backup"));
        QCOMPARE(int(f.desktop.savePanelsShown.size()), 1);
    }

    void demoAltClickPressesThePadOutsideEditMode()
    {
        HudFixture f;
        f.addPad("quadgrid");
        PadStore& store = f.makeStore();
        HUDRootView hud(store);
        std::vector<std::tuple<std::string, int, int>> presses;
        std::vector<std::tuple<std::string, int, bool>> turns;
        DemoActions demo;
        demo.press = [&](const std::string& id, int r, int c) {
            presses.emplace_back(id, r, c);
            return true;
        };
        demo.turn = [&](const std::string& id, int e, bool cw) {
            turns.emplace_back(id, e, cw);
            return true;
        };
        hud.setDemoActions(demo);
        showAtPreferredSize(hud, store);
        DeckView* deck = hud.card()->deck();
        clickCentre(deck->keycap(3, 1));
        QVERIFY(presses.empty());
        clickCentre(deck->keycap(3, 1), Qt::AltModifier);
        MachinedKnobDial* knob = deck->knob(0);
        QTest::mouseClick(knob,
                          Qt::LeftButton,
                          Qt::AltModifier,
                          QPoint(int(knob->zones().ccw.centerX()), int(knob->zones().ccw.centerY())));
        QTest::mouseClick(knob,
                          Qt::LeftButton,
                          Qt::AltModifier,
                          QPoint(int(knob->zones().dial.centerX()), int(knob->zones().dial.centerY())));
        QCOMPARE(presses, (std::vector<std::tuple<std::string, int, int>>{{QuadgridID, 3, 1}, {QuadgridID, 4, 0}}));
        QCOMPARE(turns, (std::vector<std::tuple<std::string, int, bool>>{{QuadgridID, 0, false}}));
        QVERIFY(!store.editingTarget());
    }

    void screenshotsOfEachKindOfPad()
    {
        HudFixture f;
        f.addPad("quadgrid");
        PadStore& store = f.makeStore();
        store.handleLiveKeycode(QuadgridID, store.device(QuadgridID)->keycodeAt(0, 1, 1));
        HUDRootView hud(store);
        showAtPreferredSize(hud, store);
        saveScreenshot(hud, "hud-quadgrid");
        saveScreenshot(hud, "hud-quadgrid@2x", 2.0);
        store.setEditMode(true);
        saveScreenshot(hud, "hud-edit-mode");

        HudFixture g;
        auto board = VirtualPad::fromVialDefinitionText(SixtyPercent);
        QVERIFY(board.has_value());
        g.hid.addPad(*board);
        PadStore& boardStore = g.makeStore();
        QCOMPARE(boardStore.devices().size(), std::size_t(1));
        HUDRootView boardHud(boardStore);
        showAtPreferredSize(boardHud, boardStore);
        QVERIFY(boardHud.card()->deck()->width() <= boardStore.preferredSize().width);
        saveScreenshot(boardHud, "hud-fullsize");
    }
};

QTEST_MAIN(HudTest)
#include "HudTest.moc"
