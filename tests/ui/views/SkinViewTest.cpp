#include "support/HudFixture.h"
#include "support/ScreenshotSupport.h"

#include "platform/Paths.h"
#include "skins/SkinGeometry.h"
#include "ui/AluminumChassis.h"
#include "ui/DeckView.h"
#include "ui/HardwareStudioSkinView.h"
#include "ui/SculptedKeycap.h"
#include "ui/views/GenericDeviceCard.h"
#include "ui/views/HUDRootView.h"

#include <QMenu>
#include <QTest>
#include <QToolButton>
#include <QVariantAnimation>

#include <filesystem>

using namespace keyglass;
using namespace keyglass::test;
namespace fs = std::filesystem;

namespace {

void showAtPreferredSize(HUDRootView& hud, PadStore& store)
{
    const PreferredSize size = store.preferredSize();
    hud.resize(size.width, size.height);
    hud.show();
    QVERIFY(QTest::qWaitForWindowExposed(&hud));
}

// A user skin whose only image is missing.
const char* const MissingImageSkin = R"({"id": "mine", "name": "Mine", "aspectRatio": 2.0,
            "colorways": [{"id": "gone", "name": "Gone", "swatchHex": "#000000", "imageFile": "gone.png",
                           "lightKeycaps": false}],
            "keys": [], "encoders": [], "leds": []})";

QPoint centreOf(const QRectF& r)
{
    return r.center().toPoint();
}

QImage renderView(QWidget& view)
{
    QImage image(view.size(), QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    view.render(&image);
    return image;
}

} // namespace

class SkinViewTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { forgetLoggedSkinLookups(); }

    void cardOffersTheShippedSkinsAndShowsEachColorway()
    {
        struct Pad
        {
            const char* config;
            const char* id;
            std::vector<std::pair<std::string, QString>> colorways;
        };
        for (const Pad& pad :
             std::vector<Pad>{{"quadgrid", QuadgridID, {{"graphite", "Graphite"}, {"arctic", "Arctic"}}},
                              {"solodial", SolodialID, {{"obsidian", "Obsidian"}, {"copper", "Copper"}}}}) {
            HudFixture f;
            f.addPad(pad.config);
            PadStore& store = f.makeStore();
            HUDRootView hud(store);
            showAtPreferredSize(hud, store);
            GenericDeviceCard* card = hud.card();

            QVERIFY(card->skinControls()->isVisible());
            QCOMPARE(card->studioButton()->text(), QString("3D Studio"));
            QCOMPARE(card->deckButton()->text(), QString("2D Deck"));
            QCOMPARE(card->skinsFolderButton()->toolTip(),
                     QString("Open Skins folder to drop in custom OEM colorway PNGs + skin.json"));
            const auto actions = card->colorwayMenu()->actions();
            QCOMPARE(actions.size(), qsizetype(pad.colorways.size()));
            for (std::size_t i = 0; i < pad.colorways.size(); ++i)
                QCOMPARE(actions[qsizetype(i)]->text(), "Hardware colorway: " + pad.colorways[i].second);

            // The drawn deck until the studio is chosen.
            QVERIFY(!card->useStudioSkin());
            QVERIFY(!card->studioView()->isVisible());
            QTest::mouseClick(card->studioButton(), Qt::LeftButton);
            QVERIFY(card->useStudioSkin());
            QVERIFY(card->studioView()->isVisible());
            QVERIFY(!card->deck()->isVisible());

            HardwareStudioSkinView* view = card->studioView();
            const double aspect = view->skin().manifest.aspectRatio;
            QVERIFY(std::abs(view->imageRect().width() / view->imageRect().height() - aspect) < 0.02);
            saveScreenshot(hud, QString("skin-%1-hud").arg(pad.config));
            for (std::size_t i = 0; i < pad.colorways.size(); ++i) {
                actions[qsizetype(i)]->trigger();
                QCOMPARE(card->selectedColorwayID(), pad.colorways[i].first);
                QCOMPARE(view->colorwayID(), pad.colorways[i].first);
                if (i > 0) {
                    // A new colorway fades in over 0.22 s, easing in and out.
                    QVERIFY(view->isCrossFading());
                    QCOMPARE(view->crossFade()->duration(), 220);
                    QCOMPARE(view->crossFade()->easingCurve().type(), QEasingCurve::InOutQuad);
                    view->finishCrossFade();
                }
                QVERIFY(view->imageLoaded());
                // The shipped photographs stay sharp on a 2x display.
                const QImage photo(QString::fromStdString(
                    colorwayImagePath(view->skin().folder, view->skin().manifest.colorways[i])->string()));
                QVERIFY(photo.width() >= 2 * view->imageRect().width());
                saveScreenshot(*view,
                               QString("skin-%1-%2").arg(pad.config, QString::fromStdString(pad.colorways[i].first)));
            }

            // Back to the deck; the choice of colorway stays with the card.
            QTest::mouseClick(card->deckButton(), Qt::LeftButton);
            QVERIFY(!card->studioView()->isVisible());
            QVERIFY(card->deck()->isVisible());
            QCOMPARE(card->selectedColorwayID(), pad.colorways.back().first);
        }
    }

    void labelsSitOnThePhotographedKeysAndFollowTheStore()
    {
        HudFixture f;
        f.addPad("quadgrid");
        PadStore& store = f.makeStore();
        HUDRootView hud(store);
        showAtPreferredSize(hud, store);
        hud.card()->setUseStudioSkin(true);
        HardwareStudioSkinView* view = hud.card()->studioView();
        const DeviceModel& device = *store.device(QuadgridID);

        QCOMPARE(view->keyLabels().size(), std::size_t(16));
        const QRectF image = view->imageRect();
        for (const auto& slot : view->skin().manifest.keys) {
            SkinKeyLabel* label = view->keyLabel(slot.row, slot.col);
            QVERIFY(label);
            const SkinRect r = skinKeyRect(slot, image.width(), image.height());
            QVERIFY(std::abs(label->geometry().center().x() - (image.x() + r.centerX())) <= 1.0);
            QVERIFY(std::abs(label->geometry().center().y() - (image.y() + r.centerY())) <= 1.0);
            QCOMPARE(label->action(), store.keyAction(device, device.activeLayer, slot.row, slot.col));
        }
        // Knob 0 pushes at (4,0): its centre shows that key's label.
        QCOMPARE(view->encoderTitle(0), QString::fromStdString(store.keyAction(device, 0, 4, 0).title));
        QVERIFY(view->encoderTurns(0).contains(QString::fromStdString(store.encoderAction(device, 0, 0, true).title)));

        // The layer button cycles the shown layer and wraps after the last.
        const QPoint button = centreOf(view->layerButtonRect());
        for (int expected : {1, 2, 3, 0}) {
            QTest::mouseClick(view, Qt::LeftButton, {}, button);
            QCOMPARE(store.device(QuadgridID)->activeLayer, expected);
        }
        store.setActiveLayer(1, QuadgridID);
        const DeviceModel& onLayer1 = *store.device(QuadgridID);
        QCOMPARE(view->keyLabel(0, 0)->action(), store.keyAction(onLayer1, 1, 0, 0));
    }

    void liveInputLightsTheKeyAndLockedKeysSayHowToUnlock()
    {
        HudFixture f;
        f.addPad("quadgrid");
        PadStore& store = f.makeStore();
        GenericDeviceCard card(store);
        card.setMaximumDeckWidth(560);
        card.setUseStudioSkin(true);
        DeviceModel device = *store.device(QuadgridID);
        device.flashTarget = "k-1-2";
        device.protectedLayerCells.insert(layerCellKey(0, 3, 3));
        // A preset's caption wins over the keycode's own title, as on the deck.
        device.presetOverlay = PresetLabelOverlay{};
        device.presetOverlay->keyLabels["0,2,1"] = PresetSlotLabel{device.keycodeAt(0, 2, 1), "Deploy"};
        card.sync(device);
        HardwareStudioSkinView* view = card.studioView();
        QCOMPARE(view->keyLabel(2, 1)->action().title, std::string("Deploy"));
        QVERIFY(view->keyLabel(1, 2)->isLit());
        QVERIFY(!view->keyLabel(1, 1)->isLit());
        QVERIFY(view->keyLabel(3, 3)->toolTip().endsWith(
            QString::fromUtf8(" — Firmware-custom key locked (click in Edit mode to unlock)")));
        QCOMPARE(view->keyLabel(3, 3)->toolTip(), SculptedKeycap::toolTipFor(view->keyLabel(3, 3)->action(), true));
        card.resize(card.sizeHint());
        saveScreenshot(*view, "skin-quadgrid-key-lit");

        device.flashTarget = "e-1-cw";
        card.sync(device);
        QVERIFY(view->encoderLit(1, "cw"));
        QVERIFY(!view->keyLabel(1, 2)->isLit());
    }

    void editModeClicksOpenThePickerLikeTheDeck()
    {
        HudFixture f;
        f.addPad("quadgrid");
        PadStore& store = f.makeStore();
        HUDRootView hud(store);
        showAtPreferredSize(hud, store);
        hud.card()->setUseStudioSkin(true);
        HardwareStudioSkinView* view = hud.card()->studioView();

        QTest::mouseClick(view->keyLabel(1, 2), Qt::LeftButton);
        QVERIFY(!store.editingTarget().has_value());

        store.setEditMode(true);
        QVERIFY(view->keyLabel(1, 2)->isEditable());
        QTest::mouseClick(view->keyLabel(1, 2), Qt::LeftButton);
        QVERIFY(store.editingTarget() && store.editingTarget()->key());
        QCOMPARE(std::make_tuple(store.editingTarget()->key()->row, store.editingTarget()->key()->col),
                 std::make_tuple(1, 2));
        store.clearEditingTarget();

        // Right half of a knob turns clockwise, left half counter-clockwise, the middle pushes.
        const QRectF knob = view->encoderRect(1);
        QTest::mouseClick(
            view, Qt::LeftButton, {}, QPoint(int(knob.right() - knob.width() * 0.2), int(knob.center().y())));
        QVERIFY(store.editingTarget() && store.editingTarget()->encoder());
        QCOMPARE(store.editingTarget()->encoder()->index, 1);
        QCOMPARE(store.editingTarget()->encoder()->cw, true);
        store.clearEditingTarget();
        QTest::mouseClick(
            view, Qt::LeftButton, {}, QPoint(int(knob.left() + knob.width() * 0.2), int(knob.center().y())));
        QVERIFY(store.editingTarget() && store.editingTarget()->encoder());
        QCOMPARE(store.editingTarget()->encoder()->cw, false);
        store.clearEditingTarget();
        // The flush wheel rolls: its upper half is clockwise.
        const QRectF wheel = view->encoderRect(2);
        for (const auto& [y, cw] : {std::pair{wheel.top() + wheel.height() * 0.15, true},
                                    std::pair{wheel.bottom() - wheel.height() * 0.15, false}}) {
            QTest::mouseClick(view, Qt::LeftButton, {}, QPoint(int(wheel.center().x()), int(y)));
            QVERIFY(store.editingTarget() && store.editingTarget()->encoder());
            QCOMPARE(store.editingTarget()->encoder()->index, 2);
            QCOMPARE(store.editingTarget()->encoder()->cw, cw);
            store.clearEditingTarget();
        }
        QTest::mouseClick(view, Qt::LeftButton, {}, centreOf(knob));
        QVERIFY(store.editingTarget() && store.editingTarget()->key());
        QCOMPARE(std::make_tuple(store.editingTarget()->key()->row, store.editingTarget()->key()->col),
                 std::make_tuple(4, 1));
    }

    void theSkinsFolderButtonCreatesAndOpensTheFolder()
    {
        HudFixture f;
        f.addPad("solodial");
        PadStore& store = f.makeStore();
        HUDRootView hud(store);
        showAtPreferredSize(hud, store);
        QVERIFY(!fs::exists(paths::userSkinsDir()));
        QTest::mouseClick(hud.card()->skinsFolderButton(), Qt::LeftButton);
        QVERIFY(fs::is_directory(paths::userSkinsDir()));
        QCOMPARE(f.desktop.foldersOpened.size(), std::size_t(1));
        QCOMPARE(f.desktop.foldersOpened[0], paths::userSkinsDir());
    }

    void aUserSkinWinsAndAMissingImageShowsTheSolidFill()
    {
        HudFixture f;
        f.addPad("quadgrid");
        // A user skin in the folder named by the device id, whose image is missing.
        const fs::path folder = paths::userSkinsDir() / "1A86_FE16";
        fs::create_directories(folder);
        writeText(folder / "skin.json", MissingImageSkin);
        PadStore& store = f.makeStore();
        GenericDeviceCard card(store);
        card.setMaximumDeckWidth(420);
        card.setUseStudioSkin(true);
        card.sync(*store.device(QuadgridID));
        HardwareStudioSkinView* view = card.studioView();
        QCOMPARE(view->skin().manifest.id, std::string("mine"));
        QVERIFY(!view->imageLoaded());
        view->resize(view->sizeHint());
        const QImage shot = renderView(*view);
        const QColor fill = shot.pixelColor(centreOf(view->imageRect()));
        QCOMPARE(fill.red(), 20);   // 0.08
        QCOMPARE(fill.green(), 23); // 0.09
        QCOMPARE(fill.blue(), 28);  // 0.11
    }
};

QTEST_MAIN(SkinViewTest)
#include "SkinViewTest.moc"
