#pragma once

#include "ui/KeycapGeometry.h"

#include <QColor>
#include <QFontMetricsF>
#include <QString>
#include <QWidget>

namespace keyglass {

/// Knob direction pills: the caption's text shrinks from the largest size towards the smallest before
/// it is elided (the knob's tooltip carries both captions in full).
inline constexpr qreal PillLargestPointSize = 9.0;
inline constexpr qreal PillSmallestPointSize = 7.5;
qreal pillPointSize(const QString& title, qreal width);
/// What a pill shows of `title` in `width`: elided at the end, unless that would read the same as the
/// other direction's caption ("Scroll…" twice), then elided at the start ("…Down", "…Up").
QString pillCaption(const QString& title, const QString& other, const QFontMetricsF& metrics, qreal width);

/// A rotary encoder: a machined metal dial with its click binding in the middle and one chip per turn
/// direction under it. The widget fills one knob cell of the deck layout; its zones come from
/// knobZones() so clicks and painting agree.
class MachinedKnobDial : public QWidget
{
    Q_OBJECT
public:
    explicit MachinedKnobDial(QWidget* parent = nullptr);

    void setLarge(bool large, const DeckMetrics& metrics);
    bool isLarge() const { return m_large; }
    void setCenterText(const QString& title, const QString& subtitle);
    QString centerTitle() const { return m_centerTitle; }
    void setDirectionTitles(const QString& ccw, const QString& cw);
    QString ccwTitle() const { return m_ccwTitle; }
    QString cwTitle() const { return m_cwTitle; }
    void setAccentColor(const QColor& color);
    void setLit(bool ccw, bool cw, bool click);
    bool litCCW() const { return m_litCCW; }
    bool litCW() const { return m_litCW; }
    bool litClick() const { return m_litClick; }
    void setEditable(bool editable);
    /// Whether the dial face is a button (the encoder has a push switch).
    void setCenterIsButton(bool button);
    bool centerIsButton() const { return m_centerButton; }

    /// The zones in widget coordinates.
    KnobZones zones() const;

signals:
    void ccwTapped(Qt::KeyboardModifiers modifiers);
    void cwTapped(Qt::KeyboardModifiers modifiers);
    void centerTapped(Qt::KeyboardModifiers modifiers);
    void wheelTurned(bool clockwise, Qt::KeyboardModifiers modifiers);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    void paintDial(QPainter& p, const QRectF& dial);
    void paintChip(QPainter& p, const QRectF& chip, bool clockwise);

    DeckMetrics m_metrics;
    bool m_large = false;
    QString m_centerTitle;
    QString m_centerSubtitle;
    QString m_ccwTitle;
    QString m_cwTitle;
    QColor m_accent;
    bool m_litCCW = false;
    bool m_litCW = false;
    bool m_litClick = false;
    bool m_editable = false;
    bool m_centerButton = false;
    KnobZone m_hover = KnobZone::none;
    KnobZone m_pressed = KnobZone::none;
    int m_wheelRemainder = 0;
};

} // namespace keyglass
