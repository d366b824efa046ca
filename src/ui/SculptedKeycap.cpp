#include "ui/SculptedKeycap.h"

#include "ui/HudStyle.h"

#include <QFontMetricsF>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPainterPathStroker>
#include <QPolygonF>
#include <QRadialGradient>
#include <QRegion>
#include <QTransform>

namespace keyglass {

SculptedKeycap::SculptedKeycap(QWidget* parent) : QWidget(parent), m_accent(hud::defaultAccent())
{
    setAttribute(Qt::WA_Hover);
    setMouseTracking(false);
}

namespace {
QTransform capTransform(qreal angle, const QPointF& origin)
{
    QTransform t;
    t.translate(origin.x(), origin.y());
    t.rotate(angle);
    t.translate(-origin.x(), -origin.y());
    return t;
}

QPainterPath roundedUnion(const QRectF& a, const std::optional<QRectF>& b, qreal radius)
{
    QPainterPath path;
    path.addRoundedRect(a, radius, radius);
    if (b) {
        QPainterPath second;
        second.addRoundedRect(*b, radius, radius);
        path = path.united(second);
    }
    return path;
}
} // namespace

void SculptedKeycap::setShape(const QRectF& primary,
                              const std::optional<QRectF>& secondary,
                              qreal angle,
                              const QPointF& origin)
{
    m_shaped = true;
    m_primary = primary;
    m_secondary = secondary;
    m_angle = angle;
    m_origin = origin;
    m_hitPath = capTransform(angle, origin).map(roundedUnion(primary, secondary, 0));
    // The mask is a little larger than the cap so its antialiased edge and glow are not cut.
    QPainterPathStroker stroker;
    stroker.setWidth(5);
    const QPainterPath grown = m_hitPath.united(stroker.createStroke(m_hitPath));
    setMask(QRegion(grown.toFillPolygon().toPolygon()));
    update();
}

bool SculptedKeycap::hitsCap(const QPointF& point) const
{
    return m_shaped ? m_hitPath.contains(point) : QRectF(rect()).contains(point);
}

void SculptedKeycap::setAction(const KeyAction& action)
{
    if (action == m_action)
        return;
    m_action = action;
    updateToolTip();
    update();
}

void SculptedKeycap::setAccentColor(const QColor& color)
{
    if (color == m_accent)
        return;
    m_accent = color;
    update();
}

void SculptedKeycap::setLit(bool lit)
{
    if (lit == m_lit)
        return;
    m_lit = lit;
    update();
}

void SculptedKeycap::setEditable(bool editable)
{
    if (editable == m_editable)
        return;
    m_editable = editable;
    setCursor(editable ? Qt::PointingHandCursor : Qt::ArrowCursor);
    update();
}

void SculptedKeycap::setLocked(bool locked)
{
    if (locked == m_locked)
        return;
    m_locked = locked;
    updateToolTip();
    update();
}

QString SculptedKeycap::toolTipFor(const KeyAction& action, bool locked)
{
    QString tip = QString::fromStdString(action.title);
    if (!action.shortcut.empty() && action.shortcut != action.title)
        tip += " (" + QString::fromStdString(action.shortcut) + ")";
    if (locked)
        tip += QString::fromUtf8(LockedSuffix);
    return tip;
}

void SculptedKeycap::updateToolTip()
{
    setToolTip(toolTipFor(m_action, m_locked));
}

void SculptedKeycap::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && hitsCap(event->position())) {
        m_pressed = true;
        update();
    }
}

void SculptedKeycap::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const bool wasPressed = m_pressed;
    m_pressed = false;
    update();
    if (wasPressed && hitsCap(event->position()))
        emit tapped(event->modifiers());
}

void SculptedKeycap::enterEvent(QEnterEvent*)
{
    m_hover = true;
    update();
}

void SculptedKeycap::leaveEvent(QEvent*)
{
    m_hover = false;
    m_pressed = false;
    update();
}

void SculptedKeycap::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    if (!m_shaped) {
        paintCap(p, QRectF(rect()).adjusted(1, 1, -1, -1), std::nullopt);
        return;
    }
    p.setTransform(capTransform(m_angle, m_origin));
    std::optional<QRectF> second;
    if (m_secondary)
        second = m_secondary->adjusted(1, 1, -1, -1);
    paintCap(p, m_primary.adjusted(1, 1, -1, -1), second);
}

void SculptedKeycap::paintCap(QPainter& p, const QRectF& full, const std::optional<QRectF>& second)
{
    const qreal radius = std::min<qreal>(9.0, full.height() * 0.17);
    const qreal sink = m_pressed ? 1.5 : 0.0;

    // A lit key glows in the accent colour under its skirt.
    if (m_lit) {
        p.setPen(Qt::NoPen);
        for (int i = 5; i >= 1; --i) {
            QColor glow = m_accent;
            glow.setAlpha(18 + (5 - i) * 14);
            p.setBrush(glow);
            p.drawRoundedRect(
                full.adjusted(-i * 0.8 + 1, -i * 0.8 + 1, i * 0.8 - 1, i * 0.8 - 1), radius + i, radius + i);
        }
    } else {
        hud::paintSoftShadow(p, full.adjusted(2, 4 + sink, -2, -1), radius, 3.5, m_pressed ? 60 : 110);
    }

    // Skirt: the sides of the cap seen from above, darker towards the front edge.
    const QRectF body = full.adjusted(0, sink, 0, 0);
    QLinearGradient skirt(body.topLeft(), body.bottomLeft());
    skirt.setColorAt(0.0, QColor(0x3a, 0x3e, 0x47));
    skirt.setColorAt(0.55, QColor(0x26, 0x29, 0x2f));
    skirt.setColorAt(1.0, QColor(0x16, 0x18, 0x1c));
    p.setPen(QPen(QColor(0, 0, 0, 170), 1));
    p.setBrush(skirt);
    std::optional<QRectF> secondBody;
    if (second)
        secondBody = second->adjusted(0, sink, 0, 0);
    p.drawPath(roundedUnion(body, secondBody, radius));

    // Top face: inset more at the front, like a sculpted cylindrical profile.
    const QRectF face = body.adjusted(4.5, 2.5, -4.5, -7.5 + sink);
    const qreal faceRadius = std::max<qreal>(3, radius - 2.5);
    QLinearGradient top(face.topLeft(), face.bottomLeft());
    QColor faceTop(0x4a, 0x4f, 0x5a), faceBottom(0x35, 0x39, 0x41);
    if (m_lit) {
        auto mix = [](QColor a, QColor b, qreal t) {
            return QColor::fromRgbF(a.redF() * (1 - t) + b.redF() * t,
                                    a.greenF() * (1 - t) + b.greenF() * t,
                                    a.blueF() * (1 - t) + b.blueF() * t);
        };
        faceTop = mix(faceTop, m_accent, 0.75);
        faceBottom = mix(faceBottom, m_accent, 0.55);
    } else if (m_hover && m_editable) {
        faceTop = faceTop.lighter(112);
        faceBottom = faceBottom.lighter(112);
    }
    top.setColorAt(0.0, faceTop);
    top.setColorAt(1.0, faceBottom);
    p.setPen(Qt::NoPen);
    p.setBrush(top);
    std::optional<QRectF> secondFace;
    if (secondBody)
        secondFace = secondBody->adjusted(4.5, 2.5, -4.5, -7.5 + sink);
    const QPainterPath facePath = roundedUnion(face, secondFace, faceRadius);
    p.drawPath(facePath);

    // The dish: a faint hollow in the middle of the face.
    QRadialGradient dish(face.center() + QPointF(0, face.height() * 0.1), std::max(face.width(), face.height()) * 0.6);
    dish.setColorAt(0.0, QColor(0, 0, 0, 28));
    dish.setColorAt(1.0, QColor(0, 0, 0, 0));
    p.setBrush(dish);
    p.drawPath(facePath);

    // Light catching the top edge.
    p.setPen(QPen(QColor(255, 255, 255, m_lit ? 110 : 46), 1));
    p.setBrush(Qt::NoBrush);
    p.drawLine(QPointF(face.left() + faceRadius, face.top() + 0.5),
               QPointF(face.right() - faceRadius, face.top() + 0.5));

    if (m_editable) {
        QColor ring = m_accent;
        ring.setAlpha(m_hover ? 230 : 120);
        p.setPen(QPen(ring, m_hover ? 1.6 : 1.0, m_locked ? Qt::DashLine : Qt::SolidLine));
        std::optional<QRectF> secondRing;
        if (secondBody)
            secondRing = secondBody->adjusted(0.5, 0.5, -0.5, -0.5);
        p.drawPath(roundedUnion(body.adjusted(0.5, 0.5, -0.5, -0.5), secondRing, radius));
    }

    // Legends.
    const QRectF legend = face.adjusted(3, 2, -3, -2);
    const QString title = m_action.isTransparent ? QString::fromUtf8("▽") : QString::fromStdString(m_action.title);
    const QString shortcut = QString::fromStdString(m_action.shortcut);
    const bool dim = m_action.isEmpty || m_action.isTransparent;
    const QColor litInk = hud::inkOn(m_accent);
    const QColor titleColor = m_lit ? litInk : (dim ? hud::textTertiary() : hud::textPrimary());
    const QColor shortColor = m_lit ? QColor(litInk.red(), litInk.green(), litInk.blue(), 190) : hud::textSecondary();

    const bool showShortcut = !shortcut.isEmpty() && shortcut != title && legend.height() >= 34;
    QRectF titleBox = legend;
    if (showShortcut)
        titleBox.setBottom(legend.bottom() - legend.height() * 0.34);
    p.setPen(titleColor);
    hud::drawFittedText(p, titleBox, title, hud::uiFont(9.5, QFont::DemiBold), 6.5, 2);
    if (showShortcut) {
        QRectF shortBox = legend;
        shortBox.setTop(titleBox.bottom());
        p.setPen(shortColor);
        hud::drawFittedText(p, shortBox, shortcut, hud::monoFont(7.0), 5.5, 1);
    }

    if (m_locked) {
        const QRectF lockBox(face.right() - 11, face.top() + 2, 9, 9);
        p.setPen(Qt::NoPen);
        p.setBrush(hud::errorOrange());
        p.drawEllipse(lockBox.adjusted(2.5, 2.5, -2.5, -2.5));
    }
}

} // namespace keyglass
