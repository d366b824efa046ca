#pragma once
// EWMH requests to the window manager over Qt's X11 connection. Every call is a no-op that returns
// false when the app does not run on X11.

#include <string>

class QWidget;

namespace keyglass::x11 {

/// Asks the window manager to activate the first managed window whose WM_CLASS (instance or class)
/// equals `wmClass`, or whose owning process (_NET_WM_PID) runs an executable named `executable`.
/// Names compare case-insensitively; empty names match nothing. True when a window was found.
bool activateWindowOf(const std::string& wmClass, const std::string& executable);

/// Puts a top-level window on every desktop and keeps it above others and out of the task bar.
bool makeStickyAndAbove(QWidget* window);

} // namespace keyglass::x11
