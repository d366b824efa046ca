#include "ui/StatusDot.h"

#include "ui/HudStyle.h"

#include <QFontMetrics>
#include <QPainter>

namespace keyglass {

QString StatusDot::word(bool connected, bool live)
{
    if (!connected)
        return "Offline";
    return live ? "Live" : "USB";
}

StatusDot::StatusDot(QWidget* parent) : QWidget(parent)
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void StatusDot::setState(bool connected, bool live)
{
    if (connected == m_connected && live == m_live)
        return;
    m_connected = connected;
    m_live = live;
    updateGeometry();
    update();
}

QSize StatusDot::sizeHint() const
{
    QFontMetrics fm(hud::uiFont(10, QFont::Medium));
    return QSize(8 + 5 + fm.horizontalAdvance(text()) + 2, std::max(14, fm.height()));
}

void StatusDot::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal cy = height() / 2.0;
    QColor dot = m_connected ? hud::liveGreen() : QColor(0x8e, 0x8e, 0x93);
    if (!m_connected)
        dot.setAlphaF(0.5);
    if (m_connected) {
        QColor halo = dot;
        halo.setAlpha(60);
        p.setPen(Qt::NoPen);
        p.setBrush(halo);
        p.drawEllipse(QPointF(4, cy), 4.5, 4.5);
    }
    p.setPen(Qt::NoPen);
    p.setBrush(dot);
    p.drawEllipse(QPointF(4, cy), 3.2, 3.2);
    p.setFont(hud::uiFont(10, QFont::Medium));
    p.setPen(m_connected ? hud::textPrimary() : hud::textSecondary());
    p.drawText(QRectF(13, 0, width() - 13, height()), Qt::AlignVCenter | Qt::AlignLeft, text());
}

} // namespace keyglass
