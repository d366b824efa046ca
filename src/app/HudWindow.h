#pragma once

#include <QPoint>
#include <QWidget>

#include <functional>

namespace keyglass {

/// A frameless, translucent top-level window that hosts the HUD view: either the popover that drops
/// under the tray icon and closes when the user clicks elsewhere, or the floating panel that stays on
/// top on every desktop and moves when dragged by its background.
class HudWindow : public QWidget
{
    Q_OBJECT
public:
    enum class Kind
    {
        popover,
        panel,
    };

    explicit HudWindow(Kind kind);

    Kind kind() const { return m_kind; }
    /// Moves the HUD view into this window.
    void adopt(QWidget* content);
    QWidget* content() const { return m_content; }
    void setContentSize(QSize size);

    /// Popover: shows it below `anchor` (the tray icon), or at the pointer when `anchor` is empty.
    void showBelow(const QRect& anchor);
    /// Panel: shows it at its last place, or near the top-right corner of the primary screen.
    void showPanel();

    /// Called after the popover closed itself because the user clicked elsewhere.
    std::function<void()> onDismissed;

protected:
    void changeEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void placeOnScreen(QPoint topLeft);

    Kind m_kind;
    QWidget* m_content = nullptr;
    bool m_placed = false;
    bool m_dragging = false;
    QPoint m_dragOffset;
};

} // namespace keyglass
