#pragma once

#include "keycodes/Keycodes.h"

#include <QColor>
#include <QString>
#include <QWidget>

namespace keyglass {

/// One slot of a tap-dance entry: its badge ("1× Tap", "Hold", ...) and the action bound to it.
class TapDanceRow : public QWidget
{
    Q_OBJECT
public:
    /// The badge of slot 0-3; empty for any other slot.
    static QString badgeForSlot(int slot);
    /// "CLICK ACTIONS (TAP DANCE n)".
    static QString sectionTitle(int entry);

    explicit TapDanceRow(QWidget* parent = nullptr);

    void setBadge(const QString& badge);
    QString badge() const { return m_badge; }
    void setAction(const KeyAction& action);
    const KeyAction& action() const { return m_action; }
    void setAccentColor(const QColor& color);
    void setHighlighted(bool highlighted);
    bool isHighlighted() const { return m_highlighted; }
    void setEditable(bool editable);
    bool isEditable() const { return m_editable; }

    QSize sizeHint() const override;

signals:
    void tapped(Qt::KeyboardModifiers modifiers);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    QString m_badge;
    KeyAction m_action;
    QColor m_accent;
    bool m_highlighted = false;
    bool m_editable = false;
    bool m_hover = false;
};

} // namespace keyglass
