#include "app/AppDelegate.h"

#include "app/CompositeInputSource.h"
#include "app/HotkeyManager.h"
#include "app/HudWindow.h"
#include "app/QtDesktop.h"
#include "app/TrayController.h"
#include "app/qt/InputNotifiers.h"
#include "app/qt/QtHttpTransport.h"
#include "app/qt/QtScheduler.h"
#include "app/wayland/PortalHotkeyBackend.h"
#include "input/linux/EvdevInputSource.h"
#include "padenv/PadEnvironment.h"
#include "platform/HttpClient.h"
#include "platform/Log.h"
#include "platform/Paths.h"
#include "platform/SettingsStore.h"
#include "sim/VirtualInputSource.h"
#include "store/PadStore.h"
#include "store/StatusText.h"
#include "ui/views/HUDRootView.h"

#ifdef KG_HAVE_XCB
#include "app/x11/XcbHotkeyBackend.h"
#endif

#include <QApplication>
#include <QPointer>
#include <QSystemTrayIcon>
#include <QTimer>

#include <filesystem>

namespace keyglass {

namespace {

// Without X11 there is no hot-key service at all; the tray and panel stay the way in.
class UnavailableHotkeys final : public HotkeyBackend
{
public:
    int installHandler(Handler, void*) override { return -1; }
    int registerHotkey(const HotkeyChord&, const HotkeyID&) override { return -1; }
};

constexpr auto DismissGrace = std::chrono::milliseconds(300);
constexpr auto TrayHostRetry = std::chrono::seconds(5);
constexpr int TrayHostAttempts = 5;

} // namespace

AppDelegate::AppDelegate(AppOptions options) : m_options(std::move(options)) {}

AppDelegate::~AppDelegate()
{
    if (m_store)
        m_store->removeObserver(m_observer);
    // The windows own the HUD view, which observes the store: they go first.
    m_popover.reset();
    m_panel.reset();
    m_hotkeys.reset();
    m_notifiers.reset();
    m_store.reset();
    // Join the I/O thread while the pads and input sources it may still be using exist.
    m_input.reset();
    m_virtualInput.reset();
    m_evdev.reset();
    m_scheduler.reset();
}

bool AppDelegate::start()
{
    QApplication::setQuitOnLastWindowClosed(false);
    logLine("Keyglass v2 starting (generic multi-device menu bar mode)...");

    std::vector<std::string> padList = m_options.virtualPads;
    if (m_options.demo) {
        const auto dir = paths::demoStateDir();
        std::error_code ec;
        std::filesystem::create_directories(dir, ec);
        padList.push_back("quadgrid@" + (dir / "quadgrid.json").string());
        padList.push_back("solodial@" + (dir / "solodial.json").string());
    }
    auto pads = PadEnvironment::create(padList, m_options.includeRealPads);
    if (!pads) {
        logLine("Could not set up the pads: " + pads.error().message);
        return false;
    }
    m_pads = std::move(*pads);

    m_scheduler = std::make_unique<QtScheduler>();
    m_evdev = std::make_unique<EvdevInputSource>();
    m_virtualInput = std::make_unique<VirtualInputSource>(*m_scheduler);
    for (const auto& pad : m_pads->virtualPads())
        m_virtualInput->addPad(pad);
    VirtualHidBackend* virtualHid = &m_pads->virtualBackend();
    m_input = std::make_unique<CompositeInputSource>(
        m_options.includeRealPads ? m_evdev.get() : nullptr, m_virtualInput.get(), [virtualHid](int vid, int pid) {
            for (const auto& pad : virtualHid->pads())
                if (pad->config().vid == vid && pad->config().pid == pid)
                    return true;
            return false;
        });
    m_settings = std::make_unique<JsonFileSettingsStore>(paths::settingsFile());
    m_desktop = std::make_unique<QtDesktop>();
    m_httpTransport = std::make_unique<QtHttpTransport>();
    m_http = std::make_unique<HttpClient>(*m_scheduler, *m_httpTransport);

    m_trayAvailable = QSystemTrayIcon::isSystemTrayAvailable();
    m_tray = std::make_unique<TrayController>();
    m_popover = std::make_unique<HudWindow>(HudWindow::Kind::popover);
    m_panel = std::make_unique<HudWindow>(HudWindow::Kind::panel);
    m_popover->onDismissed = [this] { m_popoverDismissedAt = std::chrono::steady_clock::now(); };

    m_store = std::make_unique<PadStore>(PadStoreServices{
        *m_scheduler, m_pads->backend(), *m_input, *m_settings, *m_desktop, m_options.padsReleased, m_http.get()});

    QPointer<AppDelegate> self(this);
    m_store->onStatusChange = [this] { updateStatusItem(); };
    m_store->onPreferredSizeChange = [this](PreferredSize) { applyPreferredSize(); };
    m_store->onFocusApp = [this](const std::string& appPath) {
        if (auto result = m_desktop->focusApplication(appPath); !result)
            logLine("Failed to focus " + appPath + ": " + result.error().message);
    };

#ifdef KG_HAVE_XCB
    if (QGuiApplication::platformName() == "xcb")
        m_hotkeyBackend = std::make_unique<XcbHotkeyBackend>();
#endif
    // Wayland gives no client the keyboard: the desktop portal binds the shortcut where it can.
    if (!m_hotkeyBackend && QGuiApplication::platformName().startsWith("wayland")) {
        auto portal = std::make_unique<PortalHotkeyBackend>();
        if (portal->available())
            m_hotkeyBackend = std::move(portal);
    }
    if (!m_hotkeyBackend)
        m_hotkeyBackend = std::make_unique<UnavailableHotkeys>();
    m_hotkeys = std::make_unique<HotkeyManager>(*m_hotkeyBackend, *m_scheduler);
    m_hotkeys->onToggleHUD = [self] {
        if (self)
            self->toggleUI();
    };
    m_hotkeys->registerHotkey();

    // The live input descriptors change with every refresh; keep the event loop watching the current set.
    m_notifiers = std::make_unique<InputNotifiers>(*m_input);
    m_input->setDescriptorsChangedListener([self] {
        if (self)
            self->m_notifiers->sync();
    });
    m_notifiers->sync();

    m_tray->onToggle = [this] { toggleUI(); };
    m_tray->onRescan = [this] { refreshHardware(); };
    m_tray->onReleasePads = [this](bool release) { m_store->setPadsReleased(release); };
    m_observer = m_store->addObserver([this] {
        m_notifiers->sync();
        m_tray->setPadsReleased(m_store->padsReleased());
        // The HUD's minimum changes with what it shows, not only with the preferred size.
        if (m_hud)
            applyPreferredSize();
    });
    m_tray->onQuit = [this] { quitApp(); };
    updateStatusItem();
    m_tray->show();

    m_hud = new HUDRootView(*m_store);
    m_hud->onTogglePin = [this](bool floating) { setPinned(floating); };
    m_hud->onQuit = [this] { quitApp(); };
    m_desktop->raiseHud = [this] {
        HudWindow* host = m_store->isPinnedFloating() ? m_panel.get() : m_popover.get();
        if (host->isVisible()) {
            host->raise();
            host->activateWindow();
        }
    };
    if (m_options.demo || !m_options.virtualPads.empty())
        wireDemoActions();
    applyPreferredSize();

    // Without a tray host there is no icon to click: the HUD goes straight into the panel.
    if (!m_trayAvailable) {
        m_store->setPinnedFloating(true);
        m_panel->adopt(m_hud);
        m_panel->showPanel();
        watchForTrayHost();
    } else {
        (m_store->isPinnedFloating() ? m_panel : m_popover)->adopt(m_hud);
    }
    return true;
}

void AppDelegate::watchForTrayHost()
{
    // The session's panel may start after us; look for a tray host a few more times.
    auto* timer = new QTimer(this);
    auto attempts = std::make_shared<int>(0);
    connect(timer, &QTimer::timeout, this, [this, timer, attempts] {
        if (QSystemTrayIcon::isSystemTrayAvailable()) {
            m_trayAvailable = true;
            m_tray->show();
        }
        if (m_trayAvailable || ++*attempts >= TrayHostAttempts)
            timer->deleteLater();
    });
    timer->start(TrayHostRetry);
}

void AppDelegate::wireDemoActions()
{
    PadEnvironment* pads = m_pads.get();
    auto find = [pads](const std::string& deviceID) -> std::shared_ptr<VirtualPad> {
        for (const auto& pad : pads->virtualPads())
            if (pad->identifier() == deviceID)
                return pad;
        return nullptr;
    };
    DemoActions demo;
    demo.press = [find](const std::string& deviceID, int row, int col) {
        if (auto pad = find(deviceID)) {
            pad->press(row, col);
            return true;
        }
        return false;
    };
    demo.turn = [find](const std::string& deviceID, int encoder, bool clockwise) {
        if (auto pad = find(deviceID)) {
            pad->turn(encoder, clockwise);
            return true;
        }
        return false;
    };
    m_hud->setDemoActions(demo);
}

void AppDelegate::updateStatusItem()
{
    const auto& devices = m_store->devices();
    m_tray->setStatus(QString::fromStdString(statusTitle(devices)), QString::fromStdString(statusTooltip(devices)));
}

void AppDelegate::applyPreferredSize()
{
    const PreferredSize preferred = m_store->preferredSize();
    const QSize size = m_hud ? m_hud->shownSize() : QSize(preferred.width, preferred.height);
    m_popover->setContentSize(size);
    m_panel->setContentSize(size);
}

bool AppDelegate::hudVisible() const
{
    return (m_popover && m_popover->isVisible()) || (m_panel && m_panel->isVisible());
}

void AppDelegate::toggleUI()
{
    if (m_store->isPinnedFloating()) {
        if (m_panel->isVisible()) {
            m_panel->hide();
            return;
        }
        m_store->refresh();
        m_panel->adopt(m_hud);
        m_panel->showPanel();
        return;
    }
    if (m_popover->isVisible()) {
        m_popover->hide();
        return;
    }
    // The click on the tray icon that closed the popover must not open it again.
    if (std::chrono::steady_clock::now() - m_popoverDismissedAt < DismissGrace)
        return;
    m_store->refresh();
    m_popover->adopt(m_hud);
    m_popover->showBelow(m_trayAvailable ? m_tray->geometry() : QRect());
}

void AppDelegate::setPinned(bool floating)
{
    m_store->setPinnedFloating(floating);
    if (floating) {
        m_popover->hide();
        m_panel->adopt(m_hud);
        m_panel->showPanel();
    } else {
        m_panel->hide();
        m_popover->adopt(m_hud);
        m_popover->showBelow(m_trayAvailable ? m_tray->geometry() : QRect());
    }
}

void AppDelegate::refreshHardware()
{
    m_store->refresh();
}

void AppDelegate::quitApp()
{
    QCoreApplication::quit();
}

} // namespace keyglass
