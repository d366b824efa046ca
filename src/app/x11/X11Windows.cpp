#include "app/x11/X11Windows.h"

#include <QGuiApplication>
#include <QWidget>
#include <QtGui/qguiapplication_platform.h>

#include <xcb/xcb.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string_view>
#include <vector>

namespace keyglass::x11 {

namespace {

xcb_connection_t* connection()
{
    auto* app = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return app ? app->connection() : nullptr;
}

xcb_window_t rootOf(xcb_connection_t* c)
{
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
    return it.rem ? it.data->root : 0;
}

xcb_atom_t atom(xcb_connection_t* c, const char* name)
{
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, std::strlen(name), name), nullptr);
    if (!reply)
        return XCB_ATOM_NONE;
    const xcb_atom_t a = reply->atom;
    std::free(reply);
    return a;
}

// Raw bytes of a window property, capped; a misbehaving client cannot make us read megabytes.
std::vector<std::uint8_t> property(xcb_connection_t* c, xcb_window_t w, xcb_atom_t prop, xcb_atom_t type)
{
    constexpr std::uint32_t MaxWords = 16384;
    std::vector<std::uint8_t> bytes;
    xcb_get_property_reply_t* reply =
        xcb_get_property_reply(c, xcb_get_property(c, 0, w, prop, type, 0, MaxWords), nullptr);
    if (!reply)
        return bytes;
    const int length = xcb_get_property_value_length(reply);
    if (length > 0) {
        const auto* data = static_cast<const std::uint8_t*>(xcb_get_property_value(reply));
        bytes.assign(data, data + length);
    }
    std::free(reply);
    return bytes;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

bool classMatches(const std::vector<std::uint8_t>& wmClass, const std::string& wanted)
{
    if (wanted.empty())
        return false;
    // WM_CLASS is "instance\0class\0".
    std::string_view all(reinterpret_cast<const char*>(wmClass.data()), wmClass.size());
    while (!all.empty()) {
        const auto end = all.find('\0');
        if (equalsIgnoringCase(all.substr(0, end), wanted))
            return true;
        if (end == std::string_view::npos)
            break;
        all.remove_prefix(end + 1);
    }
    return false;
}

bool executableMatches(std::uint32_t pid, const std::string& wanted)
{
    if (wanted.empty() || pid == 0)
        return false;
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/" + std::to_string(pid) + "/exe", ec);
    return !ec && equalsIgnoringCase(exe.filename().string(), wanted);
}

void sendToRoot(xcb_connection_t* c,
                xcb_window_t root,
                xcb_window_t window,
                xcb_atom_t type,
                std::initializer_list<std::uint32_t> data)
{
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = type;
    int i = 0;
    for (std::uint32_t d : data)
        event.data.data32[i++] = d;
    xcb_send_event(c,
                   0,
                   root,
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&event));
}

} // namespace

bool activateWindowOf(const std::string& wmClass, const std::string& executable)
{
    xcb_connection_t* c = connection();
    if (!c)
        return false;
    const xcb_window_t root = rootOf(c);
    const auto list = property(c, root, atom(c, "_NET_CLIENT_LIST"), XCB_ATOM_WINDOW);
    const xcb_atom_t pidAtom = atom(c, "_NET_WM_PID");
    for (std::size_t off = 0; off + 4 <= list.size(); off += 4) {
        xcb_window_t w;
        std::memcpy(&w, list.data() + off, 4);
        bool match = classMatches(property(c, w, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING), wmClass);
        if (!match) {
            const auto pid = property(c, w, pidAtom, XCB_ATOM_CARDINAL);
            std::uint32_t value = 0;
            if (pid.size() >= 4)
                std::memcpy(&value, pid.data(), 4);
            match = executableMatches(value, executable);
        }
        if (match) {
            // Source indication 2: a pager-like request, which window managers honour without a timestamp.
            sendToRoot(c, root, w, atom(c, "_NET_ACTIVE_WINDOW"), {2, XCB_CURRENT_TIME, 0});
            xcb_flush(c);
            return true;
        }
    }
    return false;
}

bool makeStickyAndAbove(QWidget* window)
{
    xcb_connection_t* c = connection();
    if (!c || !window)
        return false;
    const auto id = static_cast<xcb_window_t>(window->winId());
    const xcb_window_t root = rootOf(c);
    const xcb_atom_t state = atom(c, "_NET_WM_STATE");
    constexpr std::uint32_t Add = 1;
    for (const char* name : {"_NET_WM_STATE_STICKY", "_NET_WM_STATE_ABOVE", "_NET_WM_STATE_SKIP_TASKBAR"})
        sendToRoot(c, root, id, state, {Add, atom(c, name), 0, 1});
    const std::uint32_t allDesktops = 0xFFFFFFFF;
    xcb_change_property(
        c, XCB_PROP_MODE_REPLACE, id, atom(c, "_NET_WM_DESKTOP"), XCB_ATOM_CARDINAL, 32, 1, &allDesktops);
    sendToRoot(c, root, id, atom(c, "_NET_WM_DESKTOP"), {allDesktops, 1});
    xcb_flush(c);
    return true;
}

} // namespace keyglass::x11
