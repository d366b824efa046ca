#pragma once
// Raising an application that says DBusActivatable=true in its desktop entry: org.freedesktop.Application
// Activate on the bus name of its desktop file id, which starts it when it is not running. This works
// where windows cannot be found or raised by another client (Wayland), and on X11 alike.

#include "model/Expected.h"

#include <QDBusConnection>

#include <string>

namespace keyglass {

/// "/org/gnome/Nautilus" for "org.gnome.Nautilus"; "-" becomes "_" as object paths require.
std::string applicationObjectPath(const std::string& desktopFileId);

/// Calls Activate on `desktopFileId` (the desktop file's name without ".desktop"). An error when the
/// name is not a valid bus name or the call fails (no such application, a timeout).
Expected<void> activateDBusApplication(const std::string& desktopFileId,
                                       QDBusConnection bus = QDBusConnection::sessionBus());

} // namespace keyglass
