#pragma once

#include "keycodes/Keycodes.h"

#include <QColor>
#include <QPainterPath>
#include <QWidget>

#include <optional>

namespace keyglass {

/// One key of the deck: a sculpted cap showing its keycode's title and shortcut. Lights up while live
/// input hits it; in edit mode it is a button that opens the picker for its slot.
class SculptedKeycap : public QWidget
{
    Q_OBJECT
public:
    static constexpr const char* LockedSuffix = " — Firmware-custom key locked (click in Edit mode to unlock)";

    explicit SculptedKeycap(QWidget* parent = nullptr);

    /// The tooltip of a key: title, the shortcut when it says something else, and the locked note.
    /// Every view that shows a key's label uses it.
    static QString toolTipFor(const KeyAction& action, bool locked);

    /// A rotated or stepped cap: its rectangle, second rectangle and rotation in widget coordinates.
    /// Painting and clicks follow the shape; outside it clicks fall through to what lies below.
    void setShape(const QRectF& primary, const std::optional<QRectF>& secondary, qreal angle, const QPointF& origin);
    bool hasShape() const { return m_shaped; }
    /// Whether a point (widget coordinates) is on the drawn cap.
    bool hitsCap(const QPointF& point) const;

    void setAction(const KeyAction& action);
    const KeyAction& action() const { return m_action; }
    void setAccentColor(const QColor& color);
    void setLit(bool lit);
    bool isLit() const { return m_lit; }
    void setEditable(bool editable);
    bool isEditable() const { return m_editable; }
    /// A firmware-custom key that needs unlocking before it can be remapped.
    void setLocked(bool locked);
    bool isLocked() const { return m_locked; }

signals:
    /// A click released over the cap, with the keyboard modifiers held at that moment.
    void tapped(Qt::KeyboardModifiers modifiers);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void updateToolTip();
    void paintCap(QPainter& p, const QRectF& full, const std::optional<QRectF>& second);

    bool m_shaped = false;
    QRectF m_primary;
    std::optional<QRectF> m_secondary;
    qreal m_angle = 0;
    QPointF m_origin;
    QPainterPath m_hitPath; // the drawn cap, rotated, in widget coordinates

    KeyAction m_action;
    QColor m_accent;
    bool m_lit = false;
    bool m_editable = false;
    bool m_locked = false;
    bool m_hover = false;
    bool m_pressed = false;
};

} // namespace keyglass
