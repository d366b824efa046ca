#include "ui/AluminumChassis.h"

#include "ui/HudStyle.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QVBoxLayout>

namespace keyglass {

namespace {
constexpr int Bezel = 16;
}

AluminumChassis::AluminumChassis(QWidget* parent) : QWidget(parent), m_fallback(hud::defaultAccent())
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(Bezel, Bezel, Bezel, Bezel + 4);
    m_rgb.kind = RGBProtocolKind::none;
}

void AluminumChassis::setRgb(const RGBState& rgb)
{
    if (rgb == m_rgb)
        return;
    m_rgb = rgb;
    update();
}

void AluminumChassis::setAccentFallback(const QColor& color)
{
    m_fallback = color;
    update();
}

QColor AluminumChassis::accentColor() const
{
    return hud::accentFor(m_rgb, m_fallback);
}

void AluminumChassis::setContent(QWidget* content)
{
    if (m_content == content)
        return;
    if (m_content) {
        layout()->removeWidget(m_content);
        m_content->deleteLater();
    }
    m_content = content;
    if (content)
        static_cast<QVBoxLayout*>(layout())->addWidget(content, 0, Qt::AlignCenter);
}

void AluminumChassis::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF outer = QRectF(rect()).adjusted(2, 1, -2, -4);
    const qreal radius = 16;
    const QColor accent = accentColor();
    const bool lit = m_rgb.kind != RGBProtocolKind::none && m_rgb.isOn();

    // Underglow spilling onto the desk.
    if (lit) {
        QColor glow = accent;
        p.setPen(Qt::NoPen);
        for (int i = 5; i >= 1; --i) {
            glow.setAlpha(10 + (5 - i) * 7);
            p.setBrush(glow);
            p.drawRoundedRect(outer.adjusted(-i + 4, 3 + i * 0.2, i - 4, i * 0.9), radius + i, radius + i);
        }
    }
    hud::paintSoftShadow(p, outer.adjusted(4, 6, -4, 0), radius, 6, 140);

    // Anodised body: dark graphite with a faint vertical sheen.
    QLinearGradient body(outer.topLeft(), outer.bottomLeft());
    body.setColorAt(0.0, QColor(0x3b, 0x3f, 0x47));
    body.setColorAt(0.08, QColor(0x2c, 0x2f, 0x36));
    body.setColorAt(0.9, QColor(0x22, 0x24, 0x2a));
    body.setColorAt(1.0, QColor(0x18, 0x1a, 0x1e));
    p.setPen(QPen(QColor(0, 0, 0, 190), 1));
    p.setBrush(body);
    p.drawRoundedRect(outer, radius, radius);

    // Brushed grain.
    p.save();
    QPainterPath clip;
    clip.addRoundedRect(outer, radius, radius);
    p.setClipPath(clip);
    for (int y = int(outer.top()) + 2; y < outer.bottom(); y += 2) {
        const int a = 4 + ((y * 7919) % 5);
        p.setPen(QPen(QColor(255, 255, 255, a), 0.5));
        p.drawLine(QPointF(outer.left(), y + 0.25), QPointF(outer.right(), y + 0.25));
    }
    p.restore();

    // Chamfer: bright top edge, dark lower lip.
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(255, 255, 255, 55), 1));
    p.drawRoundedRect(outer.adjusted(1, 1, -1, -1), radius - 1, radius - 1);

    // The recessed plate the keys sit in.
    const QRectF plate = outer.adjusted(Bezel - 8, Bezel - 8, -(Bezel - 8), -(Bezel - 6));
    QLinearGradient well(plate.topLeft(), plate.bottomLeft());
    well.setColorAt(0.0, QColor(0x10, 0x11, 0x14));
    well.setColorAt(1.0, QColor(0x1a, 0x1c, 0x21));
    p.setPen(QPen(QColor(0, 0, 0, 160), 1));
    p.setBrush(well);
    p.drawRoundedRect(plate, 10, 10);
    p.setPen(QPen(QColor(255, 255, 255, 16), 1));
    p.drawLine(QPointF(plate.left() + 10, plate.bottom() + 0.5), QPointF(plate.right() - 10, plate.bottom() + 0.5));

    // Light bar along the front edge.
    QColor bar = accent;
    bar.setAlpha(lit ? 220 : 60);
    QLinearGradient strip(outer.left(), 0, outer.right(), 0);
    QColor clear = bar;
    clear.setAlpha(0);
    strip.setColorAt(0.0, clear);
    strip.setColorAt(0.2, bar);
    strip.setColorAt(0.8, bar);
    strip.setColorAt(1.0, clear);
    p.setPen(QPen(QBrush(strip), 1.6));
    p.drawLine(QPointF(outer.left() + 18, outer.bottom() - 3), QPointF(outer.right() - 18, outer.bottom() - 3));
}

} // namespace keyglass
