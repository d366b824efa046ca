#include "app/wayland/PortalHotkeyBackend.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QList>

namespace {

constexpr const char* Service = "org.freedesktop.portal.Desktop";
constexpr const char* ObjectPath = "/org/freedesktop/portal/desktop";
constexpr const char* Interface = "org.freedesktop.portal.GlobalShortcuts";
constexpr const char* RequestInterface = "org.freedesktop.portal.Request";
constexpr int CallTimeoutMs = 2000;

/// One entry of the portal's a(sa{sv}) shortcut lists.
struct PortalShortcut
{
    QString id;
    QVariantMap options;
};

QDBusArgument& operator<<(QDBusArgument& argument, const PortalShortcut& shortcut)
{
    argument.beginStructure();
    argument << shortcut.id << shortcut.options;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, PortalShortcut& shortcut)
{
    argument.beginStructure();
    argument >> shortcut.id >> shortcut.options;
    argument.endStructure();
    return argument;
}

} // namespace

Q_DECLARE_METATYPE(PortalShortcut)

namespace keyglass {

PortalHotkeyBackend::PortalHotkeyBackend(QDBusConnection bus) : m_bus(std::move(bus))
{
    qDBusRegisterMetaType<PortalShortcut>();
    qDBusRegisterMetaType<QList<PortalShortcut>>();
}

bool PortalHotkeyBackend::available() const
{
    if (!m_bus.isConnected() || !m_bus.interface() || !m_bus.interface()->isServiceRegistered(Service))
        return false;
    // The portal runs on most desktops; whether it has this interface shows in the interface's version.
    QDBusMessage get = QDBusMessage::createMethodCall(Service, ObjectPath, "org.freedesktop.DBus.Properties", "Get");
    get << QString(Interface) << QString("version");
    const QDBusMessage reply = m_bus.call(get, QDBus::Block, CallTimeoutMs);
    return reply.type() == QDBusMessage::ReplyMessage;
}

int PortalHotkeyBackend::installHandler(Handler handler, void* userData)
{
    if (!available())
        return NoPortal;
    m_handler = std::move(handler);
    m_userData = userData;
    const bool listening =
        m_bus.connect(Service, ObjectPath, Interface, "Activated", this, SLOT(activated(QDBusMessage)));
    return listening ? 0 : CallFailed;
}

int PortalHotkeyBackend::registerHotkey(const HotkeyChord&, const HotkeyID& id)
{
    if (!m_handler)
        return NoPortal;
    m_id = id;
    const QString token = "keyglass" + QString::number(++m_tokens);
    if (!expectResponse(token, SLOT(sessionCreated(uint, QVariantMap))))
        return CallFailed;
    QDBusMessage call = QDBusMessage::createMethodCall(Service, ObjectPath, Interface, "CreateSession");
    call << QVariantMap{{"handle_token", token}, {"session_handle_token", "keyglass_session"}};
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call, CallTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* done) {
        if (done->isError())
            finish(CallFailed);
        done->deleteLater();
    });
    return RegistrationPending;
}

void PortalHotkeyBackend::whenRegistered(std::function<void(int status)> done)
{
    if (m_outcome)
        done(*m_outcome);
    else
        m_done = std::move(done);
}

QString PortalHotkeyBackend::requestPath(const QString& token) const
{
    QString sender = m_bus.baseService();
    sender.remove(0, sender.startsWith(':') ? 1 : 0);
    sender.replace('.', '_');
    return QString(ObjectPath) + "/request/" + sender + "/" + token;
}

bool PortalHotkeyBackend::expectResponse(const QString& token, const char* slot)
{
    stopExpectingResponse();
    m_pendingRequest = requestPath(token);
    m_pendingSlot = slot;
    return m_bus.connect(Service, m_pendingRequest, RequestInterface, "Response", this, slot);
}

void PortalHotkeyBackend::stopExpectingResponse()
{
    if (!m_pendingRequest.isEmpty())
        m_bus.disconnect(Service, m_pendingRequest, RequestInterface, "Response", this, m_pendingSlot);
    m_pendingRequest.clear();
    m_pendingSlot = nullptr;
}

void PortalHotkeyBackend::sessionCreated(uint response, const QVariantMap& results)
{
    if (response != 0) {
        finish(int(response));
        return;
    }
    m_session = results.value("session_handle").toString();
    if (m_session.isEmpty()) {
        finish(CallFailed);
        return;
    }
    const QString token = "keyglass" + QString::number(++m_tokens);
    if (!expectResponse(token, SLOT(shortcutsBound(uint, QVariantMap)))) {
        finish(CallFailed);
        return;
    }
    const QList<PortalShortcut> shortcuts{{ShortcutID,
                                           {{"description", QString("Show or hide the Keyglass HUD")},
                                            {"preferred_trigger", QString("CTRL+ALT+SHIFT+LOGO+slash")}}}};
    QDBusMessage call = QDBusMessage::createMethodCall(Service, ObjectPath, Interface, "BindShortcuts");
    call << QVariant::fromValue(QDBusObjectPath(m_session)) << QVariant::fromValue(shortcuts) << QString()
         << QVariantMap{{"handle_token", token}};
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call, CallTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* done) {
        if (done->isError())
            finish(CallFailed);
        done->deleteLater();
    });
}

void PortalHotkeyBackend::shortcutsBound(uint response, const QVariantMap& results)
{
    if (response != 0) {
        finish(int(response));
        return;
    }
    // The answer lists what was bound; a portal that leaves the list out bound what it was given.
    if (!results.contains("shortcuts")) {
        finish(0);
        return;
    }
    const auto bound = qdbus_cast<QList<PortalShortcut>>(results.value("shortcuts"));
    for (const auto& shortcut : bound)
        if (shortcut.id == ShortcutID) {
            finish(0);
            return;
        }
    finish(NotBound);
}

void PortalHotkeyBackend::activated(const QDBusMessage& message)
{
    // Activated(o session_handle, s shortcut_id, t timestamp, a{sv} options)
    const auto args = message.arguments();
    if (!m_handler || args.size() < 2)
        return;
    const QString session = args[0].value<QDBusObjectPath>().path();
    if (session != m_session || args[1].toString() != ShortcutID)
        return;
    const HotkeyEvent event{&m_id};
    m_handler(&event, m_userData);
}

void PortalHotkeyBackend::finish(int status)
{
    if (m_outcome)
        return;
    m_outcome = status;
    stopExpectingResponse();
    if (m_done)
        m_done(status);
}

} // namespace keyglass
