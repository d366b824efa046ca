#pragma once
// The HUD hotkey on Wayland, where no client may grab keys: the desktop portal's GlobalShortcuts
// interface (org.freedesktop.portal.GlobalShortcuts) binds a shortcut for us, usually after asking
// the user, and sends Activated when it is pressed.
//
// The exchange: CreateSession, then BindShortcuts on that session; each call answers through a
// Response signal on a request object whose path is known in advance, so the signal is subscribed to
// before the call is made. The outcome arrives later: registerHotkey returns RegistrationPending.
//
// Main thread only (QtDBus delivers the signals through the event loop).

#include "platform/HotkeyBackend.h"

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QVariantMap>

#include <functional>
#include <optional>

class QDBusMessage;

namespace keyglass {

class PortalHotkeyBackend final : public QObject, public HotkeyBackend
{
    Q_OBJECT
public:
    static constexpr const char* ShortcutID = "toggle-hud";
    /// Statuses reported for the registration: the portal's own response codes are 1 (the user
    /// cancelled) and 2 (other failure); these are ours.
    static constexpr int NoPortal = -1;
    static constexpr int CallFailed = -2;
    static constexpr int NotBound = -3;

    explicit PortalHotkeyBackend(QDBusConnection bus = QDBusConnection::sessionBus());

    /// Whether the session bus has a desktop portal offering GlobalShortcuts.
    bool available() const;

    int installHandler(Handler handler, void* userData) override;
    int registerHotkey(const HotkeyChord& chord, const HotkeyID& id) override;
    void whenRegistered(std::function<void(int status)> done) override;

private slots:
    void sessionCreated(uint response, const QVariantMap& results);
    void shortcutsBound(uint response, const QVariantMap& results);
    void activated(const QDBusMessage& message);

private:
    /// The path the portal will answer a call made with `token` on: .../request/<sender>/<token>.
    QString requestPath(const QString& token) const;
    bool expectResponse(const QString& token, const char* slot);
    void stopExpectingResponse();
    void finish(int status);

    QDBusConnection m_bus;
    Handler m_handler;
    void* m_userData = nullptr;
    HotkeyID m_id;
    QString m_session;
    QString m_pendingRequest;
    const char* m_pendingSlot = nullptr;
    std::function<void(int)> m_done;
    std::optional<int> m_outcome;
    int m_tokens = 0;
};

} // namespace keyglass
