#pragma once
// The desktop's global hot-key service as HotkeyManager sees it. The X11 implementation grabs the
// chord on the root window; tests use a fake that fires events on demand.

#include <array>
#include <cstdint>
#include <functional>

namespace keyglass {

/// Identifies one registered hot key: a four-character signature and a number.
struct HotkeyID
{
    std::array<char, 4> signature{};
    std::uint32_t number = 0;
};

/// What the service hands the handler for one press. `id` is null when it could not be read.
struct HotkeyEvent
{
    const HotkeyID* id = nullptr;
};

/// The chord the HUD toggle uses: Control+Alt+Shift+Super and the slash key.
struct HotkeyChord
{
    static constexpr std::uint32_t SlashKeysym = 0x002f; // XK_slash
    std::uint32_t keysym = SlashKeysym;
};

class HotkeyBackend
{
public:
    /// Returns the status to report for one event; `userData` is what was given to installHandler.
    using Handler = std::function<int(const HotkeyEvent* event, void* userData)>;

    virtual ~HotkeyBackend() = default;
    /// Installs the one handler for hot-key presses. Returns 0 on success, else a platform status.
    virtual int installHandler(Handler handler, void* userData) = 0;
    /// Registers `chord` under `id`. Returns 0 on success, else a platform status (on X11 the error
    /// code of the grab, e.g. 10 for BadAccess when another client holds the chord).
    virtual int registerHotkey(const HotkeyChord& chord, const HotkeyID& id) = 0;
};

} // namespace keyglass
