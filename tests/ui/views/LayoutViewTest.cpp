// Real keyboard layouts in the HUD: rotated and stepped caps drawn and hit where they are drawn,
// the card's "Layout" menu over a pad's layout options, and VIA definitions loaded from the card or
// dropped on the HUD.

#include "support/HudFixture.h"
#include "support/ScreenshotSupport.h"

#include "device/KleLayout.h"
#include "device/LayoutOptions.h"
#include "device/ViaDefinitions.h"
#include "ui/DeckView.h"
#include "ui/KeycapGeometry.h"
#include "ui/SculptedKeycap.h"
#include "ui/views/GenericDeviceCard.h"
#include "ui/views/HUDRootView.h"

#include <QDropEvent>
#include <QMenu>
#include <QMimeData>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <QUrl>

#include <cmath>
#include <filesystem>

using namespace keyglass;
using namespace keyglass::test;

namespace {

namespace fs = std::filesystem;

fs::path corpusFile(const char* relative)
{
    const fs::path dir = sharedCorpusDir();
    if (dir.empty())
        qFatal("the shared corpus is missing (set KEYGLASS_CORPUS_DIR)");
    return dir / relative;
}

void showAtPreferredSize(HUDRootView& hud)
{
    hud.resize(hud.shownSize());
    hud.show();
    QVERIFY(QTest::qWaitForWindowExposed(&hud));
}

int drawnCaps(const DeckView& deck)
{
    int count = 0;
    for (auto* cap : deck.keycaps())
        count += cap != nullptr;
    return count;
}

QAction* actionTitled(QMenu* menu, const QString& title)
{
    for (QAction* action : menu->actions())
        if (action->text() == title)
            return action;
    return nullptr;
}

// Where the middle of a cap is drawn, rotation included.
QPointF drawnCentre(const KeyShape& shape)
{
    const double a = shape.angle * M_PI / 180;
    const double dx = shape.primary.centerX() - shape.originX, dy = shape.primary.centerY() - shape.originY;
    return QPointF(shape.originX + dx * std::cos(a) - dy * std::sin(a),
                   shape.originY + dx * std::sin(a) + dy * std::cos(a));
}

// The shape of cap i in the cap widget's own coordinates.
KeyShape localShape(const DeckView& deck, std::size_t i)
{
    const DeckRect box = deck.deckLayout().keys[i];
    return deck.deckLayout().shapes[i].translated(-std::floor(box.x), -std::floor(box.y));
}

} // namespace

class LayoutViewTest : public QObject
{
    Q_OBJECT

private slots:
    void rotatedAndSteppedCapsAreHitWhereTheyAreDrawn()
    {
        DeckMetrics m;
        m.unit = 50;
        m.gap = 4;
        PhysicalKey plain{"r0c0", 0, 0, 0, 0, 1, 1, false};
        PhysicalKey turned{"r0c1", 0, 1, 3, 0, 1, 2, false};
        turned.r = 45;
        turned.rx = 3;
        turned.ry = 0;
        PhysicalKey enter{"r1c0", 1, 0, 5.25, 0, 1.25, 2, false};
        enter.x2 = -0.25;
        enter.w2 = 1.5;
        enter.h2 = 1;
        const auto layout = layoutDeck({plain, turned, enter}, {}, 0, m);

        // The turned key leans left of its origin: the block starts left of x = 3 units.
        const KeyShape& t = layout.shapes[1];
        QVERIFY(t.rotated());
        const QPointF centre = drawnCentre(t);
        QVERIFY(centre.x() < t.originX);
        QCOMPARE(keyAt(layout, centre.x(), centre.y()), std::optional<std::size_t>(1));
        // The corner of the rectangle around it is empty.
        const DeckRect around = layout.keys[1];
        QVERIFY(!t.contains(around.x + 3, around.y + 3));
        QCOMPARE(keyAt(layout, around.x + 3, around.y + 3), std::optional<std::size_t>());

        // ISO Enter: its upper step counts, the notch under it to the left does not.
        const KeyShape& e = layout.shapes[2];
        QVERIFY(e.secondary);
        const double stepX = e.secondary->x + 3, upperY = e.secondary->y + 10, lowerY = e.primary.bottom() - 10;
        QCOMPARE(keyAt(layout, stepX, upperY), std::optional<std::size_t>(2));
        QCOMPARE(keyAt(layout, stepX, lowerY), std::optional<std::size_t>());
        QVERIFY(layout.width >= e.bounds().right());
    }

    void rotatedSplitBoardDrawsItsTurnedThumbKeys()
    {
        HudFixture f;
        QVERIFY2(f.addPad(corpusFile("vial-definitions/sofle__rev1.json").string()), f.padError.c_str());
        PadStore& store = f.makeStore();
        QCOMPARE(store.devices().size(), std::size_t(1));
        HUDRootView hud(store);
        showAtPreferredSize(hud);
        saveScreenshot(hud, "hud-rotated");
        DeckView* deck = hud.card()->deck();
        const DeviceModel& pad = store.devices().front();
        int turned = 0;
        for (std::size_t i = 0; i < pad.keys.size(); ++i) {
            SculptedKeycap* cap = deck->keycaps()[i];
            if (!cap || pad.keys[i].r == 0)
                continue;
            ++turned;
            QVERIFY(cap->hasShape());
            // The middle of the drawn cap is on it; the empty corner of its widget is not.
            QVERIFY(cap->hitsCap(drawnCentre(localShape(*deck, i))));
            QVERIFY(!cap->hitsCap(QPointF(1, 1)));
        }
        QCOMPARE(turned, 4);
        QSignalSpy taps(deck, &DeckView::keyTapped);
        for (std::size_t i = 0; i < pad.keys.size(); ++i)
            if (pad.keys[i].id == "r4c4" && deck->keycaps()[i])
                QTest::mouseClick(deck->keycaps()[i], Qt::LeftButton, {}, drawnCentre(localShape(*deck, i)).toPoint());
        QCOMPARE(taps.count(), 1);
        QCOMPARE(taps.front().at(0).toInt(), 4);
        QCOMPARE(taps.front().at(1).toInt(), 4);
    }

    void layoutMenuChangesTheOptionsOnThePad()
    {
        HudFixture f;
        auto pad = f.addPad(corpusFile("vial-definitions/4pplet__waffling60__rev_d.json").string());
        QVERIFY2(pad, f.padError.c_str());
        PadStore& store = f.makeStore();
        HUDRootView hud(store);
        showAtPreferredSize(hud);
        const auto labels = store.devices().front().layoutLabels;
        DeckView* deck = hud.card()->deck();
        QCOMPARE(drawnCaps(*deck), 60);
        saveScreenshot(hud, "hud-options");

        QToolButton* layout = hud.card()->layoutButton();
        QVERIFY(layout->isVisible());
        QMenu* menu = hud.card()->layoutMenu();
        QCOMPARE(menu->actions().size(), qsizetype(labels.size()));
        QVERIFY(!actionTitled(menu, "Load VIA Definition...")); // a Vial pad brings its own

        // "ISO Enter", a toggle: the pad's value changes and the board is read again with it.
        QAction* iso = actionTitled(menu, "ISO Enter");
        QVERIFY(iso && iso->isCheckable() && !iso->isChecked());
        iso->trigger();
        f.settle();
        const auto isoValue = encodeLayoutOptions(labels, {0, 0, 1});
        QCOMPARE(pad->layoutOptions(), isoValue);
        const DeviceModel* board = &store.devices().front();
        QCOMPARE(board->layoutOptions, isoValue);
        QVERIFY(actionTitled(hud.card()->layoutMenu(), "ISO Enter")->isChecked());
        bool stepped = false;
        for (const auto& key : board->keys)
            stepped = stepped || key.hasSecondary();
        QVERIFY(stepped);
        saveScreenshot(hud, "hud-options-iso");

        // A choice of the bottom row, from its submenu.
        QMenu* bottom = actionTitled(hud.card()->layoutMenu(), "Bottom row")->menu();
        QVERIFY(bottom);
        QAction* split = actionTitled(bottom, "7U WK Split");
        QVERIFY(split);
        split->trigger();
        f.settle();
        QCOMPARE(chosenLayoutChoices(store.devices().front())[0], 2);

        // With edits staged the layout stays as it is.
        const auto before = pad->layoutOptions();
        store.assign(EditingTarget(EditingTarget::Key{store.devices().front().id, 0, 0, 0}), 0x0004);
        actionTitled(hud.card()->layoutMenu(), "ISO Enter")->trigger();
        f.settle();
        QCOMPARE(pad->layoutOptions(), before);
        QCOMPARE(QString::fromStdString(store.toastMessage().value_or("")),
                 QString("Apply or discard the staged edits before changing the layout"));
    }

    void viaDefinitionsComeFromTheCardOrADrop()
    {
        HudFixture f;
        f.addPad("quadgrid");
        PadStore& store = f.makeStore();
        HUDRootView hud(store);
        showAtPreferredSize(hud);
        QMenu* menu = hud.card()->layoutMenu();
        QAction* load = actionTitled(menu, "Load VIA Definition...");
        QVERIFY(load);
        QVERIFY(hud.card()->layoutButton()->isVisible());

        const fs::path bdn9 = corpusFile("via-definitions/keebio__bdn9__bdn9-rev2.json");
        f.desktop.openAnswers = {bdn9};
        load->trigger();
        f.settle();
        QCOMPARE(f.desktop.openPanelsShown.size(), std::size_t(1));
        QCOMPARE(f.desktop.openPanelsShown[0].allowedExtensions, std::vector<std::string>{"json"});
        QCOMPARE(listViaDefinitions().size(), std::size_t(1));
        QCOMPARE(QString::fromStdString(listViaDefinitions()[0].deviceID()), QString("CB10:2133"));

        // A definition dropped on the HUD is added too; a file that is none says why.
        const fs::path tidbit = corpusFile("via-definitions/nullbitsco__tidbit.json");
        const fs::path junk = f.home.path() / "junk.json";
        writeText(junk, "{\"name\": 1}");
        QCOMPARE(HUDRootView::droppedDefinitionFiles({QUrl::fromLocalFile(QString::fromStdString(tidbit.string())),
                                                      QUrl("https://example.org/x.json"),
                                                      QUrl::fromLocalFile("/tmp/picture.png")})
                     .size(),
                 std::size_t(1));
        hud.addDroppedDefinitions({QUrl::fromLocalFile(QString::fromStdString(tidbit.string()))});
        f.settle();
        QCOMPARE(listViaDefinitions().size(), std::size_t(2));
        hud.addDroppedDefinitions({QUrl::fromLocalFile(QString::fromStdString(junk.string()))});
        QVERIFY(store.toastIsError());
        QVERIFY(QString::fromStdString(store.toastMessage().value_or("")).startsWith("Not a usable VIA definition"));
        QCOMPARE(listViaDefinitions().size(), std::size_t(2));
    }
};

QTEST_MAIN(LayoutViewTest)
#include "LayoutViewTest.moc"
