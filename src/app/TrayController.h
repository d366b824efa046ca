#pragma once

#include <QImage>
#include <QObject>
#include <QRect>
#include <QString>

#include <functional>

class QAction;
class QMenu;
class QSystemTrayIcon;

namespace keyglass {

/// The dial glyph with the status title beside it, as the tray shows it. `height` in logical pixels.
QImage renderTrayImage(const QString& title, int height, qreal devicePixelRatio);
/// Whether a tray slot of this size shows the pad tags beside the dial without squeezing them.
bool trayHasRoomForTitle(const QRect& slot);

/// The tray item: its image carries the status title, its tooltip the per-device summary. A left
/// click toggles the HUD; a right click opens the menu.
class TrayController : public QObject
{
    Q_OBJECT
public:
    static constexpr const char* ToggleText = "Toggle HUD (⌃⌥⇧⌘/)";
    static constexpr const char* ReleaseText = "Release Pads";
    static constexpr const char* ResumeText = "Resume Pads";

    TrayController();
    ~TrayController() override;

    std::function<void()> onToggle;
    std::function<void()> onRescan;
    /// "Release Pads" (true) / "Resume Pads" (false).
    std::function<void(bool release)> onReleasePads;
    std::function<void()> onQuit;

    /// Shows "Resume Pads" while the pads are released, "Release Pads" otherwise.
    void setPadsReleased(bool released);

    void setStatus(const QString& title, const QString& toolTip);
    QString title() const { return m_title; }
    QString toolTip() const;
    void show();
    bool isVisible() const;
    /// Where the icon sits on screen; empty when the tray host does not say.
    QRect geometry() const;
    QMenu* menu() const { return m_menu; }

private:
    QSystemTrayIcon* m_icon = nullptr;
    QMenu* m_menu = nullptr;
    QAction* m_releaseAction = nullptr;
    bool m_drawnWithTitle = false;
    QString m_title;
};

} // namespace keyglass
