#pragma once

#include "platform/HotkeyBackend.h"

#include <QAbstractNativeEventFilter>

#include <cstdint>
#include <memory>
#include <vector>

namespace keyglass {

/// The global hot key on X11: a passive grab of the chord on the root window of Qt's own connection,
/// so the key presses arrive in Qt's event stream, where one native event filter picks them out.
/// Without an X11 connection (Wayland, offscreen) both calls report Unavailable.
class XcbHotkeyBackend final : public HotkeyBackend, private QAbstractNativeEventFilter
{
public:
    static constexpr int Unavailable = -1;
    /// The modifiers of the chord in X11 terms: Control, Shift, Mod1 (Alt), Mod4 (Super).
    static constexpr std::uint16_t ChordModifiers = 0x0004 | 0x0001 | 0x0008 | 0x0040;

    XcbHotkeyBackend();
    ~XcbHotkeyBackend() override;

    int installHandler(Handler handler, void* userData) override;
    int registerHotkey(const HotkeyChord& chord, const HotkeyID& id) override;

    /// Whether an X key press event (detail, state) is our chord; lock modifiers are ignored.
    static bool matches(std::uint8_t detail, std::uint16_t state, std::uint8_t keycode);

private:
    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;
    void ungrabAll();

    Handler m_handler;
    void* m_userData = nullptr;
    bool m_filterInstalled = false;
    struct Grab
    {
        std::uint8_t keycode = 0;
        std::uint16_t modifiers = 0;
    };
    std::vector<Grab> m_grabs;
    std::uint8_t m_keycode = 0;
    HotkeyID m_id;
};

} // namespace keyglass
