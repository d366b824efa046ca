#include "support/HudFixture.h"
#include "support/ScreenshotSupport.h"

#include "ui/DeckView.h"
#include "ui/SculptedKeycap.h"
#include "ui/views/GenericDeviceCard.h"
#include "ui/views/HUDRootView.h"
#include "ui/views/KeycodePickerOverlay.h"
#include "ui/views/PickerWidgets.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSpinBox>
#include <QTest>
#include <QToolButton>

using namespace keyglass;
using namespace keyglass::test;
using Tab = KeycodePickerOverlay::Tab;

namespace {

/// A HUD over the given pads at the size the window gets, in edit mode.
struct PickerRig
{
    HudFixture f;
    PadStore* store = nullptr;
    std::unique_ptr<HUDRootView> hud;

    explicit PickerRig(std::vector<std::string> pads = {"quadgrid"})
    {
        for (const auto& pad : pads)
            f.addPad(pad);
        store = &f.makeStore();
        hud = std::make_unique<HUDRootView>(*store);
        store->setEditMode(true); // the picker opens in edit mode, whose rows the HUD is sized with
        hud->resize(hud->shownSize());
        hud->show();
    }
    KeycodePickerOverlay* picker() const { return hud->picker(); }
    /// Opens the picker on key (row, col) of layer 0 of the selected pad.
    KeycodePickerOverlay* openKey(int row, int col)
    {
        store->chooseKey(*store->selectedDeviceID(), 0, row, col);
        QApplication::processEvents();
        return picker();
    }
    Keycode keyAt(const char* id, int row, int col) const { return store->device(id)->keycodeAt(0, row, col); }
};

void clickTile(KeycodePickerOverlay* picker, const QString& id)
{
    PickerTile* t = picker->tile(id);
    QVERIFY2(t, qPrintable("no tile " + id));
    QTest::mouseClick(t, Qt::LeftButton);
}

} // namespace

class KeycodePickerTest : public QObject
{
    Q_OBJECT

private slots:
    void opensWithItsTabsAndHeaderAndClosesByEscOrBackdrop()
    {
        PickerRig rig;
        KeycodePickerOverlay* picker = rig.openKey(1, 2);
        QVERIFY(picker->isVisible());
        QCOMPARE(picker->headerTitle()->text(), QString("Remap Control"));
        QVERIFY(picker->targetLabel()->text().endsWith(QString::fromUtf8("Layer 0 · Key row 2, column 3")));
        QStringList titles;
        for (Tab tab : KeycodePickerOverlay::AllTabs)
            titles << picker->tabButton(tab)->text().replace("&&", "&");
        QCOMPARE(titles, (QStringList{"T3 Mac", "T3 Win", "App Focus", "Media & OS", "Custom", "TD / Raw"}));
        QCOMPARE(picker->searchField()->placeholderText(), QString("Filter actions..."));
        QCOMPARE(picker->labelField()->placeholderText(),
                 QString("Optional keycap title (e.g. Brush, Razor, New Chat)"));
        QCOMPARE(picker->expressionField()->placeholderText(), QString("e.g. SGUI(KC_D), LCTL(KC_K), MO(1), 0x0A12"));

        QTest::keyClick(picker->searchField(), Qt::Key_Escape);
        QVERIFY(!picker->isVisible());
        QVERIFY(!rig.store->editingTarget());

        rig.openKey(1, 2);
        QTest::mouseClick(picker, Qt::LeftButton, {}, QPoint(3, 3));
        QVERIFY(!picker->isVisible());
        QVERIFY(!rig.store->editingTarget());
        QVERIFY(!rig.store->device(QuadgridID)->dirty);
    }

    void catalogueOptionsStageWithTheirTitleUnlessALabelIsTyped()
    {
        PickerRig rig;
        KeycodePickerOverlay* picker = rig.openKey(0, 0);
        picker->setSelectedTab(Tab::media);
        picker->labelField()->setText(" \t \n");
        clickTile(picker, "m-volu");
        QVERIFY(!picker->isVisible());
        QCOMPARE(int(rig.keyAt(QuadgridID, 0, 0)), 0x00A9);
        const auto& labels = rig.store->device(QuadgridID)->presetOverlay->keyLabels;
        QCOMPARE(QString::fromStdString(labels.at("0,0,0").label), QString("Vol Up"));

        rig.openKey(0, 1);
        picker->setSelectedTab(Tab::t3Win);
        picker->labelField()->setText("  Chat \n");
        clickTile(picker, "t3-new");
        QCOMPARE(int(rig.keyAt(QuadgridID, 0, 1)), 0x0312);
        QCOMPARE(rig.hud->card()->deck()->keycap(0, 1)->action().title, std::string("Chat"));
    }

    void basicKeysTakeTheModifierRow()
    {
        PickerRig rig;
        KeycodePickerOverlay* picker = rig.openKey(0, 0);
        QCOMPARE(picker->selectedTab(), Tab::custom);
        QTest::mouseClick(picker->modifierToggle(0x02), Qt::LeftButton);
        QTest::mouseClick(picker->modifierToggle(0x01), Qt::LeftButton);
        BasicKeyboardView* keyboard = picker->keyboard();
        QCOMPARE(keyboard->titleFor(0x04), QString("A"));
        const QRect a = keyboard->keyRect(0x04);
        QVERIFY(!a.isEmpty());
        QTest::mouseClick(keyboard, Qt::LeftButton, {}, a.center());
        QVERIFY(!picker->isVisible());
        QCOMPARE(int(rig.keyAt(QuadgridID, 0, 0)), 0x0304);
        // No default label: the keycap shows the code's own caption.
        QVERIFY(!rig.store->device(QuadgridID)->presetOverlay ||
                !rig.store->device(QuadgridID)->presetOverlay->keyLabels.count("0,0,0"));

        // The arrow keys walk the drawn keyboard and Enter picks; the modifier row stays per pad.
        rig.openKey(0, 1);
        QVERIFY(picker->modifiers().ctrl && picker->modifiers().shift);
        picker->setModifiers({});
        keyboard->setFocus();
        QCOMPARE(int(*keyboard->focusedUsage()), 0x04); // the key clicked last
        QTest::keyClick(keyboard, Qt::Key_Right);
        QCOMPARE(int(*keyboard->focusedUsage()), 0x16); // S
        QTest::keyClick(keyboard, Qt::Key_Up);
        QCOMPARE(int(*keyboard->focusedUsage()), 0x1A); // W
        QTest::keyClick(keyboard, Qt::Key_Return);
        QCOMPARE(int(rig.keyAt(QuadgridID, 0, 1)), 0x001A);
    }

    void layerAndModTapBuildersFollowTheChoosers()
    {
        PickerRig rig;
        KeycodePickerOverlay* picker = rig.openKey(0, 0);
        const int layers = rig.store->device(QuadgridID)->layerCount;
        QCOMPARE(picker->layerChooser()->count(), layers);
        QVERIFY(layers >= 3);
        picker->layerChooser()->setCurrentIndex(2);
        QComboBox* tap = picker->layerTapKeyChooser();
        tap->setCurrentIndex(tap->findData(0x2C));
        PickerTile* lt = picker->layerTile(LayerAction::lt);
        QVERIFY(lt);
        QCOMPARE(lt->entry().code, Keycode(0x422C));
        QCOMPARE(lt->entry().subtitle, std::string("LT(2, KC_SPC)"));
        QTest::mouseClick(lt, Qt::LeftButton);
        QCOMPARE(int(rig.keyAt(QuadgridID, 0, 0)), 0x422C);

        rig.openKey(0, 1);
        picker->layerChooser()->setCurrentIndex(1);
        QTest::mouseClick(picker->layerTile(LayerAction::mo), Qt::LeftButton);
        QCOMPARE(int(rig.keyAt(QuadgridID, 0, 1)), 0x5221);

        rig.openKey(0, 2);
        PickerTile* mt = picker->findChild<PickerTile*>("tile-mt");
        QVERIFY(mt && !mt->isEnabled()); // no modifier to hold yet
        picker->findChild<QCheckBox*>("mt-Ctrl")->setChecked(true);
        QComboBox* mtKey = picker->findChild<QComboBox*>("modTapKey");
        mtKey->setCurrentIndex(mtKey->findData(0x29));
        QVERIFY(mt->isEnabled());
        QTest::mouseClick(mt, Qt::LeftButton);
        QCOMPARE(int(rig.keyAt(QuadgridID, 0, 2)), 0x2129);
    }

    void tapDanceEntriesAndTheWholeEntryOfATapDanceTarget()
    {
        PickerRig rig({"solodial"});
        KeycodePickerOverlay* picker = rig.openKey(0, 0);
        picker->setSelectedTab(Tab::raw);
        QVERIFY(!picker->tapDanceEntryBox()->isVisible()); // a key target has no entry to show
        clickTile(picker, "td-3");
        QCOMPARE(int(rig.keyAt(SolodialID, 0, 0)), 0x5703);

        rig.store->chooseTapDance(SolodialID, 2, 1);
        QVERIFY(picker->isVisible());
        QCOMPARE(picker->selectedTab(), Tab::raw);
        QVERIFY(picker->targetLabel()->text().endsWith(QString::fromUtf8("Tap Dance 2 · Hold")));
        QVERIFY(picker->tapDanceEntryBox()->isVisible());
        for (int slot = 0; slot < 4; ++slot) {
            auto* b = picker->findChild<QPushButton*>(QString("tdSlot-%1").arg(slot));
            QVERIFY(b);
            QCOMPARE(b->isChecked(), slot == 1);
        }
        QSpinBox* term = picker->tappingTermField();
        QCOMPARE(term->value(), 180);
        QApplication::processEvents(); // the tab switch lays out on the next pass
        saveScreenshot(*rig.hud, "picker-tapdance");
        saveScreenshot(*rig.hud, "picker-tapdance@2x", 2.0);
        term->setFocus();
        term->selectAll();
        QTest::keyClicks(term, "250");
        QTest::keyClick(term, Qt::Key_Return);
        QCOMPARE(int(rig.store->device(SolodialID)->tapDances[2].tappingTerm), 250);
        QVERIFY(rig.store->device(SolodialID)->dirty);
        QVERIFY(picker->isVisible()); // the term is staged without closing the sheet

        // Another slot's button retargets the sheet to that slot.
        QTest::mouseClick(picker->findChild<QPushButton*>("tdSlot-3"), Qt::LeftButton);
        QVERIFY(rig.store->editingTarget()->tapDance());
        QCOMPARE(rig.store->editingTarget()->tapDance()->slot, 3);
        picker->expressionField()->setText("KC_ESC");
        picker->applyExpression();
        QCOMPARE(int(rig.store->device(SolodialID)->tapDances[2].onTapHold), 0x0029);
    }

    void expressionsGiveLiveFeedbackAndRefuseWhatIsUnsafe()
    {
        PickerRig rig;
        KeycodePickerOverlay* picker = rig.openKey(0, 0);
        picker->setSelectedTab(Tab::raw);
        QTest::keyClicks(picker->expressionField(), "LT(2, KC_SPC)");
        QVERIFY2(picker->expressionPreview()->text().startsWith("0x422C"),
                 qPrintable(picker->expressionPreview()->text()));
        picker->expressionField()->setText("qk_boot");
        QCOMPARE(picker->expressionPreview()->text(), QString("Blocked bootloader/reset token \"qk_boot\""));
        picker->expressionField()->setText("xyz");
        QCOMPARE(picker->expressionPreview()->text(), QString("Unrecognized QMK expression or hex code"));
        QApplication::processEvents(); // the tab switch lays out on the next pass
        saveScreenshot(*rig.hud, "picker-raw");
        saveScreenshot(*rig.hud, "picker-raw@2x", 2.0);

        QTest::keyClick(picker->expressionField(), Qt::Key_Return);
        QVERIFY(picker->isVisible());
        QCOMPARE(picker->rawError(), std::optional<QString>("Unrecognized QMK expression or hex code"));
        QVERIFY(!rig.store->device(QuadgridID)->dirty);

        picker->expressionField()->setText("0x7C00");
        picker->applyExpression();
        QVERIFY(picker->isVisible());
        QCOMPARE(picker->rawError(), std::optional<QString>("Blocked bootloader/reset keycode 0x7C00 (\"0x7C00\")"));
        QVERIFY(!rig.store->device(QuadgridID)->dirty);

        picker->expressionField()->setText(" MO(1) ");
        QVERIFY(!picker->rawError()); // typing clears the old message
        picker->applyExpression();
        QVERIFY(!picker->isVisible());
        QCOMPARE(int(rig.keyAt(QuadgridID, 0, 0)), 0x5221);
    }

    void searchCoversEveryTabCurrentTabFirst()
    {
        PickerRig rig;
        KeycodePickerOverlay* picker = rig.openKey(0, 0);
        picker->setSelectedTab(Tab::media);
        picker->setSearchText("next");
        auto hits = picker->searchHits();
        QVERIFY(hits.size() >= 3);
        QCOMPARE(hits.front().tab, Tab::media);
        bool t3 = false;
        for (const auto& hit : hits)
            t3 |= hit.tab == Tab::t3Mac && hit.entry.title == "Next Thread";
        QVERIFY(t3);
        // QMK names and aliases are found too.
        picker->setSearchText("cw_togg");
        hits = picker->searchHits();
        QCOMPARE(hits.size(), std::size_t(1));
        QCOMPARE(hits.front().entry.code, Keycode(0x7C73));
        QVERIFY(picker->tile("hit-0"));

        picker->setSearchText("vol up");
        QApplication::processEvents(); // the tab switch lays out on the next pass
        saveScreenshot(*rig.hud, "picker-search");
        QTest::keyClick(picker->searchField(), Qt::Key_Return);
        QVERIFY(!picker->isVisible());
        QCOMPARE(int(rig.keyAt(QuadgridID, 0, 0)), 0x00A9);
        QCOMPARE(rig.hud->card()->deck()->keycap(0, 0)->action().title, std::string("Vol Up"));
    }

    void pressAKeyTakesTheNextKeyWithItsModifiers()
    {
        PickerRig rig;
        KeycodePickerOverlay* picker = rig.openKey(0, 0);
        KeyCaptureButton* capture = picker->pressAKey();
        QTest::mouseClick(capture, Qt::LeftButton);
        QVERIFY(capture->isChecked());
        QTest::keyClick(capture, Qt::Key_Shift, Qt::ShiftModifier); // a modifier alone waits
        QVERIFY(capture->isChecked());
        QTest::keyClick(capture, Qt::Key_Escape); // stops listening, picks nothing
        QVERIFY(!capture->isChecked());
        QVERIFY(picker->isVisible());

        QTest::mouseClick(capture, Qt::LeftButton);
        QTest::keyClick(capture, Qt::Key_K, Qt::ControlModifier);
        QVERIFY(!picker->isVisible());
        QCOMPARE(int(rig.keyAt(QuadgridID, 0, 0)), 0x010E);

        rig.openKey(0, 1);
        QTest::mouseClick(capture, Qt::LeftButton);
        QTest::keyClick(capture, Qt::Key_Tab); // Tab is a key to take while listening
        QCOMPARE(int(rig.keyAt(QuadgridID, 0, 1)), 0x002B);
        rig.openKey(0, 2);
        QTest::mouseClick(capture, Qt::LeftButton);
        QTest::keyClick(capture, Qt::Key_Exclam, Qt::ShiftModifier | Qt::MetaModifier);
        QCOMPARE(int(rig.keyAt(QuadgridID, 0, 2)), 0x0A1E);
    }

    void aBootCodeCanNeverBeStaged()
    {
        PickerRig rig;
        KeycodePickerOverlay* picker = rig.openKey(0, 0);
        const Keycode before = rig.keyAt(QuadgridID, 0, 0);
        QWidget* quantum = picker->findChild<QWidget*>("section-quantum");
        QVERIFY(quantum);
        PickerTile* boot = nullptr;
        for (PickerTile* t : quantum->findChildren<PickerTile*>())
            if (t->entry().code == 0x7C00)
                boot = t;
        QVERIFY(boot);
        QVERIFY(!boot->isEnabled());
        QVERIFY(boot->toolTip().startsWith("Blocked bootloader/reset keycode 0x7C00"));
        QTest::mouseClick(boot, Qt::LeftButton);
        boot->click();
        QVERIFY(picker->isVisible());

        picker->setSearchText("boot");
        QTest::keyClick(picker->searchField(), Qt::Key_Return);
        picker->pick(0x7C00, std::string("Boot"));
        QVERIFY(picker->isVisible());
        QVERIFY(picker->pickError()->text().startsWith("Blocked bootloader/reset keycode 0x7C00"));
        picker->pick(0x7E00, std::nullopt); // firmware-custom
        QVERIFY(picker->isVisible());
        QCOMPARE(rig.keyAt(QuadgridID, 0, 0), before);
        QVERIFY(!rig.store->device(QuadgridID)->dirty);
    }

    void appFocusTabPromptTriggersAndBinding()
    {
        PickerRig rig;
        KeycodePickerOverlay* picker = rig.openKey(0, 0);
        picker->setSelectedTab(Tab::focus);
        const QString range = QString::fromUtf8("(uses F13–F24 / ⌃F13–⌃F16)");
        QCOMPARE(picker->focusPrompt()->text(), "Select an App Focus trigger " + range + ":");
        QVERIFY(picker->bindAppButton()->toolTip().contains(range));
        QCOMPARE(picker->focusPrompt()->parentWidget()->findChildren<PickerTile*>().size(), qsizetype(24));
        QApplication::processEvents(); // the tab switch lays out on the next pass
        saveScreenshot(*rig.hud, "picker-focus");
        saveScreenshot(*rig.hud, "picker-focus@2x", 2.0);

        rig.f.desktop.openAnswers = {std::filesystem::path("/usr/share/applications/figma.desktop")};
        picker->labelField()->setText("Design");
        QTest::mouseClick(picker->bindAppButton(), Qt::LeftButton);
        QVERIFY(!picker->isVisible());
        const Keycode code = rig.keyAt(QuadgridID, 0, 0);
        QVERIFY2(code >= 0x0068 && code <= 0x0173, qPrintable(QString::number(code, 16)));
        QCOMPARE(rig.hud->card()->deck()->keycap(0, 0)->action().title, std::string("Design"));
    }

    // Tab walks the controls and every page fits the HUD at each preferred size without sideways scrolling.
    void keyboardOnlyAndFitsEverySize()
    {
        for (const std::vector<std::string>& pads :
             {std::vector<std::string>{"quadgrid"}, {"solodial"}, {"quadgrid", "solodial"}}) {
            PickerRig rig(pads);
            KeycodePickerOverlay* picker = rig.openKey(0, 0);
            for (Tab tab : KeycodePickerOverlay::AllTabs) {
                picker->setSelectedTab(tab);
                QApplication::processEvents();
                const QRect hud = rig.hud->rect();
                QWidget* card = picker->findChild<QWidget*>("sheetCard");
                QVERIFY2(hud.contains(card->geometry()),
                         qPrintable(QString("%1 pad(s): card %2x%3 in %4x%5")
                                        .arg(pads.size())
                                        .arg(card->width())
                                        .arg(card->height())
                                        .arg(hud.width())
                                        .arg(hud.height())));
                for (Tab t : KeycodePickerOverlay::AllTabs) {
                    QAbstractButton* b = picker->tabButton(t);
                    QVERIFY2(b->width() >= b->sizeHint().width() - 8,
                             qPrintable(b->text() + " clipped at " + QString::number(rig.hud->width())));
                }
                QScrollArea* page = picker->page(tab);
                QVERIFY(page->widget()->width() <= page->viewport()->width());
                QVERIFY(!page->horizontalScrollBar()->isVisible());
            }
        }

        PickerRig rig;
        KeycodePickerOverlay* picker = rig.openKey(0, 0);
        picker->setSelectedTab(Tab::media);
        picker->searchField()->setFocus();
        QWidget* before = QApplication::focusWidget();
        QTest::keyClick(before, Qt::Key_Tab);
        QVERIFY(QApplication::focusWidget() != before);
        PickerTile* first = picker->tile("m-mute");
        first->setFocus();
        QTest::keyClick(first, Qt::Key_Right);
        auto* focused = qobject_cast<PickerTile*>(QApplication::focusWidget());
        QVERIFY(focused);
        QCOMPARE(focused->entry().id, std::string("m-volu"));
        QTest::keyClick(focused, Qt::Key_Return);
        QCOMPARE(int(rig.keyAt(QuadgridID, 0, 0)), 0x00A9);
    }

    void screenshotsOfTheTabs()
    {
        const std::vector<std::pair<Tab, QString>> shots{
            {Tab::custom, "picker-custom"}, {Tab::media, "picker-media"}, {Tab::t3Mac, "picker-t3mac"}};
        for (const auto& [tab, name] : shots) {
            PickerRig rig;
            KeycodePickerOverlay* picker = rig.openKey(1, 1);
            picker->setSelectedTab(tab);
            QApplication::processEvents();
            saveScreenshot(*rig.hud, name);
            saveScreenshot(*rig.hud, name + "@2x", 2.0);
        }
        PickerRig narrow({"solodial"});
        narrow.openKey(0, 0)->setSelectedTab(Tab::custom);
        QApplication::processEvents();
        saveScreenshot(*narrow.hud, "picker-custom-solodial");
    }
};

QTEST_MAIN(KeycodePickerTest)
#include "KeycodePickerTest.moc"
