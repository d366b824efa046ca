#include "app/AppDelegate.h"
#include "app/CompositeInputSource.h"
#include "app/HotkeyManager.h"
#include "app/HudWindow.h"
#include "app/QtDesktop.h"
#include "app/TrayController.h"
#include "app/qt/QtScheduler.h"
#include "platform/ManualScheduler.h"
#include "store/PadStore.h"
#include "store/StatusText.h"
#include "support/TempHome.h"
#include "ui/DeckView.h"
#include "ui/SculptedKeycap.h"
#include "ui/views/HUDRootView.h"

#ifdef KG_HAVE_XCB
#include "app/x11/XcbHotkeyBackend.h"
#endif

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <memory>

using namespace keyglass;

namespace {

class FakeHotkeys final : public HotkeyBackend
{
public:
    int installs = 0;
    int registrations = 0;
    int installStatus = 0;
    int registerStatus = 0;
    Handler handler;
    void* userData = nullptr;

    int installHandler(Handler h, void* data) override
    {
        ++installs;
        handler = std::move(h);
        userData = data;
        return installStatus;
    }
    int registerHotkey(const HotkeyChord& chord, const HotkeyID&) override
    {
        ++registrations;
        lastKeysym = chord.keysym;
        return registerStatus;
    }
    int press(const HotkeyID* id) const
    {
        const HotkeyEvent event{id};
        return handler(&event, userData);
    }
    std::uint32_t lastKeysym = 0;
};

class ScriptedSource final : public InputEventSource
{
public:
    bool granted = true;
    std::vector<std::pair<int, int>> opened;
    std::vector<int> fds;
    std::vector<int> readyCalls;
    int status = 0;
    bool accessGranted(const std::vector<std::pair<int, int>>&) const override { return granted; }
    OpenResult open(const std::vector<std::pair<int, int>>& pads) override
    {
        opened = pads;
        return {status, int(pads.size())};
    }
    void close() override {}
    std::uint8_t systemModifiers() const override { return 0; }
    void setListener(Listener) override {}
    std::vector<int> fileDescriptors() const override { return fds; }
    void readReady(int fd) override { readyCalls.push_back(fd); }
};

DeviceModel namedDevice(const std::string& product, int layer)
{
    DeviceModel d;
    d.id = product == "quad" ? "1A86:FE16" : "5831:4249";
    d.product = product;
    d.layerCount = 4;
    d.activeLayer = layer;
    d.connected = true;
    return d;
}

} // namespace

class ShellTest : public QObject
{
    Q_OBJECT

private slots:
    void hotkeyRegistersOnceAndLogsBothStatuses()
    {
        keyglass::test::TempHome home;
        keyglass::test::LogCapture log;
        FakeHotkeys backend;
        ManualScheduler scheduler;
        HotkeyManager manager(backend, scheduler);
        manager.registerHotkey();
        manager.registerHotkey();
        QCOMPARE(backend.installs, 1);
        QCOMPARE(backend.registrations, 1);
        QCOMPARE(backend.lastKeysym, std::uint32_t(0x2f));
        int lines = 0;
        for (const auto& line : log.lines())
            lines += line.find("HUD toggle hotkey (Hyper+/) handler=0 reg=0") != std::string::npos;
        QCOMPARE(lines, 1);

        FakeHotkeys refused;
        refused.registerStatus = 10;
        HotkeyManager second(refused, scheduler);
        second.registerHotkey();
        QVERIFY(log.contains("HUD toggle hotkey (Hyper+/) handler=0 reg=10"));
        QCOMPARE(second.registrationStatus(), std::optional<int>(10));
    }

    void hotkeyEventsToggleOnlyForOurSignature()
    {
        keyglass::test::TempHome home;
        FakeHotkeys backend;
        ManualScheduler scheduler;
        HotkeyManager manager(backend, scheduler);
        int toggles = 0;
        manager.onToggleHUD = [&] { ++toggles; };
        manager.registerHotkey();

        const HotkeyID foreign{{'A', 'B', 'C', 'D'}, 1};
        QCOMPARE(backend.press(&foreign), HotkeyManager::EventNotHandled);
        QCOMPARE(backend.press(nullptr), HotkeyManager::EventNotHandled);
        QCOMPARE(HotkeyManager::handleEvent(nullptr, &manager), HotkeyManager::EventNotHandled);
        const HotkeyEvent ours{&HotkeyManager::ToggleID};
        QCOMPARE(HotkeyManager::handleEvent(&ours, nullptr), HotkeyManager::EventNotHandled);
        scheduler.runUntilIdle();
        QCOMPARE(toggles, 0);

        const HotkeyID numberTwo{{'K', 'G', 'L', 'S'}, 2};
        QCOMPARE(backend.press(&numberTwo), 0);
        QCOMPARE(toggles, 0); // handed to the main thread, not run inside the handler
        scheduler.runUntilIdle();
        QCOMPARE(toggles, 1);

        // Without an action a press is still accepted and does nothing.
        manager.onToggleHUD = nullptr;
        QCOMPARE(backend.press(&HotkeyManager::ToggleID), 0);
        scheduler.runUntilIdle();
        QCOMPARE(toggles, 1);
    }

    void hotkeyAfterTheDelegateIsGoneDoesNothing()
    {
        keyglass::test::TempHome home;
        FakeHotkeys backend;
        ManualScheduler scheduler;
        HotkeyManager manager(backend, scheduler);
        int toggles = 0;
        auto delegate = std::make_shared<int>(0);
        std::weak_ptr<int> weak = delegate;
        manager.onToggleHUD = [weak, &toggles] {
            if (weak.lock())
                ++toggles;
        };
        manager.registerHotkey();
        delegate.reset();
        QCOMPARE(backend.press(&HotkeyManager::ToggleID), 0);
        scheduler.runUntilIdle();
        QCOMPARE(toggles, 0);
    }

#ifdef KG_HAVE_XCB
    void x11ChordMatchingIgnoresLockModifiers_data()
    {
        QTest::addColumn<int>("detail");
        QTest::addColumn<int>("state");
        QTest::addColumn<bool>("matches");
        QTest::newRow("exact chord") << 61 << 0x4d << true;
        QTest::newRow("with NumLock") << 61 << 0x5d << true;
        QTest::newRow("with CapsLock") << 61 << 0x4f << true;
        QTest::newRow("with both") << 61 << 0x5f << true;
        QTest::newRow("without Super") << 61 << 0x0d << false;
        QTest::newRow("without Shift") << 61 << 0x4c << false;
        QTest::newRow("another key") << 62 << 0x4d << false;
    }

    void x11ChordMatchingIgnoresLockModifiers()
    {
        QFETCH(int, detail);
        QFETCH(int, state);
        QFETCH(bool, matches);
        QCOMPARE(XcbHotkeyBackend::matches(std::uint8_t(detail), std::uint16_t(state), 61), matches);
        QVERIFY(!XcbHotkeyBackend::matches(0, 0x4d, 0));
    }

    void x11BackendReportsUnavailableWithoutX()
    {
        if (QGuiApplication::platformName() == "xcb")
            QSKIP("running on X11");
        XcbHotkeyBackend backend;
        QCOMPARE(backend.installHandler([](const HotkeyEvent*, void*) { return 0; }, nullptr),
                 XcbHotkeyBackend::Unavailable);
        QCOMPARE(backend.registerHotkey(HotkeyChord{}, HotkeyManager::ToggleID), XcbHotkeyBackend::Unavailable);
    }
#endif

    void qtSchedulerRunsInOrderAndHonoursCancel()
    {
        QtScheduler scheduler;
        std::vector<int> ran;
        scheduler.postMain([&] { ran.push_back(1); });
        scheduler.postMain([&] { ran.push_back(2); });
        CancelToken cancelled = scheduler.postMainAfter(std::chrono::milliseconds(5), [&] { ran.push_back(99); });
        scheduler.postMainAfter(std::chrono::milliseconds(10), [&] { ran.push_back(3); });
        cancelled.cancel();
        QTRY_COMPARE(ran, (std::vector<int>{1, 2, 3}));

        // I/O runs on the worker thread and hands its result back to the main thread.
        std::atomic<bool> offMain{false};
        bool backOnMain = false;
        QThread* mainThread = QThread::currentThread();
        scheduler.postIO([&] {
            offMain = QThread::currentThread() != mainThread;
            scheduler.postMain([&] { backOnMain = QThread::currentThread() == mainThread; });
        });
        QTRY_VERIFY(backOnMain);
        QVERIFY(offMain.load());

        // Delayed I/O can be cancelled too.
        std::atomic<int> io{0};
        CancelToken token = scheduler.postIOAfter(std::chrono::milliseconds(20), [&] { io = 1; });
        token.cancel();
        scheduler.postIOAfter(std::chrono::milliseconds(30), [&] { io = 2; });
        QTRY_COMPARE(io.load(), 2);
    }

    void trayShowsTheStatusTitleAndTooltip()
    {
        keyglass::test::TempHome home;
        TrayController tray;
        std::vector<DeviceModel> none;
        tray.setStatus(QString::fromStdString(statusTitle(none)), QString::fromStdString(statusTooltip(none)));
        QCOMPARE(tray.title(), QString::fromUtf8(" —"));
        QCOMPARE(tray.toolTip(), QString::fromUtf8("Keyglass v2 — No Vial/VIA devices connected"));

        const std::vector<DeviceModel> two{namedDevice("quad", 2), namedDevice("Solo", 0)};
        tray.setStatus(QString::fromStdString(statusTitle(two)), QString::fromStdString(statusTooltip(two)));
        QCOMPARE(tray.title(), QString::fromUtf8(" Q2·S0"));
        QVERIFY(tray.toolTip().contains(QString::fromUtf8("  •  ")));
        QVERIFY(tray.toolTip().startsWith("quad: L2 ("));

        const auto actions = tray.menu()->actions();
        QCOMPARE(actions.size(), 6);
        QCOMPARE(actions[0]->text(), QString::fromUtf8("Toggle HUD (⌃⌥⇧⌘/)"));
        QVERIFY(actions[1]->isSeparator());
        QCOMPARE(actions[2]->text(), QString("Start at login"));
        QCOMPARE(actions[3]->text(), QString("Rescan USB Devices"));
        QCOMPARE(actions[4]->text(), QString("Release Pads"));
        QCOMPARE(actions[5]->text(), QString("Quit Keyglass"));
        int toggles = 0, rescans = 0;
        tray.onToggle = [&] { ++toggles; };
        tray.onRescan = [&] { ++rescans; };
        actions[0]->trigger();
        actions[3]->trigger();
        QCOMPARE(std::make_pair(toggles, rescans), std::make_pair(1, 1));

        // "Start at login" writes and removes the autostart entry, and shows what is on disk.
        QAction* atLogin = actions[2];
        QVERIFY(atLogin->isCheckable() && !atLogin->isChecked());
        atLogin->trigger();
        QVERIFY(atLogin->isChecked());
        const auto entry = home.path() / ".config" / "autostart" / "keyglass.desktop";
        QVERIFY(std::filesystem::exists(entry));
        atLogin->trigger();
        QVERIFY(!atLogin->isChecked());
        QVERIFY(!std::filesystem::exists(entry));
    }

    void trayImageCarriesTheTitleBesideTheDial()
    {
        keyglass::test::TempHome home;
        const QImage bare = renderTrayImage("", 22, 1.0);
        const QImage titled = renderTrayImage(QString::fromUtf8(" Q2·S0"), 22, 1.0);
        const QImage sharp = renderTrayImage(QString::fromUtf8(" Q2·S0"), 22, 2.0);
        QCOMPARE(bare.width(), 22);
        QVERIFY(titled.width() > 40);
        QCOMPARE(sharp.width(), titled.width() * 2);
        // Something is drawn in the text area.
        bool inked = false;
        for (int x = 24; x < titled.width() && !inked; ++x)
            for (int y = 0; y < titled.height() && !inked; ++y)
                inked = qAlpha(titled.pixel(x, y)) > 128;
        QVERIFY(inked);

        // Light ink and a dark rim, so the dial reads on light and dark panels.
        bool light = false, dark = false;
        for (int x = 0; x < bare.width(); ++x)
            for (int y = 0; y < bare.height(); ++y) {
                const QRgb px = bare.pixel(x, y);
                if (qAlpha(px) < 200)
                    continue;
                const int level = qGray(px);
                light = light || level > 200;
                dark = dark || level < 60;
            }
        QVERIFY(light && dark);

        // Square slots (most trays) get the dial alone; only a wide slot has room for the tags.
        QVERIFY(!trayHasRoomForTitle(QRect(0, 0, 22, 22)));
        QVERIFY(!trayHasRoomForTitle(QRect()));
        QVERIFY(trayHasRoomForTitle(QRect(0, 0, 60, 24)));
    }

    void compositeInputSplitsRealAndDemoPads()
    {
        ScriptedSource real, demo;
        real.fds = {7, 9};
        CompositeInputSource input(&real, &demo, [](int vid, int) { return vid == 0x5831; });
        const std::vector<std::pair<int, int>> pads{{0x1A86, 0xFE16}, {0x5831, 0x4249}};
        const auto result = input.open(pads);
        QCOMPARE(result.interfaces, 2);
        QCOMPARE(real.opened, (std::vector<std::pair<int, int>>{{0x1A86, 0xFE16}}));
        QCOMPARE(demo.opened, (std::vector<std::pair<int, int>>{{0x5831, 0x4249}}));

        QVERIFY(input.accessGranted(pads));
        real.granted = false;
        QVERIFY(!input.accessGranted(pads));
        // Demo pads alone need no access to the real input nodes.
        QVERIFY(input.accessGranted({{0x5831, 0x4249}}));

        real.status = 13;
        QCOMPARE(input.open(pads).status, 13);
        QCOMPARE(input.fileDescriptors(), (std::vector<int>{7, 9}));
        input.readReady(9);
        QCOMPARE(real.readyCalls, std::vector<int>{9});
    }

    void gecosGivesTheNameBeforeTheFirstComma()
    {
        QCOMPARE(fullNameFromGecos("Ada Lovelace,,,"), std::string("Ada Lovelace"));
        QCOMPARE(fullNameFromGecos("Grace Hopper"), std::string("Grace Hopper"));
        QCOMPARE(fullNameFromGecos(""), std::string());
        QCOMPARE(fullNameFromGecos(nullptr), std::string());
    }

    void alertReturnsTheIndexOfTheChosenButton()
    {
        QtDesktop desktop;
        AlertRequest request;
        request.message = "Unlock this key?";
        request.informativeText = "It holds a firmware-custom keycode.";
        request.buttons = {"Unlock", "Keep Locked", "Cancel"};
        QString seenText, seenInfo;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QVERIFY(box);
            seenText = box->text();
            seenInfo = box->informativeText();
            for (QAbstractButton* b : box->buttons())
                if (b->text() == "Keep Locked")
                    b->click();
        });
        QCOMPARE(desktop.runAlert(request), 1);
        QCOMPARE(seenText, QString("Unlock this key?"));
        QCOMPARE(seenInfo, QString("It holds a firmware-custom keycode."));

        QTimer::singleShot(0, [] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
                box->reject();
        });
        QCOMPARE(desktop.runAlert(request), -1);
    }

    void openPanelShowsItsMessage()
    {
        keyglass::test::TempHome home;
        QtDesktop desktop;
        OpenPanelRequest request;
        request.title = "Restore Layout to Pad";
        request.message = "Select a Keyglass backup (.json)";
        request.directory = home.path();
        keyglass::test::writeText(home.path() / "b.json", "{}");
        QString title, message;
        bool messageVisible = false;
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            title = dialog->windowTitle();
            if (auto* label = dialog->findChild<QLabel*>("openPanelMessage")) {
                message = label->text();
                messageVisible = label->isVisible();
            }
            dialog->selectFile(QString::fromStdString((home.path() / "b.json").string()));
            static_cast<QDialog*>(dialog)->accept(); // QFileDialog::accept is protected
        });
        const auto chosen = desktop.chooseOpenFile(request);
        QCOMPARE(title, QString("Restore Layout to Pad"));
        QCOMPARE(message, QString("Select a Keyglass backup (.json)"));
        QVERIFY(messageVisible);
        QVERIFY(chosen.has_value());
        QCOMPARE(chosen->filename().string(), std::string("b.json"));

        QTimer::singleShot(0, [] {
            if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget()))
                dialog->reject();
        });
        QVERIFY(!desktop.chooseOpenFile(request).has_value());
    }

    void focusLaunchesTheDesktopEntryWhenNothingRuns()
    {
        keyglass::test::TempHome home;
        const auto marker = home.path() / "launched";
        const auto entry = home.path() / "marker.desktop";
        keyglass::test::writeText(
            entry, "[Desktop Entry]\nType=Application\nName=Marker\nExec=/usr/bin/touch " + marker.string() + "\n");
        QtDesktop desktop;
        QVERIFY(desktop.focusApplication(entry.string()).has_value());
        QTRY_VERIFY(std::filesystem::exists(marker));
        // Nothing to run is an error, not a silent success.
        QVERIFY(!desktop.focusApplication("").has_value());
    }

    // With no pads, one of each kind and both: the window is at least the preferred size, never narrower
    // than the HUD needs, and every label either shows its whole text or says it on hover.
    void theWindowFitsItsContent()
    {
        const std::vector<std::vector<std::string>> setups{{}, {"quadgrid"}, {"solodial"}, {"quadgrid", "solodial"}};
        for (const auto& pads : setups) {
            keyglass::test::TempHome home;
            AppOptions options;
            options.virtualPads = pads;
            options.includeRealPads = false;
            AppDelegate delegate(options);
            QVERIFY(delegate.start());
            QTRY_COMPARE(delegate.store().devices().size(), pads.size());
            QCoreApplication::processEvents();
            const PreferredSize preferred = delegate.store().preferredSize();
            const QSize shown = delegate.panel().size();
            const QString setup = QString::number(pads.size()) + " pads " +
                                  (pads.empty() ? QString() : QString::fromStdString(pads.front()));
            QVERIFY2(shown.width() >= preferred.width && shown.height() >= preferred.height, qPrintable(setup));
            QVERIFY2(shown.width() >= delegate.hud().minimumSizeHint().width(), qPrintable(setup));
            for (const QLabel* label : delegate.hud().findChildren<QLabel*>()) {
                if (!label->isVisible() || label->text().isEmpty() || label->wordWrap() ||
                    label->textFormat() == Qt::RichText)
                    continue;
                const int needed = label->fontMetrics().horizontalAdvance(label->text());
                const bool fits = label->contentsRect().width() >= needed;
                QVERIFY2(fits || !label->toolTip().isEmpty(),
                         qPrintable(setup + ": \"" + label->text() + "\" needs " + QString::number(needed) +
                                    " px, has " + QString::number(label->contentsRect().width())));
            }
        }
    }

    void withoutATrayTheHudStartsInThePanel()
    {
        keyglass::test::TempHome home;
        AppOptions options;
        options.virtualPads = {"quadgrid", "solodial"};
        options.includeRealPads = false;
        AppDelegate delegate(options);
        QVERIFY(delegate.start());
        QVERIFY(!delegate.trayAvailable());
        QVERIFY(delegate.panel().isVisible());
        QVERIFY(delegate.store().isPinnedFloating());
        QTRY_COMPARE(delegate.store().devices().size(), std::size_t(2));
        QCOMPARE(delegate.tray().title(), QString::fromUtf8(" Q0·S1"));

        const PreferredSize size = delegate.store().preferredSize();
        QTRY_COMPARE(delegate.panel().width(), delegate.hud().shownSize().width());
        QVERIFY(delegate.panel().width() >= size.width && delegate.panel().height() >= size.height);

        delegate.toggleUI();
        QVERIFY(!delegate.hudVisible());
        delegate.toggleUI();
        QVERIFY(delegate.panel().isVisible());

        // Unpinning moves the HUD into the popover.
        delegate.setPinned(false);
        QVERIFY(!delegate.panel().isVisible());
        QVERIFY(delegate.popover().isVisible());
        QCOMPARE(delegate.hud().parentWidget(), static_cast<QWidget*>(&delegate.popover()));
        delegate.toggleUI();
        QVERIFY(!delegate.hudVisible());
        delegate.setPinned(true);
        QCOMPARE(delegate.hud().parentWidget(), static_cast<QWidget*>(&delegate.panel()));

        // Demo pads: Alt+click presses the pad and the live input lights the key.
        delegate.store().selectDevice("1A86:FE16");
        GenericDeviceCard* card = delegate.hud().card();
        QVERIFY(card->isVisible());
        QTRY_VERIFY(delegate.store().autoDetectEnabled());
        SculptedKeycap* cap = card->deck()->keycap(1, 1);
        QVERIFY(cap);
        QTest::mouseClick(cap, Qt::LeftButton, Qt::NoModifier, cap->rect().center());
        QTest::qWait(60);
        QVERIFY(!cap->isLit());
        QTest::mouseClick(cap, Qt::LeftButton, Qt::AltModifier, cap->rect().center());
        QTRY_VERIFY(cap->isLit());
        QTRY_VERIFY_WITH_TIMEOUT(!cap->isLit(), 2000);

        // The tray lets the pads go for another configurator and takes them back.
        auto* release = delegate.tray().menu()->findChild<QAction*>("releasePads");
        QVERIFY(release);
        QCOMPARE(release->text(), QString(TrayController::ReleaseText));
        release->trigger();
        QVERIFY(delegate.store().padsReleased());
        QCOMPARE(release->text(), QString(TrayController::ResumeText));
        release->trigger();
        QVERIFY(!delegate.store().padsReleased());
        QCOMPARE(release->text(), QString(TrayController::ReleaseText));
    }
};

QTEST_MAIN(ShellTest)
#include "ShellTest.moc"
