#include "ui/MachinedKnobDial.h"

#include "ui/HudStyle.h"

#include <QConicalGradient>
#include <QFontMetricsF>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QWheelEvent>

#include <cmath>

namespace keyglass {

MachinedKnobDial::MachinedKnobDial(QWidget* parent) : QWidget(parent), m_accent(hud::defaultAccent())
{
    setMouseTracking(true);
}

void MachinedKnobDial::setLarge(bool large, const DeckMetrics& metrics)
{
    m_large = large;
    m_metrics = metrics;
    update();
}

void MachinedKnobDial::setCenterText(const QString& title, const QString& subtitle)
{
    if (title == m_centerTitle && subtitle == m_centerSubtitle)
        return;
    m_centerTitle = title;
    m_centerSubtitle = subtitle;
    update();
}

void MachinedKnobDial::setDirectionTitles(const QString& ccw, const QString& cw)
{
    if (ccw == m_ccwTitle && cw == m_cwTitle)
        return;
    m_ccwTitle = ccw;
    m_cwTitle = cw;
    setToolTip(QString::fromUtf8("↺ ") + ccw + QString::fromUtf8("   ↻ ") + cw);
    update();
}

void MachinedKnobDial::setAccentColor(const QColor& color)
{
    if (color == m_accent)
        return;
    m_accent = color;
    update();
}

void MachinedKnobDial::setLit(bool ccw, bool cw, bool click)
{
    click = click && m_centerButton;
    if (ccw == m_litCCW && cw == m_litCW && click == m_litClick)
        return;
    m_litCCW = ccw;
    m_litCW = cw;
    m_litClick = click;
    update();
}

void MachinedKnobDial::setEditable(bool editable)
{
    if (editable == m_editable)
        return;
    m_editable = editable;
    update();
}

void MachinedKnobDial::setCenterIsButton(bool button)
{
    m_centerButton = button;
    if (!button)
        m_litClick = false;
    update();
}

KnobZones MachinedKnobDial::zones() const
{
    return knobZones(DeckRect{0, 0, double(width()), double(height())}, m_large, m_metrics);
}

void MachinedKnobDial::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const QPointF pos = event->position();
    m_pressed = knobZoneAt(zones(), pos.x(), pos.y(), m_centerButton);
    update();
}

void MachinedKnobDial::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const QPointF pos = event->position();
    const KnobZone zone = knobZoneAt(zones(), pos.x(), pos.y(), m_centerButton);
    const KnobZone pressed = m_pressed;
    m_pressed = KnobZone::none;
    update();
    if (zone != pressed)
        return;
    switch (zone) {
    case KnobZone::ccw:
        emit ccwTapped(event->modifiers());
        break;
    case KnobZone::cw:
        emit cwTapped(event->modifiers());
        break;
    case KnobZone::center:
        emit centerTapped(event->modifiers());
        break;
    case KnobZone::none:
        break;
    }
}

void MachinedKnobDial::mouseMoveEvent(QMouseEvent* event)
{
    const QPointF pos = event->position();
    const KnobZone zone = knobZoneAt(zones(), pos.x(), pos.y(), m_centerButton);
    if (zone != m_hover) {
        m_hover = zone;
        setCursor(zone != KnobZone::none && m_editable ? Qt::PointingHandCursor : Qt::ArrowCursor);
        update();
    }
}

void MachinedKnobDial::leaveEvent(QEvent*)
{
    m_hover = KnobZone::none;
    m_pressed = KnobZone::none;
    update();
}

void MachinedKnobDial::wheelEvent(QWheelEvent* event)
{
    // One detent is 120 eighths of a degree; trackpads deliver it in smaller pieces.
    m_wheelRemainder += event->angleDelta().y();
    while (std::abs(m_wheelRemainder) >= 120) {
        const bool clockwise = m_wheelRemainder < 0;
        m_wheelRemainder += clockwise ? 120 : -120;
        emit wheelTurned(clockwise, event->modifiers());
    }
    event->accept();
}

void MachinedKnobDial::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    const KnobZones z = zones();
    paintDial(p, QRectF(z.dial.x, z.dial.y, z.dial.w, z.dial.h));
    paintChip(p, QRectF(z.ccw.x, z.ccw.y, z.ccw.w, z.ccw.h), false);
    paintChip(p, QRectF(z.cw.x, z.cw.y, z.cw.w, z.cw.h), true);
}

void MachinedKnobDial::paintDial(QPainter& p, const QRectF& dialRect)
{
    const QRectF dial = dialRect.adjusted(3, 2, -3, -4);
    const QPointF c = dial.center();
    const qreal r = dial.width() / 2;

    // Shadow on the chassis.
    p.setPen(Qt::NoPen);
    for (int i = 6; i >= 1; --i) {
        p.setBrush(QColor(0, 0, 0, 16 + (6 - i) * 6));
        p.drawEllipse(c + QPointF(0, 2.5), r + i * 0.9, r + i * 0.9);
    }

    // Lit directions: an accent arc around the left (counter-clockwise) or right (clockwise) side.
    auto glowArc = [&](int startDeg, int spanDeg, qreal alphaScale) {
        QColor a = m_accent;
        for (int i = 0; i < 4; ++i) {
            a.setAlphaF(std::min(1.0, (0.22 + i * 0.18) * alphaScale));
            p.setPen(QPen(a, 6 - i * 1.3, Qt::SolidLine, Qt::RoundCap));
            const qreal rr = r + 4;
            p.drawArc(QRectF(c.x() - rr, c.y() - rr, 2 * rr, 2 * rr), startDeg * 16, spanDeg * 16);
        }
    };
    if (m_litCCW)
        glowArc(100, 160, 1.0);
    if (m_litCW)
        glowArc(-80, 160, 1.0);

    // Knurled skirt: a conical brushed gradient with fine ridges.
    QConicalGradient metal(c, 90);
    const QColor hi(0xb9, 0xbf, 0xc8), lo(0x4a, 0x4f, 0x58), mid(0x7d, 0x83, 0x8d);
    metal.setColorAt(0.00, hi);
    metal.setColorAt(0.12, mid);
    metal.setColorAt(0.25, lo);
    metal.setColorAt(0.40, mid);
    metal.setColorAt(0.55, hi);
    metal.setColorAt(0.70, lo);
    metal.setColorAt(0.85, mid);
    metal.setColorAt(1.00, hi);
    p.setPen(QPen(QColor(0, 0, 0, 200), 1));
    p.setBrush(metal);
    p.drawEllipse(c, r, r);

    const int ridges = m_large ? 96 : 56;
    for (int i = 0; i < ridges; ++i) {
        const qreal a = 2 * M_PI * i / ridges;
        const QPointF dir(std::cos(a), std::sin(a));
        p.setPen(QPen(QColor(0, 0, 0, i % 2 ? 70 : 40), 1));
        p.drawLine(c + dir * (r - 1.5), c + dir * (r * 0.86));
    }

    // Cap: brushed top with concentric machining rings.
    const qreal capR = r * 0.80;
    QRadialGradient cap(c - QPointF(capR * 0.3, capR * 0.4), capR * 1.5);
    cap.setColorAt(0.0, QColor(0x6b, 0x71, 0x7c));
    cap.setColorAt(0.6, QColor(0x3a, 0x3e, 0x46));
    cap.setColorAt(1.0, QColor(0x23, 0x26, 0x2c));
    p.setPen(QPen(QColor(255, 255, 255, 40), 1));
    p.setBrush(cap);
    p.drawEllipse(c, capR, capR);
    p.setBrush(Qt::NoBrush);
    for (qreal rr = capR - 3; rr > capR * 0.25; rr -= m_large ? 2.5 : 2.0) {
        p.setPen(QPen(QColor(255, 255, 255, 9), 0.8));
        p.drawEllipse(c, rr, rr);
    }

    // Click glow and hover.
    if (m_litClick || (m_centerButton && m_editable && m_hover == KnobZone::center)) {
        QRadialGradient glow(c, capR);
        QColor a = m_accent;
        a.setAlpha(m_litClick ? 170 : 60);
        glow.setColorAt(0.0, a);
        a.setAlpha(0);
        glow.setColorAt(1.0, a);
        p.setPen(Qt::NoPen);
        p.setBrush(glow);
        p.drawEllipse(c, capR, capR);
    }
    if (m_centerButton && m_editable) {
        QColor ring = m_accent;
        ring.setAlpha(m_hover == KnobZone::center ? 230 : 110);
        p.setPen(QPen(ring, 1.2));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(c, capR + 1.5, capR + 1.5);
    }

    // Indicator notch at twelve o'clock.
    p.setPen(Qt::NoPen);
    p.setBrush(m_accent);
    const qreal notch = m_large ? 3.2 : 2.2;
    p.drawEllipse(QPointF(c.x(), c.y() - capR + notch * 2.6), notch, notch);

    // Centre legend.
    const QRectF text(c.x() - capR * 0.78, c.y() - capR * 0.5, capR * 1.56, capR * 1.0);
    QFont titleFont = hud::uiFont(m_large ? 13 : 8.5, QFont::DemiBold);
    QFontMetricsF fm(titleFont);
    p.setPen(m_litClick ? QColor(255, 255, 255) : hud::textPrimary());
    p.setFont(titleFont);
    const QString title = fm.elidedText(m_centerTitle, Qt::ElideRight, text.width());
    QRectF titleBox = text;
    titleBox.setBottom(text.center().y() + (m_large ? 4 : 2));
    p.drawText(titleBox, Qt::AlignHCenter | Qt::AlignBottom, title);
    if (!m_centerSubtitle.isEmpty() && m_centerSubtitle.compare(m_centerTitle, Qt::CaseInsensitive) != 0) {
        QRectF subBox = text;
        subBox.setTop(titleBox.bottom() + 1);
        p.setFont(hud::uiFont(m_large ? 9 : 7, QFont::Medium));
        p.setPen(hud::textSecondary());
        p.drawText(subBox, Qt::AlignHCenter | Qt::AlignTop, m_centerSubtitle.toUpper());
    }
}

void MachinedKnobDial::paintChip(QPainter& p, const QRectF& chipRect, bool clockwise)
{
    const QRectF chip = chipRect.adjusted(0.5, 0.5, -0.5, -0.5);
    const bool lit = clockwise ? m_litCW : m_litCCW;
    const bool hover = m_editable && m_hover == (clockwise ? KnobZone::cw : KnobZone::ccw);
    const qreal radius = chip.height() / 2;

    QLinearGradient fill(chip.topLeft(), chip.bottomLeft());
    if (lit) {
        fill.setColorAt(0, m_accent.lighter(115));
        fill.setColorAt(1, m_accent.darker(120));
    } else {
        fill.setColorAt(0, QColor(0x34, 0x38, 0x40, hover ? 255 : 230));
        fill.setColorAt(1, QColor(0x24, 0x27, 0x2d, hover ? 255 : 230));
    }
    QColor border = m_editable ? m_accent : QColor(255, 255, 255, 30);
    if (m_editable)
        border.setAlpha(hover ? 230 : 110);
    p.setPen(QPen(border, 1));
    p.setBrush(fill);
    p.drawRoundedRect(chip, radius, radius);

    const QColor ink = lit ? hud::inkOn(m_accent) : hud::textPrimary();
    const qreal iconSize = std::min<qreal>(12, chip.height() - 10);
    const QRectF icon(chip.left() + 7, chip.center().y() - iconSize / 2, iconSize, iconSize);
    hud::paintSymbol(
        p, icon, clockwise ? "arrow.clockwise" : "arrow.counterclockwise", lit ? ink : hud::textSecondary());
    QRectF label = chip.adjusted(iconSize + 11, 0, -6, 0);
    const QString title = clockwise ? m_cwTitle : m_ccwTitle;
    const QString other = clockwise ? m_ccwTitle : m_cwTitle;
    // Both pills share one size, that of the longer caption, so the pair looks alike.
    const QString longer = title.size() >= other.size() ? title : other;
    QFont f = hud::uiFont(pillPointSize(longer, label.width()), QFont::DemiBold);
    QFontMetricsF fm(f);
    p.setFont(f);
    p.setPen(ink);
    p.drawText(label, Qt::AlignVCenter | Qt::AlignLeft, pillCaption(title, other, fm, label.width()));
}

QString pillCaption(const QString& title, const QString& other, const QFontMetricsF& metrics, qreal width)
{
    const QString shown = metrics.elidedText(title, Qt::ElideRight, width);
    if (shown != title && title != other && metrics.elidedText(other, Qt::ElideRight, width) == shown)
        return metrics.elidedText(title, Qt::ElideLeft, width);
    return shown;
}

qreal pillPointSize(const QString& title, qreal width)
{
    qreal size = PillLargestPointSize;
    while (size > PillSmallestPointSize &&
           QFontMetricsF(hud::uiFont(size, QFont::DemiBold)).horizontalAdvance(title) > width)
        size -= 0.5;
    return size;
}

} // namespace keyglass
