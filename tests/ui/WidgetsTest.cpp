#include "support/TempHome.h"
#include "ui/AluminumChassis.h"
#include "ui/DeckView.h"
#include "ui/HudStyle.h"
#include "ui/KeycapGeometry.h"
#include "ui/MachinedKnobDial.h"
#include "ui/RGBControlSection.h"
#include "ui/SculptedKeycap.h"
#include "ui/StatusDot.h"
#include "ui/TapDanceRow.h"

#include "support/ScreenshotSupport.h"

#include <QDir>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>
#include <QToolButton>
#include <cmath>

using namespace keyglass;

namespace {

std::vector<PhysicalKey> grid(int rows, int cols)
{
    std::vector<PhysicalKey> keys;
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c)
            keys.push_back(PhysicalKey{"r" + std::to_string(r) + "c" + std::to_string(c), r, c, double(c), double(r)});
    return keys;
}

DeviceModel gridDevice(int rows, int cols, int encoders)
{
    DeviceModel d;
    d.id = "1A86:FE16";
    d.product = "Quadgrid";
    d.connected = true;
    d.rows = rows;
    d.cols = cols;
    d.layerCount = 2;
    d.keys = grid(rows, cols);
    for (int e = 0; e < encoders; ++e)
        d.encoders.push_back(PhysicalEncoder{e, "", std::nullopt, std::nullopt});
    return d;
}

DeckView::Labels plainLabels()
{
    DeckView::Labels labels;
    labels.key = [](int row, int col) {
        return KeyAction{0x04, "K" + std::to_string(row) + std::to_string(col), "KC_A", false, false};
    };
    labels.encoder = [](int index, bool cw) {
        return KeyAction{0, (cw ? "Up " : "Down ") + std::to_string(index), "", false, false};
    };
    return labels;
}

QPoint centerOf(const DeckRect& r)
{
    return QPoint(int(r.centerX()), int(r.centerY()));
}

RGBState rgb(std::uint8_t effect, std::uint8_t brightness, std::uint8_t hue, std::uint8_t sat)
{
    RGBState s;
    s.kind = RGBProtocolKind::qmkRgblight;
    s.effect = effect;
    s.brightness = brightness;
    s.hue = hue;
    s.sat = sat;
    return s;
}

double relativeLuminance(const QColor& c)
{
    auto channel = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
    return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
}

double contrast(const QColor& a, const QColor& b)
{
    const double la = relativeLuminance(a), lb = relativeLuminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

} // namespace

class WidgetsTest : public QObject
{
    Q_OBJECT

private slots:
    // Every text colour a user reads keeps 4.5:1 against both ends of the panel gradient.
    void readableTextColoursContrastWithThePanel()
    {
        for (const QColor& ink : {hud::textPrimary(),
                                  hud::textSecondary(),
                                  hud::textTertiary(),
                                  hud::errorOrange(),
                                  hud::liveGreen(),
                                  hud::defaultAccent()})
            for (const QColor& panel : {hud::panelTop(), hud::panelBottom()})
                QVERIFY2(contrast(ink, panel) >= 4.5,
                         qPrintable(ink.name() + " on " + panel.name() + ": " + QString::number(contrast(ink, panel))));
    }

    // "Scroll Up" and "Scroll Down" must not both end up as "Scroll…": the text shrinks first.
    void knobPillsShrinkBeforeTheyElide()
    {
        const QString caption = "Scroll Down";
        QCOMPARE(pillPointSize("Up", 200), PillLargestPointSize);
        const qreal atLargest =
            QFontMetricsF(hud::uiFont(PillLargestPointSize, QFont::DemiBold)).horizontalAdvance(caption);
        const qreal atSmallest =
            QFontMetricsF(hud::uiFont(PillSmallestPointSize, QFont::DemiBold)).horizontalAdvance(caption);
        QVERIFY(atSmallest < atLargest);
        const qreal between = (atLargest + atSmallest) / 2;
        const qreal size = pillPointSize(caption, between);
        QVERIFY(size < PillLargestPointSize && size >= PillSmallestPointSize);
        QVERIFY(QFontMetricsF(hud::uiFont(size, QFont::DemiBold)).horizontalAdvance(caption) <= between);
        QCOMPARE(pillPointSize(caption, 10), PillSmallestPointSize);

        // Where even the smallest text does not fit, the two directions still read differently.
        const QFontMetricsF fm(hud::uiFont(PillSmallestPointSize, QFont::DemiBold));
        const qreal narrow = fm.horizontalAdvance("Scroll") + 2;
        const QString down = pillCaption("Scroll Down", "Scroll Up", fm, narrow);
        const QString up = pillCaption("Scroll Up", "Scroll Down", fm, narrow);
        QVERIFY2(down != up, qPrintable(down + " / " + up));
        QVERIFY(down.endsWith("n") && up.endsWith("Up"));
        QCOMPARE(pillCaption("Vol Up", "Vol Down", fm, 500), QString("Vol Up"));
    }

    void geometryPlacesKeysByUnitsAndHitTestsTheSameRects()
    {
        DeckMetrics m;
        m.unit = 60;
        m.gap = 6;
        const PhysicalKey wide{"r1c0", 1, 0, 0.0, 1.0, 2.25, 1.0};
        QCOMPARE(keyRect(wide, m), (DeckRect{3, 63, 129, 54}));

        const auto keys = grid(2, 3);
        const DeckLayout layout = layoutDeck(keys, {}, 0, m);
        QCOMPARE(layout.width, 180.0);
        QCOMPARE(layout.height, 120.0);
        for (std::size_t i = 0; i < keys.size(); ++i) {
            const auto hit = keyAt(layout, layout.keys[i].centerX(), layout.keys[i].centerY());
            QVERIFY(hit.has_value());
            QCOMPARE(*hit, i);
        }
        // The gap between two caps belongs to neither.
        QVERIFY(!keyAt(layout, 60.0, 30.0).has_value());
    }

    void geometrySkipsDecalsAndKnobSwitchesAndPicksTheKnobArrangement()
    {
        DeckMetrics m;
        auto keys = grid(4, 4);
        keys[5].decal = true;
        std::vector<bool> hidden(keys.size(), false);
        hidden[0] = true;
        const DeckLayout column = layoutDeck(keys, hidden, 3, m);
        QCOMPARE(column.keys[5], DeckRect{});
        QCOMPARE(column.keys[0].w, 0.0);
        QCOMPARE(column.knobs.size(), std::size_t(3));
        QVERIFY(!column.largeKnob);
        // A narrow grid keeps its knobs in a column to the right of the keys.
        for (const auto& k : column.knobs)
            QVERIFY(k.x >= column.keys[3].right());
        QVERIFY(column.knobs[1].y > column.knobs[0].bottom() - 0.001);

        const DeckLayout solo = layoutDeck(grid(1, 2), {}, 1, m);
        QVERIFY(solo.largeKnob);
        QVERIFY(solo.keys[0].y > solo.knobs[0].bottom());

        const DeckLayout board = layoutDeck(grid(5, 15), {}, 2, m);
        QVERIFY(!board.largeKnob);
        QVERIFY(board.keys[0].y > board.knobs[0].bottom());
        QCOMPARE(board.width, 15 * m.unit);

        const DeckLayout knobsOnly = layoutDeck({}, {}, 2, m);
        QCOMPARE(knobsOnly.knobs.size(), std::size_t(2));
        QVERIFY(knobsOnly.width > 0);
    }

    void knobZonesSeparateDirectionsFromTheDial()
    {
        DeckMetrics m;
        const DeckRect cell{0, 0, 110, m.knobDiameter + 6 + m.knobChipHeight};
        const KnobZones z = knobZones(cell, false, m);
        QCOMPARE(knobZoneAt(z, z.ccw.centerX(), z.ccw.centerY(), true), KnobZone::ccw);
        QCOMPARE(knobZoneAt(z, z.cw.centerX(), z.cw.centerY(), true), KnobZone::cw);
        QCOMPARE(knobZoneAt(z, z.dial.centerX(), z.dial.centerY(), true), KnobZone::center);
        QCOMPARE(knobZoneAt(z, z.dial.centerX(), z.dial.centerY(), false), KnobZone::none);
        // The dial's bounding-box corner is outside the round face.
        QCOMPARE(knobZoneAt(z, z.dial.x + 1, z.dial.y + 1, true), KnobZone::none);
    }

    void keycapTooltipNamesALockedKeyAndTapsCarryModifiers()
    {
        SculptedKeycap cap;
        cap.resize(60, 60);
        cap.setAction(KeyAction{0x7E40, "Custom 0", "0x7E40", false, false});
        QCOMPARE(cap.toolTip(), QString("Custom 0 (0x7E40)"));
        cap.setLocked(true);
        QCOMPARE(cap.toolTip(),
                 QString::fromUtf8("Custom 0 (0x7E40) — Firmware-custom key locked (click in Edit mode to unlock)"));
        cap.setLocked(false);
        QVERIFY(!cap.toolTip().contains("locked"));

        QSignalSpy spy(&cap, &SculptedKeycap::tapped);
        QTest::mouseClick(&cap, Qt::LeftButton, Qt::AltModifier, QPoint(30, 30));
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(0).value<Qt::KeyboardModifiers>(), Qt::KeyboardModifiers(Qt::AltModifier));
    }

    void knobClicksReachTheirZoneOnlyAndClickLightNeedsASwitch()
    {
        DeckMetrics m;
        MachinedKnobDial knob;
        knob.setLarge(false, m);
        knob.resize(110, int(m.knobDiameter + 6 + m.knobChipHeight));
        QSignalSpy ccw(&knob, &MachinedKnobDial::ccwTapped);
        QSignalSpy cw(&knob, &MachinedKnobDial::cwTapped);
        QSignalSpy center(&knob, &MachinedKnobDial::centerTapped);
        const KnobZones z = knob.zones();

        QTest::mouseClick(&knob, Qt::LeftButton, {}, centerOf(z.dial));
        QCOMPARE(center.count(), 0);
        knob.setLit(false, false, true);
        QVERIFY(!knob.litClick());

        knob.setCenterIsButton(true);
        QTest::mouseClick(&knob, Qt::LeftButton, {}, centerOf(z.dial));
        QTest::mouseClick(&knob, Qt::LeftButton, {}, centerOf(z.ccw));
        QTest::mouseClick(&knob, Qt::LeftButton, {}, centerOf(z.cw));
        QTest::mouseClick(&knob, Qt::LeftButton, {}, centerOf(z.cw));
        QCOMPARE(center.count(), 1);
        QCOMPARE(ccw.count(), 1);
        QCOMPARE(cw.count(), 2);
    }

    void tapDanceBadgesAndTitle()
    {
        QCOMPARE(TapDanceRow::badgeForSlot(0), QString::fromUtf8("1× Tap"));
        QCOMPARE(TapDanceRow::badgeForSlot(1), QString("Hold"));
        QCOMPARE(TapDanceRow::badgeForSlot(2), QString::fromUtf8("2× Tap"));
        QCOMPARE(TapDanceRow::badgeForSlot(3), QString("Tap+Hold"));
        QCOMPARE(TapDanceRow::badgeForSlot(4), QString());
        QCOMPARE(TapDanceRow::sectionTitle(2), QString("CLICK ACTIONS (TAP DANCE 2)"));
    }

    void statusDotWords()
    {
        QCOMPARE(StatusDot::word(false, true), QString("Offline"));
        QCOMPARE(StatusDot::word(true, true), QString("Live"));
        QCOMPARE(StatusDot::word(true, false), QString("USB"));
    }

    void lightingOffShowsStruckBulbAndNoSwatch()
    {
        RGBControlSection section;
        section.setState(rgb(0, 200, 0, 255), true, {{1, "Solid"}});
        QCOMPARE(section.toggleButton()->toolTip(), QString("Turn lighting on"));
        QCOMPARE(section.toggleButton()->property("lit").toBool(), false);
        for (int i = 0; i < 8; ++i)
            QVERIFY(!section.isSwatchShownSelected(i));

        section.setState(rgb(1, 200, 0, 255), true, {{1, "Solid"}});
        QCOMPARE(section.toggleButton()->toolTip(), QString("Turn lighting off"));
        QVERIFY(section.isSwatchShownSelected(1));
        // Brightness 0 is off too.
        section.setState(rgb(1, 0, 0, 255), true, {{1, "Solid"}});
        QCOMPARE(section.toggleButton()->toolTip(), QString("Turn lighting on"));
    }

    void effectLabelFallsBackToTheNumber()
    {
        const RGBControlSection::Effects effects{{0, "Off"}, {1, "Solid"}, {2, "Breathing"}};
        QCOMPARE(RGBControlSection::effectLabel(rgb(2, 100, 0, 0), effects), QString("Breathing"));
        QCOMPARE(RGBControlSection::effectLabel(rgb(7, 100, 0, 0), effects), QString("Effect 7"));
        RGBControlSection section;
        section.setState(rgb(7, 100, 0, 0), true, effects);
        QCOMPARE(section.effectButton()->text(), QString("Effect 7"));
    }

    void swatchSelection_data()
    {
        QTest::addColumn<int>("hue");
        QTest::addColumn<int>("sat");
        QTest::addColumn<QString>("swatch");
        QTest::addColumn<bool>("selected");
        QTest::newRow("wraps to red at 250") << 250 << 255 << "red" << true;
        QTest::newRow("red at distance 17") << 239 << 255 << "red" << true;
        QTest::newRow("not red at distance 18") << 238 << 255 << "red" << false;
        QTest::newRow("blue exact") << 170 << 255 << "blue" << true;
        QTest::newRow("white at sat 34, any hue") << 99 << 34 << "white" << true;
        QTest::newRow("not white at sat 35") << 0 << 35 << "white" << false;
        QTest::newRow("red needs saturation") << 0 << 220 << "red" << false;
        QTest::newRow("red within 34 of full") << 0 << 221 << "red" << true;
    }

    void swatchSelection()
    {
        QFETCH(int, hue);
        QFETCH(int, sat);
        QFETCH(QString, swatch);
        QFETCH(bool, selected);
        const auto& list = RGBControlSection::swatches();
        const auto it = std::find_if(list.begin(), list.end(), [&](const RGBSwatch& s) { return s.id == swatch; });
        QVERIFY(it != list.end());
        QCOMPARE(RGBControlSection::swatchSelected(rgb(1, 128, std::uint8_t(hue), std::uint8_t(sat)), *it), selected);

        RGBControlSection section;
        section.setState(rgb(1, 128, std::uint8_t(hue), std::uint8_t(sat)), true, {});
        QCOMPARE(section.isSwatchShownSelected(int(it - list.begin())), selected);
    }

    void sliderRoundsClampsAndShowsPercent()
    {
        RGBControlSection section;
        section.setState(rgb(1, 10, 0, 255), true, {});
        std::vector<int> sent;
        section.onBrightness = [&](std::uint8_t b) { sent.push_back(b); };
        section.dragSliderTo(127.6);
        QCOMPARE(sent, std::vector<int>{128});
        QCOMPARE(section.percentLabel()->text(), QString("50%"));

        QCOMPARE(int(RGBControlSection::brightnessFromSlider(-3.0)), 0);
        QCOMPARE(int(RGBControlSection::brightnessFromSlider(300.0)), 255);
        QCOMPARE(int(RGBControlSection::brightnessFromSlider(254.5)), 255);
        QCOMPARE(int(RGBControlSection::brightnessFromSlider(std::nan(""))), 0);
        QCOMPARE(RGBControlSection::brightnessPercentText(255), QString("100%"));
        QCOMPARE(RGBControlSection::brightnessPercentText(0), QString("0%"));

        // A state pushed by the store does not echo back as a user change.
        section.setState(rgb(1, 200, 0, 255), true, {});
        QCOMPARE(sent.size(), std::size_t(1));
        QCOMPARE(section.percentLabel()->text(), QString("78%"));
    }

    void captionsTooLongForTheCapLoseTheirEndNotTheirStart()
    {
        const QFontMetricsF fm(hud::uiFont(6.5, QFont::DemiBold));
        const qreal narrow = fm.horizontalAdvance("Play/") + 1;
        const QString single = hud::fittedText(fm, narrow, "Play/Pause", 2);
        QVERIFY2(single.startsWith("Pl") && single.endsWith(QChar(0x2026)), qPrintable(single));
        // The other words of the caption stay whole.
        const QString two = hud::fittedText(fm, narrow * 2, "Play/Pause/Stop Media", 2);
        QVERIFY2(two.endsWith("Media") && two.startsWith("Play/"), qPrintable(two));
        QCOMPARE(hud::fittedText(fm, 200, "Volume Up", 2), QString("Volume Up"));
    }

    void speedAndColourRowsFollowTheLightingKind()
    {
        RGBControlSection section;
        section.show();
        std::vector<int> speeds;
        section.onSpeed = [&](std::uint8_t v) { speeds.push_back(v); };

        RGBState matrix = rgb(3, 100, 0, 255);
        matrix.kind = RGBProtocolKind::viaRgbMatrix;
        matrix.speed = 128;
        section.setState(matrix, true, {});
        QVERIFY(section.speedRow()->isVisible());
        QVERIFY(section.colorRow()->isVisible());
        QCOMPARE(section.speedSlider()->value(), 128);
        QVERIFY(speeds.empty()); // a pushed state is not a user change
        section.speedSlider()->setValue(200);
        QCOMPARE(speeds, std::vector<int>{200});

        matrix.kind = RGBProtocolKind::viaLedMatrix; // single-colour LEDs, with a speed
        section.setState(matrix, true, {});
        QVERIFY(section.speedRow()->isVisible());
        QVERIFY(!section.colorRow()->isVisible());

        section.setState(rgb(3, 100, 0, 255), true, {}); // the older dialect keeps its speed to itself
        QVERIFY(!section.speedRow()->isVisible());
        QVERIFY(section.colorRow()->isVisible());
    }

    void swatchAndBulbClicksCallTheirActions()
    {
        RGBControlSection section;
        section.setState(rgb(1, 100, 0, 255), true, {{1, "Solid"}});
        int toggles = 0;
        std::vector<std::pair<int, int>> colors;
        section.onToggle = [&] { ++toggles; };
        section.onColor = [&](std::uint8_t h, std::uint8_t s) { colors.emplace_back(h, s); };
        section.show();
        QTest::mouseClick(section.toggleButton(), Qt::LeftButton);
        QTest::mouseClick(section.swatchButtons()[6], Qt::LeftButton);
        QTest::mouseClick(section.swatchButtons()[0], Qt::LeftButton);
        QCOMPARE(toggles, 1);
        QCOMPARE(colors, (std::vector<std::pair<int, int>>{{170, 255}, {0, 0}}));
        QCOMPARE(section.swatchButtons()[7]->toolTip(), QString("Purple"));
    }

    void flashLightsExactlyTheMatchingControl()
    {
        DeviceModel d = gridDevice(4, 4, 3);
        d.encoders[1].clickRow = 0;
        d.encoders[1].clickCol = 3;
        DeckView deck;
        deck.setMaximumDeckWidth(560);

        auto litCaps = [&] {
            int n = 0;
            for (auto* cap : deck.keycaps())
                n += cap && cap->isLit();
            return n;
        };

        d.activeLayer = 1;
        d.flashTarget = "k-2-1";
        deck.setDevice(d, plainLabels(), false, Qt::cyan);
        QVERIFY(deck.keycap(2, 1)->isLit());
        QCOMPARE(litCaps(), 1);
        QVERIFY(!deck.knob(0)->litCCW() && !deck.knob(0)->litCW());

        d.flashTarget = "e-2-ccw";
        deck.setDevice(d, plainLabels(), false, Qt::cyan);
        QCOMPARE(litCaps(), 0);
        QVERIFY(deck.knob(2)->litCCW());
        QVERIFY(!deck.knob(2)->litCW());
        QVERIFY(!deck.knob(1)->litCCW());

        d.flashTarget = "e-1-click";
        deck.setDevice(d, plainLabels(), false, Qt::cyan);
        QVERIFY(deck.knob(1)->litClick());
        QVERIFY(!deck.knob(1)->litCCW());

        // An encoder without a push switch never lights its centre.
        d.flashTarget = "e-0-click";
        deck.setDevice(d, plainLabels(), false, Qt::cyan);
        QVERIFY(!deck.knob(0)->litClick());

        // "k-1-12" must not light "k-1-1".
        d.flashTarget = "k-1-12";
        deck.setDevice(d, plainLabels(), false, Qt::cyan);
        QCOMPARE(litCaps(), 0);
    }

    void deckClicksLandOnTheKeyDrawnThere()
    {
        DeviceModel d = gridDevice(4, 4, 3);
        d.encoders[0].clickRow = 0;
        d.encoders[0].clickCol = 0;
        d.protectedLayerCells.insert(layerCellKey(0, 3, 3));
        DeckView deck;
        deck.setMaximumDeckWidth(560);
        deck.setDevice(d, plainLabels(), true, Qt::cyan);
        deck.show();

        // The knob's own switch is its face, not a separate cap.
        QVERIFY(deck.keycap(0, 0) == nullptr);
        QVERIFY(deck.keycap(3, 3)->isLocked());
        QVERIFY(!deck.keycap(3, 2)->isLocked());

        QSignalSpy keys(&deck, &DeckView::keyTapped);
        QSignalSpy encoders(&deck, &DeckView::encoderTapped);
        QSignalSpy centers(&deck, &DeckView::knobCenterTapped);
        const DeckLayout& layout = deck.deckLayout();
        for (std::size_t i = 0; i < d.keys.size(); ++i) {
            if (layout.keys[i].w <= 0)
                continue;
            QWidget* target = deck.childAt(centerOf(layout.keys[i]));
            QVERIFY(target);
            QTest::mouseClick(target, Qt::LeftButton, {}, target->mapFrom(&deck, centerOf(layout.keys[i])));
        }
        QCOMPARE(keys.count(), 15);
        QCOMPARE(keys.at(4).at(0).toInt(), d.keys[5].row);
        QCOMPARE(keys.at(4).at(1).toInt(), d.keys[5].col);

        const KnobZones z = knobZones(layout.knobs[0], layout.largeKnob, DeckMetrics{});
        Q_UNUSED(z);
        MachinedKnobDial* knob = deck.knob(0);
        QTest::mouseClick(knob, Qt::LeftButton, {}, centerOf(knob->zones().cw));
        QTest::mouseClick(knob, Qt::LeftButton, {}, centerOf(knob->zones().dial));
        QCOMPARE(encoders.count(), 1);
        QCOMPARE(encoders.at(0).at(0).toInt(), 0);
        QCOMPARE(encoders.at(0).at(1).toBool(), true);
        QCOMPARE(centers.count(), 1);
    }

    void accentFollowsTheLightOrFallsBack()
    {
        const QColor fallback(1, 2, 3);
        RGBState none;
        none.kind = RGBProtocolKind::none;
        QCOMPARE(hud::accentFor(none, fallback), fallback);
        QCOMPARE(hud::accentFor(rgb(1, 100, 0, 255), fallback).hue(), 0);
        QCOMPARE(hud::accentFor(rgb(1, 100, 128, 255), fallback).hue(), 180);
        QVERIFY(hud::accentFor(rgb(1, 100, 128, 10), fallback).saturation() < 40);
    }

    void everySymbolTheViewsUseIsInTheIconSet()
    {
        const QStringList names{"dial.high",
                                "dial.high.fill",
                                "bolt.fill",
                                "bolt.slash",
                                "pencil",
                                "pencil.circle.fill",
                                "pin",
                                "pin.fill",
                                "arrow.clockwise",
                                "arrow.counterclockwise",
                                "power",
                                "keyboard.badge.ellipsis",
                                "square.grid.2x2.fill",
                                "square.and.arrow.down",
                                "arrow.down.doc",
                                "arrow.up.doc",
                                "arrow.uturn.backward",
                                "checkmark.circle.fill",
                                "exclamationmark.triangle.fill",
                                "lightbulb.fill",
                                "lightbulb.slash",
                                "square.stack.3d.up",
                                "chevron.up.chevron.down",
                                "chevron.left",
                                "chevron.right",
                                "xmark"};
        const int cell = 40;
        QImage sheet(cell * 9 * 2, cell * 3 * 2, QImage::Format_ARGB32_Premultiplied);
        sheet.setDevicePixelRatio(2);
        sheet.fill(QColor(0x16, 0x18, 0x1c));
        QPainter p(&sheet);
        for (int i = 0; i < names.size(); ++i) {
            QVERIFY2(hud::hasSymbol(names[i]), qPrintable(names[i]));
            const QPixmap pm = hud::symbolPixmap(names[i], Qt::white, 24, 2.0);
            QVERIFY(!pm.isNull());
            const QImage img = pm.toImage();
            int inked = 0;
            for (int y = 0; y < img.height(); ++y)
                for (int x = 0; x < img.width(); ++x)
                    inked += qAlpha(img.pixel(x, y)) > 200;
            // Drawn, and not a filled square (a broken file renders as nothing or as a block).
            QVERIFY2(inked > 20 && inked < img.width() * img.height() * 3 / 4, qPrintable(names[i]));
            p.drawPixmap(QPointF((i % 9) * cell + 8, (i / 9) * cell + 8), pm);
        }
        p.end();
        const QString dir = QStringLiteral(KG_BINARY_DIR) + "/screenshots";
        QDir().mkpath(dir);
        QVERIFY(sheet.save(dir + "/icon-set.png"));
        QVERIFY(!hud::hasSymbol("no.such.symbol"));
        QVERIFY(hud::symbol("no.such.symbol", Qt::white).isNull());
    }

    void paintedDeckScreenshot()
    {
        keyglass::test::TempHome home;
        DeviceModel d = gridDevice(4, 4, 3);
        d.rgb = rgb(1, 180, 170, 255);
        d.flashTarget = "k-1-2";
        AluminumChassis chassis;
        chassis.setRgb(d.rgb);
        auto* deck = new DeckView;
        deck->setMaximumDeckWidth(520);
        deck->setDevice(d, plainLabels(), false, chassis.accentColor());
        chassis.setContent(deck);
        chassis.resize(chassis.sizeHint());
        chassis.show();
        QVERIFY(QTest::qWaitForWindowExposed(&chassis));
        QVERIFY(QFile::exists(keyglass::test::saveScreenshot(chassis, "deck-quadgrid-2x", 2.0)));
    }
};

QTEST_MAIN(WidgetsTest)
#include "WidgetsTest.moc"
