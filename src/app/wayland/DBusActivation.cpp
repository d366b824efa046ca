#include "app/wayland/DBusActivation.h"

#include <QDBusError>
#include <QDBusMessage>
#include <QVariantMap>

namespace keyglass {

namespace {
constexpr int ActivateTimeoutMs = 3000;

// A well-known bus name: at least two dot-separated elements of [A-Za-z0-9_-], none starting with a
// digit, at most 255 characters.
bool isBusName(const std::string& name)
{
    if (name.empty() || name.size() > 255 || name.front() == '.' || name.back() == '.')
        return false;
    bool elementStart = true;
    int dots = 0;
    for (const char c : name) {
        if (c == '.') {
            if (elementStart)
                return false;
            ++dots;
            elementStart = true;
            continue;
        }
        const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == '-';
        const bool digit = c >= '0' && c <= '9';
        if (!letter && !(digit && !elementStart))
            return false;
        elementStart = false;
    }
    return dots >= 1;
}
} // namespace

std::string applicationObjectPath(const std::string& desktopFileId)
{
    std::string path = "/";
    for (const char c : desktopFileId)
        path += c == '.' ? '/' : c == '-' ? '_' : c;
    return path;
}

Expected<void> activateDBusApplication(const std::string& desktopFileId, QDBusConnection bus)
{
    if (!isBusName(desktopFileId))
        return unexpected(Error("\"" + desktopFileId + "\" is not a D-Bus application name", 0, "desktop"));
    if (!bus.isConnected())
        return unexpected(Error("No session bus", 0, "desktop"));
    QDBusMessage call = QDBusMessage::createMethodCall(QString::fromStdString(desktopFileId),
                                                       QString::fromStdString(applicationObjectPath(desktopFileId)),
                                                       "org.freedesktop.Application",
                                                       "Activate");
    call << QVariantMap{};
    const QDBusMessage reply = bus.call(call, QDBus::Block, ActivateTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage)
        return unexpected(
            Error("Could not activate " + desktopFileId + ": " + reply.errorMessage().toStdString(), 0, "desktop"));
    return {};
}

} // namespace keyglass
