#pragma once

#include <QObject>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace keyglass {

class CompositeInputSource;
class EvdevInputSource;
class HUDRootView;
class HotkeyBackend;
class HotkeyManager;
class HttpClient;
class QtHttpTransport;
class HudWindow;
class InputNotifiers;
class PadEnvironment;
class PadStore;
class QtDesktop;
class QtScheduler;
class SettingsStore;
class TrayController;
class VirtualInputSource;

struct AppOptions
{
    /// Adds the built-in virtual pads, kept under the demo state folder.
    bool demo = false;
    /// Further virtual pads (makeVirtualPad pad descriptions).
    std::vector<std::string> virtualPads;
    /// Leaves out real pads (tests on machines with pads attached).
    bool includeRealPads = true;
    /// Starts with the pads released (tray "Resume Pads" takes them back).
    bool padsReleased = false;
};

/// The application shell: one store, the tray item, the popover and the floating panel, and the HUD
/// hotkey. Lives for the whole process.
class AppDelegate : public QObject
{
    Q_OBJECT
public:
    explicit AppDelegate(AppOptions options);
    ~AppDelegate() override;

    /// The launch sequence. False when the pads could not be set up at all.
    bool start();

    void toggleUI();
    void refreshHardware();
    void quitApp();
    /// Pin (pop out into the panel) or unpin (back to the popover).
    void setPinned(bool floating);

    PadStore& store() { return *m_store; }
    HudWindow& popover() { return *m_popover; }
    HudWindow& panel() { return *m_panel; }
    TrayController& tray() { return *m_tray; }
    HUDRootView& hud() { return *m_hud; }
    bool trayAvailable() const { return m_trayAvailable; }
    /// Whether the HUD is on screen in either host.
    bool hudVisible() const;

private:
    void updateStatusItem();
    void applyPreferredSize();
    void wireDemoActions();
    void watchForTrayHost();

    AppOptions m_options;
    bool m_trayAvailable = false;
    std::chrono::steady_clock::time_point m_popoverDismissedAt{};

    // Construction order matters: the store uses everything above it and goes before it.
    std::unique_ptr<QtScheduler> m_scheduler;
    std::unique_ptr<PadEnvironment> m_pads;
    std::unique_ptr<EvdevInputSource> m_evdev;
    std::unique_ptr<VirtualInputSource> m_virtualInput;
    std::unique_ptr<CompositeInputSource> m_input;
    std::unique_ptr<SettingsStore> m_settings;
    std::unique_ptr<QtDesktop> m_desktop;
    std::unique_ptr<QtHttpTransport> m_httpTransport;
    std::unique_ptr<HttpClient> m_http;
    std::unique_ptr<TrayController> m_tray;
    std::unique_ptr<HudWindow> m_popover;
    std::unique_ptr<HudWindow> m_panel;
    std::unique_ptr<PadStore> m_store;
    std::unique_ptr<InputNotifiers> m_notifiers;
    std::unique_ptr<HotkeyBackend> m_hotkeyBackend;
    std::unique_ptr<HotkeyManager> m_hotkeys;
    HUDRootView* m_hud = nullptr; // owned by whichever window hosts it
    int m_observer = 0;
};

} // namespace keyglass
