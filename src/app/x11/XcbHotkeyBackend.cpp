#include "app/x11/XcbHotkeyBackend.h"

#include <QGuiApplication>
#include <QtGui/qguiapplication_platform.h>

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <cstdlib>

namespace keyglass {

namespace {

struct X11
{
    xcb_connection_t* connection = nullptr;
    xcb_window_t root = 0;
};

X11 x11()
{
    X11 result;
    auto* app = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!app || !app->connection())
        return result;
    result.connection = app->connection();
    const xcb_setup_t* setup = xcb_get_setup(result.connection);
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(setup);
    if (screens.rem == 0)
        return X11{};
    result.root = screens.data->root;
    return result;
}

// A passive grab fires only on the exact modifier state, so the chord is grabbed once for every
// combination of the lock modifiers a user may have on.
constexpr std::uint16_t LockVariants[] = {0, XCB_MOD_MASK_2, XCB_MOD_MASK_LOCK, XCB_MOD_MASK_2 | XCB_MOD_MASK_LOCK};

} // namespace

XcbHotkeyBackend::XcbHotkeyBackend() = default;

XcbHotkeyBackend::~XcbHotkeyBackend()
{
    if (m_filterInstalled && QCoreApplication::instance())
        QCoreApplication::instance()->removeNativeEventFilter(this);
    ungrabAll();
}

bool XcbHotkeyBackend::matches(std::uint8_t detail, std::uint16_t state, std::uint8_t keycode)
{
    const std::uint16_t relevant = XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_1 | XCB_MOD_MASK_4;
    return keycode != 0 && detail == keycode && (state & relevant) == ChordModifiers;
}

int XcbHotkeyBackend::installHandler(Handler handler, void* userData)
{
    if (!x11().connection || !QCoreApplication::instance())
        return Unavailable;
    m_handler = std::move(handler);
    m_userData = userData;
    if (!m_filterInstalled) {
        QCoreApplication::instance()->installNativeEventFilter(this);
        m_filterInstalled = true;
    }
    return 0;
}

int XcbHotkeyBackend::registerHotkey(const HotkeyChord& chord, const HotkeyID& id)
{
    const X11 x = x11();
    if (!x.connection)
        return Unavailable;

    xcb_key_symbols_t* symbols = xcb_key_symbols_alloc(x.connection);
    if (!symbols)
        return Unavailable;
    xcb_keycode_t* codes = xcb_key_symbols_get_keycode(symbols, chord.keysym);
    const std::uint8_t keycode = codes ? codes[0] : 0;
    std::free(codes);
    xcb_key_symbols_free(symbols);
    if (keycode == 0)
        return Unavailable;

    std::vector<xcb_void_cookie_t> cookies;
    for (std::uint16_t lock : LockVariants)
        cookies.push_back(xcb_grab_key_checked(
            x.connection, 1, x.root, ChordModifiers | lock, keycode, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
    int status = 0;
    for (std::size_t i = 0; i < cookies.size(); ++i) {
        if (xcb_generic_error_t* error = xcb_request_check(x.connection, cookies[i])) {
            // BadAccess: another client holds the chord. Keep the first error's code as the status.
            if (status == 0)
                status = error->error_code;
            std::free(error);
        } else {
            m_grabs.push_back(Grab{keycode, std::uint16_t(ChordModifiers | LockVariants[i])});
        }
    }
    if (status != 0) {
        ungrabAll();
        return status;
    }
    m_keycode = keycode;
    m_id = id;
    return 0;
}

void XcbHotkeyBackend::ungrabAll()
{
    const X11 x = x11();
    if (x.connection) {
        for (const Grab& g : m_grabs)
            xcb_ungrab_key(x.connection, g.keycode, x.root, g.modifiers);
        if (!m_grabs.empty())
            xcb_flush(x.connection);
    }
    m_grabs.clear();
}

bool XcbHotkeyBackend::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*)
{
    if (eventType != "xcb_generic_event_t" || !message || m_keycode == 0)
        return false;
    auto* event = static_cast<xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7f) != XCB_KEY_PRESS)
        return false;
    auto* press = reinterpret_cast<xcb_key_press_event_t*>(event);
    if (!matches(press->detail, press->state, m_keycode))
        return false;
    if (m_handler) {
        const HotkeyEvent hotkey{&m_id};
        m_handler(&hotkey, m_userData);
    }
    return true;
}

} // namespace keyglass
