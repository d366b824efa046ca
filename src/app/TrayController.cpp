#include "app/TrayController.h"

#include "platform/Autostart.h"
#include "platform/Log.h"
#include "ui/HudStyle.h"

#include <QAction>
#include <QCoreApplication>
#include <QFontMetricsF>
#include <QIcon>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QSignalBlocker>
#include <QSystemTrayIcon>

#include <cmath>

namespace keyglass {

QImage renderTrayImage(const QString& title, int height, qreal dpr)
{
    const QFont font = hud::uiFont(height * 0.5, QFont::DemiBold);
    QFontMetricsF fm(font);
    const qreal glyph = height;
    const QString text = title;
    const qreal textWidth = text.trimmed().isEmpty() ? 0 : fm.horizontalAdvance(text) + 3;
    const int width = int(std::ceil(glyph + textWidth));
    QImage image(QSize(int(std::ceil(width * dpr)), int(std::ceil(height * dpr))), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(dpr);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    // Light ink inside a dark rim reads on dark and light panels alike.
    const QColor ink(0xf2, 0xf3, 0xf5);
    const QColor rim(0x10, 0x12, 0x16, 230);
    const QRectF dial(1.5, 1.5, glyph - 3, glyph - 3);
    for (const QPointF offset : {QPointF(-1, 0), QPointF(1, 0), QPointF(0, -1), QPointF(0, 1)})
        hud::paintSymbol(p, dial.translated(offset), "dial.high", rim);
    hud::paintSymbol(p, dial, "dial.high", ink);
    if (textWidth > 0) {
        QPainterPath path;
        path.addText(QPointF(glyph + 1, (height + fm.capHeight()) / 2), font, text);
        p.setPen(QPen(rim, 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        p.drawPath(path);
        p.setPen(Qt::NoPen);
        p.setBrush(ink);
        p.drawPath(path);
    }
    return image;
}

bool trayHasRoomForTitle(const QRect& slot)
{
    // Most trays give every icon a square slot and squeeze anything wider; only a slot that is clearly
    // wider than tall has room for the pad tags.
    return slot.isValid() && slot.width() >= 2 * slot.height();
}

TrayController::TrayController()
{
    m_icon = new QSystemTrayIcon(this);
    m_menu = new QMenu;
    QAction* toggle = m_menu->addAction(QString::fromUtf8(ToggleText));
    connect(toggle, &QAction::triggered, this, [this] {
        if (onToggle)
            onToggle();
    });
    m_menu->addSeparator();
    QAction* atLogin = m_menu->addAction("Start at login");
    atLogin->setObjectName("startAtLogin");
    atLogin->setCheckable(true);
    atLogin->setChecked(autostart::isEnabled());
    connect(m_menu, &QMenu::aboutToShow, atLogin, [atLogin] { atLogin->setChecked(autostart::isEnabled()); });
    connect(atLogin, &QAction::toggled, this, [atLogin](bool on) {
        const auto done =
            on ? autostart::enable(QCoreApplication::applicationFilePath().toStdString()) : autostart::disable();
        if (!done)
            logLine("Start at login: " + done.error().message);
        const QSignalBlocker quiet(atLogin);
        atLogin->setChecked(autostart::isEnabled());
    });
    connect(m_menu->addAction("Rescan USB Devices"), &QAction::triggered, this, [this] {
        if (onRescan)
            onRescan();
    });
    // Lets another configurator (the VIA web app, Vial) have the pads while Keyglass stays here.
    m_releaseAction = m_menu->addAction(ReleaseText);
    m_releaseAction->setObjectName("releasePads");
    m_releaseAction->setToolTip("Stop talking to the pads so another configurator can use them");
    connect(m_releaseAction, &QAction::triggered, this, [this] {
        if (onReleasePads)
            onReleasePads(m_releaseAction->text() == ReleaseText);
    });
    connect(m_menu->addAction("Quit Keyglass"), &QAction::triggered, this, [this] {
        if (onQuit)
            onQuit();
    });
    // The tray opens the context menu itself on a right click, so a left click never shows it.
    m_icon->setContextMenu(m_menu);
    connect(m_icon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if ((reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::MiddleClick) && onToggle)
            onToggle();
    });
}

void TrayController::setPadsReleased(bool released)
{
    m_releaseAction->setText(released ? ResumeText : ReleaseText);
}

TrayController::~TrayController()
{
    delete m_menu;
}

void TrayController::setStatus(const QString& title, const QString& toolTip)
{
    const bool roomy = trayHasRoomForTitle(m_icon->geometry());
    if (title != m_title || roomy != m_drawnWithTitle || m_icon->icon().isNull()) {
        m_title = title;
        m_drawnWithTitle = roomy;
        QIcon icon;
        for (int h : {16, 22, 24, 32})
            for (qreal dpr : {1.0, 2.0})
                icon.addPixmap(QPixmap::fromImage(renderTrayImage(roomy ? title : QString(), h, dpr)));
        m_icon->setIcon(icon);
    }
    // Without the tags on the icon, the tooltip still names every pad and its layer.
    m_icon->setToolTip(toolTip);
}

QString TrayController::toolTip() const
{
    return m_icon->toolTip();
}

void TrayController::show()
{
    m_icon->show();
}

bool TrayController::isVisible() const
{
    return m_icon->isVisible();
}

QRect TrayController::geometry() const
{
    return m_icon->geometry();
}

} // namespace keyglass
