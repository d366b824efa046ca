#include "ui/DeckView.h"

#include "ui/FlashTarget.h"
#include "ui/MachinedKnobDial.h"
#include "ui/SculptedKeycap.h"

#include <cmath>

namespace keyglass {

namespace {

std::vector<bool> knobSwitchCells(const std::vector<PhysicalKey>& keys, const std::vector<PhysicalEncoder>& encoders)
{
    // A knob's push switch is drawn as the knob's face, not as a separate cap.
    std::vector<bool> hidden(keys.size(), false);
    for (std::size_t i = 0; i < keys.size(); ++i)
        for (const auto& e : encoders)
            if (e.hasClick() && *e.clickRow == keys[i].row && *e.clickCol == keys[i].col)
                hidden[i] = true;
    return hidden;
}

} // namespace

DeckView::DeckView(QWidget* parent) : QWidget(parent)
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void DeckView::setMaximumDeckWidth(int width)
{
    m_maxWidth = std::max(120, width);
}

QSize DeckView::sizeHint() const
{
    return QSize(int(std::ceil(m_layout.width)), int(std::ceil(m_layout.height)));
}

SculptedKeycap* DeckView::keycap(int row, int col) const
{
    for (std::size_t i = 0; i < m_keys.size(); ++i)
        if (m_keys[i].row == row && m_keys[i].col == col && m_caps[i])
            return m_caps[i];
    return nullptr;
}

MachinedKnobDial* DeckView::knob(int index) const
{
    for (std::size_t i = 0; i < m_encoders.size(); ++i)
        if (m_encoders[i].id == index)
            return m_knobs[i];
    return nullptr;
}

void DeckView::rebuild(const DeviceModel& device)
{
    // deleteLater: the rebuild may run inside a signal of one of these widgets.
    for (auto* cap : m_caps)
        if (cap) {
            cap->hide();
            cap->deleteLater();
        }
    for (auto* knob : m_knobs) {
        knob->hide();
        knob->deleteLater();
    }
    m_caps.clear();
    m_knobs.clear();
    m_deviceID = device.id;
    m_keys = device.keys;
    m_encoders = device.encoders;
    m_builtForWidth = m_maxWidth;

    const auto hidden = knobSwitchCells(m_keys, m_encoders);
    // Largest unit that fits the width we were given, so small pads get generous caps.
    for (double unit = 68; unit >= 36; unit -= 2) {
        m_metrics = DeckMetrics{};
        m_metrics.unit = unit;
        m_metrics.gap = std::max(4.0, unit * 0.09);
        m_metrics.knobDiameter = std::min(84.0, unit * 1.22);
        m_layout = layoutDeck(m_keys, hidden, m_encoders.size(), m_metrics);
        if (m_layout.width <= m_maxWidth)
            break;
    }

    m_caps.assign(m_keys.size(), nullptr);
    for (std::size_t i = 0; i < m_keys.size(); ++i) {
        const DeckRect& r = m_layout.keys[i];
        if (r.w <= 0 || r.h <= 0)
            continue;
        auto* cap = new SculptedKeycap(this);
        const KeyShape& shape = m_layout.shapes[i];
        if (shape.rotated() || shape.secondary) {
            // The widget covers the rectangle around the drawn cap; the cap itself is drawn and hit
            // inside it, in the widget's own coordinates.
            const int left = int(std::floor(r.x)), top = int(std::floor(r.y));
            cap->setGeometry(left, top, int(std::ceil(r.right())) - left, int(std::ceil(r.bottom())) - top);
            const KeyShape local = shape.translated(-left, -top);
            auto toQt = [](const DeckRect& d) { return QRectF(d.x, d.y, d.w, d.h); };
            std::optional<QRectF> second;
            if (local.secondary)
                second = toQt(*local.secondary);
            cap->setShape(toQt(local.primary), second, local.angle, QPointF(local.originX, local.originY));
        } else {
            cap->setGeometry(
                int(std::lround(r.x)), int(std::lround(r.y)), int(std::lround(r.w)), int(std::lround(r.h)));
        }
        const int row = m_keys[i].row, col = m_keys[i].col;
        connect(cap, &SculptedKeycap::tapped, this, [this, row, col](Qt::KeyboardModifiers mods) {
            emit keyTapped(row, col, mods);
        });
        cap->show();
        m_caps[i] = cap;
    }
    for (std::size_t e = 0; e < m_encoders.size(); ++e) {
        const DeckRect& r = m_layout.knobs[e];
        auto* knob = new MachinedKnobDial(this);
        knob->setLarge(m_layout.largeKnob, m_metrics);
        knob->setGeometry(int(std::lround(r.x)), int(std::lround(r.y)), int(std::lround(r.w)), int(std::lround(r.h)));
        const int index = m_encoders[e].id;
        connect(knob, &MachinedKnobDial::ccwTapped, this, [this, index](Qt::KeyboardModifiers mods) {
            emit encoderTapped(index, false, mods);
        });
        connect(knob, &MachinedKnobDial::cwTapped, this, [this, index](Qt::KeyboardModifiers mods) {
            emit encoderTapped(index, true, mods);
        });
        connect(knob, &MachinedKnobDial::centerTapped, this, [this, index](Qt::KeyboardModifiers mods) {
            emit knobCenterTapped(index, mods);
        });
        connect(knob, &MachinedKnobDial::wheelTurned, this, [this, index](bool cw, Qt::KeyboardModifiers mods) {
            emit knobWheel(index, cw, mods);
        });
        knob->show();
        m_knobs.push_back(knob);
    }
    setFixedSize(sizeHint());
    updateGeometry();
}

void DeckView::setDevice(const DeviceModel& device, const Labels& labels, bool editable, const QColor& accent)
{
    if (device.id != m_deviceID || device.keys != m_keys || device.encoders != m_encoders ||
        m_builtForWidth != m_maxWidth)
        rebuild(device);

    const int layer = device.activeLayer;
    for (std::size_t i = 0; i < m_keys.size(); ++i) {
        SculptedKeycap* cap = m_caps[i];
        if (!cap)
            continue;
        const int row = m_keys[i].row, col = m_keys[i].col;
        if (labels.key)
            cap->setAction(labels.key(row, col));
        cap->setAccentColor(accent);
        cap->setEditable(editable);
        cap->setLocked(device.protectedLayerCells.count(layerCellKey(layer, row, col)) > 0);
        cap->setLit(flashHitsKey(device.flashTarget, row, col));
    }
    for (std::size_t e = 0; e < m_encoders.size(); ++e) {
        const PhysicalEncoder& enc = m_encoders[e];
        MachinedKnobDial* knob = m_knobs[e];
        knob->setCenterIsButton(enc.hasClick());
        if (enc.hasClick() && labels.key) {
            knob->setCenterText(QString::fromStdString(labels.key(*enc.clickRow, *enc.clickCol).title), "Press");
        } else {
            const QString name =
                enc.name.empty() ? "Knob " + QString::number(enc.id + 1) : QString::fromStdString(enc.name);
            knob->setCenterText(name, "Wheel");
        }
        if (labels.encoder)
            knob->setDirectionTitles(QString::fromStdString(labels.encoder(enc.id, false).title),
                                     QString::fromStdString(labels.encoder(enc.id, true).title));
        knob->setAccentColor(accent);
        knob->setEditable(editable);
        knob->setLit(flashHitsEncoder(device.flashTarget, enc.id, "ccw"),
                     flashHitsEncoder(device.flashTarget, enc.id, "cw"),
                     enc.hasClick() && flashHitsEncoder(device.flashTarget, enc.id, "click"));
    }
}

} // namespace keyglass
