#include "app/HudWindow.h"

#ifdef KG_HAVE_XCB
#include "app/x11/X11Windows.h"
#endif

#include <QApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QScreen>
#include <QWindow>

namespace keyglass {

namespace {
constexpr int ScreenMargin = 12;
}

HudWindow::HudWindow(Kind kind) : m_kind(kind)
{
    Qt::WindowFlags flags = Qt::FramelessWindowHint | Qt::Tool | Qt::WindowStaysOnTopHint;
    if (kind == Kind::popover)
        flags |= Qt::NoDropShadowWindowHint;
    setWindowFlags(flags);
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_ShowWithoutActivating, false);
    setWindowTitle("Keyglass");
    setObjectName(kind == Kind::popover ? "popover" : "panel");
}

void HudWindow::adopt(QWidget* content)
{
    m_content = content;
    if (content->parentWidget() == this)
        return;
    content->setParent(this);
    content->setGeometry(rect());
    content->show();
}

void HudWindow::setContentSize(QSize size)
{
    setFixedSize(size);
    if (m_content)
        m_content->setGeometry(rect());
}

void HudWindow::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (m_content)
        m_content->setGeometry(rect());
}

void HudWindow::placeOnScreen(QPoint topLeft)
{
    QScreen* screen = QGuiApplication::screenAt(topLeft);
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (screen) {
        const QRect area = screen->availableGeometry();
        topLeft.setX(std::clamp(topLeft.x(),
                                area.left() + ScreenMargin,
                                std::max(area.left() + ScreenMargin, area.right() - width() - ScreenMargin)));
        topLeft.setY(std::clamp(topLeft.y(),
                                area.top() + ScreenMargin,
                                std::max(area.top() + ScreenMargin, area.bottom() - height() - ScreenMargin)));
    }
    move(topLeft);
}

void HudWindow::showBelow(const QRect& anchor)
{
    QPoint topLeft;
    if (anchor.isValid() && !anchor.isEmpty()) {
        topLeft = QPoint(anchor.center().x() - width() / 2, anchor.bottom() + 6);
        // A tray at the bottom of the screen: open upwards.
        if (QScreen* screen = QGuiApplication::screenAt(anchor.center());
            screen && anchor.center().y() > screen->geometry().center().y())
            topLeft.setY(anchor.top() - height() - 6);
    } else {
        topLeft = QCursor::pos() - QPoint(width() / 2, 0);
    }
    placeOnScreen(topLeft);
    show();
    raise();
    activateWindow();
}

void HudWindow::showPanel()
{
    if (!m_placed) {
        if (QScreen* screen = QGuiApplication::primaryScreen()) {
            const QRect area = screen->availableGeometry();
            placeOnScreen(QPoint(area.right() - width() - 24, area.top() + 36));
        }
        m_placed = true;
    }
    show();
    raise();
    activateWindow();
}

void HudWindow::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
#ifdef KG_HAVE_XCB
    if (m_kind == Kind::panel)
        x11::makeStickyAndAbove(this);
#endif
}

void HudWindow::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    // The popover closes when the user clicks elsewhere; a modal panel it opened itself (an alert, a
    // file dialog) does not count as elsewhere.
    if (m_kind == Kind::popover && event->type() == QEvent::ActivationChange && isVisible() && !isActiveWindow() &&
        !QApplication::activeModalWidget() && !QApplication::activePopupWidget()) {
        QWidget* active = QApplication::activeWindow();
        if (active && active != this && active->isAncestorOf(this))
            return;
        if (active && isAncestorOf(active))
            return;
        hide();
        if (onDismissed)
            onDismissed();
    }
}

void HudWindow::mousePressEvent(QMouseEvent* event)
{
    if (m_kind != Kind::panel || event->button() != Qt::LeftButton)
        return QWidget::mousePressEvent(event);
    // The window manager moves it best (and snaps it); otherwise follow the pointer ourselves.
    if (windowHandle() && windowHandle()->startSystemMove())
        return;
    m_dragging = true;
    m_dragOffset = event->globalPosition().toPoint() - frameGeometry().topLeft();
}

void HudWindow::mouseMoveEvent(QMouseEvent* event)
{
    if (m_dragging)
        move(event->globalPosition().toPoint() - m_dragOffset);
    else
        QWidget::mouseMoveEvent(event);
}

void HudWindow::mouseReleaseEvent(QMouseEvent* event)
{
    m_dragging = false;
    QWidget::mouseReleaseEvent(event);
}

} // namespace keyglass
