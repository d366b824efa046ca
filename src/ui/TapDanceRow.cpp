#include "ui/TapDanceRow.h"

#include "ui/HudStyle.h"

#include <QFontMetricsF>
#include <QMouseEvent>
#include <QPainter>

namespace keyglass {

QString TapDanceRow::badgeForSlot(int slot)
{
    switch (slot) {
    case 0:
        return QString::fromUtf8("1× Tap");
    case 1:
        return "Hold";
    case 2:
        return QString::fromUtf8("2× Tap");
    case 3:
        return "Tap+Hold";
    default:
        return {};
    }
}

QString TapDanceRow::sectionTitle(int entry)
{
    return "CLICK ACTIONS (TAP DANCE " + QString::number(entry) + ")";
}

TapDanceRow::TapDanceRow(QWidget* parent) : QWidget(parent), m_accent(hud::defaultAccent())
{
    setAttribute(Qt::WA_Hover);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

QSize TapDanceRow::sizeHint() const
{
    return QSize(220, 30);
}

void TapDanceRow::setBadge(const QString& badge)
{
    m_badge = badge;
    update();
}

void TapDanceRow::setAction(const KeyAction& action)
{
    if (action == m_action)
        return;
    m_action = action;
    setToolTip(QString::fromStdString(action.title) +
               (action.shortcut.empty() ? QString() : " (" + QString::fromStdString(action.shortcut) + ")"));
    update();
}

void TapDanceRow::setAccentColor(const QColor& color)
{
    m_accent = color;
    update();
}

void TapDanceRow::setHighlighted(bool highlighted)
{
    if (highlighted == m_highlighted)
        return;
    m_highlighted = highlighted;
    update();
}

void TapDanceRow::setEditable(bool editable)
{
    if (editable == m_editable)
        return;
    m_editable = editable;
    setCursor(editable ? Qt::PointingHandCursor : Qt::ArrowCursor);
    update();
}

void TapDanceRow::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit tapped(event->modifiers());
}

void TapDanceRow::enterEvent(QEnterEvent*)
{
    m_hover = true;
    update();
}

void TapDanceRow::leaveEvent(QEvent*)
{
    m_hover = false;
    update();
}

void TapDanceRow::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r = QRectF(rect()).adjusted(0.5, 1.5, -0.5, -1.5);

    QColor fill(255, 255, 255, m_hover && m_editable ? 20 : 10);
    QColor border(255, 255, 255, 18);
    if (m_highlighted) {
        fill = m_accent;
        fill.setAlpha(200);
        border = m_accent.lighter(130);
    } else if (m_editable) {
        border = m_accent;
        border.setAlpha(m_hover ? 220 : 100);
    }
    p.setPen(QPen(border, 1));
    p.setBrush(fill);
    p.drawRoundedRect(r, 7, 7);

    // Badge pill.
    const QFont badgeFont = hud::uiFont(7.5, QFont::Bold);
    QFontMetricsF bfm(badgeFont);
    const qreal badgeW = std::max<qreal>(58, bfm.horizontalAdvance(m_badge) + 14);
    const QRectF badge(r.left() + 5, r.top() + 4, badgeW, r.height() - 8);
    p.setPen(Qt::NoPen);
    p.setBrush(m_highlighted ? QColor(0, 0, 0, 60) : QColor(255, 255, 255, 22));
    p.drawRoundedRect(badge, badge.height() / 2, badge.height() / 2);
    p.setFont(badgeFont);
    p.setPen(m_highlighted ? QColor(255, 255, 255) : hud::textSecondary());
    p.drawText(badge, Qt::AlignCenter, m_badge);

    const QColor ink = m_highlighted ? hud::inkOn(m_accent) : hud::textPrimary();
    const QFont titleFont = hud::uiFont(9, QFont::DemiBold);
    const QFont shortFont = hud::monoFont(7.5);
    QFontMetricsF sfm(shortFont);
    const QString shortcut = QString::fromStdString(m_action.shortcut);
    QString title = QString::fromStdString(m_action.title);
    const qreal shortW = shortcut.isEmpty() ? 0 : std::min<qreal>(sfm.horizontalAdvance(shortcut) + 4, r.width() * 0.4);
    QRectF titleRect(badge.right() + 10, r.top(), r.right() - badge.right() - 18 - shortW, r.height());
    p.setFont(titleFont);
    p.setPen(m_action.isEmpty ? hud::textTertiary() : ink);
    p.drawText(titleRect,
               Qt::AlignVCenter | Qt::AlignLeft,
               QFontMetricsF(titleFont).elidedText(title, Qt::ElideRight, titleRect.width()));
    if (!shortcut.isEmpty() && shortcut != title) {
        QRectF sr(r.right() - 8 - shortW, r.top(), shortW, r.height());
        p.setFont(shortFont);
        p.setPen(m_highlighted ? QColor(0x0b, 0x0d, 0x10, 190) : hud::textSecondary());
        p.drawText(sr, Qt::AlignVCenter | Qt::AlignRight, sfm.elidedText(shortcut, Qt::ElideLeft, shortW));
    }
}

} // namespace keyglass
