// What Keyglass does through D-Bus where Wayland gives a client no keyboard grabs and no other
// windows: the HUD hotkey through the desktop portal and App Focus through D-Bus activation. Both run
// against services of our own on a private session bus (a dbus-daemon started for the test).

#include "app/HotkeyManager.h"
#include "app/wayland/DBusActivation.h"
#include "app/wayland/PortalHotkeyBackend.h"
#include "platform/ManualScheduler.h"
#include "support/TempHome.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QProcess>
#include <QScopeGuard>
#include <QTest>
#include <QThread>

#include <atomic>
#include <memory>

using namespace keyglass;

namespace {

/// What the portal does with BindShortcuts.
enum class Answer
{
    bind,
    cancel,
    bindNothing,
};

/// One entry of an a(sa{sv}) shortcut list, as the portal sees it.
struct Shortcut
{
    QString id;
    QVariantMap options;
};

QDBusArgument& operator<<(QDBusArgument& argument, const Shortcut& shortcut)
{
    argument.beginStructure();
    argument << shortcut.id << shortcut.options;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, Shortcut& shortcut)
{
    argument.beginStructure();
    argument >> shortcut.id >> shortcut.options;
    argument.endStructure();
    return argument;
}

} // namespace

Q_DECLARE_METATYPE(Shortcut)

namespace {

/// The portal's side of GlobalShortcuts, answered message by message.
class FakePortal : public QDBusVirtualObject
{
    Q_OBJECT
public:
    explicit FakePortal(QDBusConnection bus) : m_bus(std::move(bus))
    {
        qDBusRegisterMetaType<Shortcut>();
        qDBusRegisterMetaType<QList<Shortcut>>();
    }

    Answer answer = Answer::bind;
    QString boundTrigger;

    void press(const QString& shortcut)
    {
        QDBusMessage signal = QDBusMessage::createSignal(
            "/org/freedesktop/portal/desktop", "org.freedesktop.portal.GlobalShortcuts", "Activated");
        signal << QVariant::fromValue(QDBusObjectPath(m_session)) << shortcut << qulonglong(1) << QVariantMap{};
        m_bus.send(signal);
    }

    QString introspect(const QString&) const override { return {}; }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override
    {
        const auto args = message.arguments();
        if (message.member() == "Get" && message.interface() == "org.freedesktop.DBus.Properties") {
            if (args.value(0).toString() != "org.freedesktop.portal.GlobalShortcuts")
                return false;
            connection.send(message.createReply(QVariant::fromValue(QDBusVariant(uint(1)))));
            return true;
        }
        if (message.member() == "CreateSession") {
            const QVariantMap options = qdbus_cast<QVariantMap>(args.value(0));
            m_session = "/org/freedesktop/portal/desktop/session/1/" + options.value("session_handle_token").toString();
            const QString request = requestPath(message, options);
            connection.send(message.createReply(QVariant::fromValue(QDBusObjectPath(request))));
            respond(request, 0, {{"session_handle", m_session}});
            return true;
        }
        if (message.member() == "BindShortcuts") {
            const auto shortcuts = qdbus_cast<QList<Shortcut>>(args.value(1));
            if (!shortcuts.isEmpty())
                boundTrigger = shortcuts.front().options.value("preferred_trigger").toString();
            const QString request = requestPath(message, qdbus_cast<QVariantMap>(args.value(3)));
            connection.send(message.createReply(QVariant::fromValue(QDBusObjectPath(request))));
            if (answer == Answer::cancel) {
                respond(request, 1, {});
            } else {
                QList<Shortcut> bound;
                if (answer == Answer::bind && !shortcuts.isEmpty())
                    bound.push_back(
                        {shortcuts.front().id, {{"trigger_description", QString("Ctrl+Alt+Shift+Super+/")}}});
                respond(request, 0, {{"shortcuts", QVariant::fromValue(bound)}});
            }
            return true;
        }
        return false;
    }

private:
    static QString requestPath(const QDBusMessage& message, const QVariantMap& options)
    {
        QString sender = message.service();
        sender.remove(0, 1).replace('.', '_');
        return "/org/freedesktop/portal/desktop/request/" + sender + "/" + options.value("handle_token").toString();
    }

    // Answers after the call has returned, as a portal that asks the user does.
    void respond(const QString& request, uint code, const QVariantMap& results)
    {
        QMetaObject::invokeMethod(
            this,
            [this, request, code, results] {
                QDBusMessage signal = QDBusMessage::createSignal(request, "org.freedesktop.portal.Request", "Response");
                signal << code << results;
                m_bus.send(signal);
            },
            Qt::QueuedConnection);
    }

    QDBusConnection m_bus;
    QString m_session;
};

/// An application that can be activated over D-Bus; counts the calls.
class FakeApplication : public QDBusVirtualObject
{
    Q_OBJECT
public:
    std::atomic<int> activations{0};
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override
    {
        if (message.interface() != "org.freedesktop.Application" || message.member() != "Activate")
            return false;
        ++activations;
        connection.send(message.createReply());
        return true;
    }
};

/// The portal answers from a thread of its own, as a separate process would: the backend's blocking
/// calls wait on the main thread.
class PortalThread
{
public:
    PortalThread(QDBusConnection bus, Answer answer) : portal(bus)
    {
        portal.answer = answer;
        portal.moveToThread(&m_thread);
        m_thread.start();
        registered = bus.registerVirtualObject("/org/freedesktop/portal/desktop", &portal) &&
                     bus.registerService("org.freedesktop.portal.Desktop");
    }
    ~PortalThread()
    {
        m_thread.quit();
        m_thread.wait();
    }
    FakePortal portal;
    bool registered = false;

private:
    QThread m_thread;
};

/// A session bus of its own for each test, stopped with it.
class PrivateBus
{
public:
    PrivateBus()
    {
        m_daemon.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
        if (!m_daemon.waitForStarted() || !m_daemon.waitForReadyRead(5000))
            return;
        m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
    }
    ~PrivateBus()
    {
        for (const auto& name : m_names)
            QDBusConnection::disconnectFromBus(name);
        m_daemon.kill();
        m_daemon.waitForFinished();
    }
    bool running() const { return !m_address.isEmpty(); }
    QDBusConnection connect(const QString& name)
    {
        m_names << name;
        return QDBusConnection::connectToBus(m_address, name);
    }

private:
    QProcess m_daemon;
    QString m_address;
    QStringList m_names;
};

} // namespace

class WaylandTest : public QObject
{
    Q_OBJECT

private slots:
    void dbusActivationRaisesTheApplicationByItsDesktopFileId()
    {
        QCOMPARE(applicationObjectPath("org.example.Fake-App"), std::string("/org/example/Fake_App"));
        PrivateBus bus;
        QVERIFY(bus.running());
        QDBusConnection appBus = bus.connect("app");
        FakeApplication app;
        QThread appThread; // the application answers while this thread waits, as another process would
        app.moveToThread(&appThread);
        appThread.start();
        const auto stop = qScopeGuard([&] {
            appThread.quit();
            appThread.wait();
        });
        QVERIFY(appBus.registerVirtualObject("/org/example/Fake_App", &app));
        QVERIFY(appBus.registerService("org.example.Fake-App"));

        const QDBusConnection client = bus.connect("client");
        const auto activated = activateDBusApplication("org.example.Fake-App", client);
        QVERIFY2(activated.has_value(), activated ? "" : activated.error().message.c_str());
        QCOMPARE(app.activations.load(), 1);

        // Not running and nothing to start it: an error, so the caller launches the program instead.
        QVERIFY(!activateDBusApplication("org.example.Missing", client).has_value());
        for (const char* bad : {"", "firefox", "org..x", "org.9x", "org.x/y", ".org.x"})
            QVERIFY2(!activateDBusApplication(bad, client).has_value(), bad);
        QCOMPARE(app.activations.load(), 1);
    }

    void withoutAPortalNothingIsRegistered()
    {
        PrivateBus bus;
        QVERIFY2(bus.running(), "dbus-daemon did not start (it is installed by scripts/bootstrap)");
        PortalHotkeyBackend backend(bus.connect("client"));
        QVERIFY(!backend.available());
        QCOMPARE(backend.installHandler([](const HotkeyEvent*, void*) { return 0; }, nullptr),
                 PortalHotkeyBackend::NoPortal);
    }

    void aBoundShortcutTogglesTheHudAndTheLogLineWaitsForTheOutcome()
    {
        keyglass::test::TempHome home;
        keyglass::test::LogCapture log;
        PrivateBus bus;
        QVERIFY(bus.running());
        PortalThread host(bus.connect("portal"), Answer::bind);
        QVERIFY(host.registered);
        FakePortal& portal = host.portal;

        PortalHotkeyBackend backend(bus.connect("client"));
        QVERIFY(backend.available());
        ManualScheduler scheduler;
        HotkeyManager manager(backend, scheduler);
        int toggles = 0;
        manager.onToggleHUD = [&] { ++toggles; };
        manager.registerHotkey();
        QVERIFY(!manager.registrationStatus().has_value());
        QTRY_VERIFY(manager.registrationStatus().has_value());
        QCOMPARE(*manager.registrationStatus(), 0);
        QCOMPARE(portal.boundTrigger, QString("CTRL+ALT+SHIFT+LOGO+slash"));
        QVERIFY(log.contains("HUD toggle hotkey (Hyper+/) handler=0 reg=0"));

        QMetaObject::invokeMethod(&portal, [&portal] {
            portal.press("something-else");
            portal.press(PortalHotkeyBackend::ShortcutID);
        });
        QTRY_COMPARE((scheduler.runUntilIdle(), toggles), 1);
    }

    void aRefusalIsReportedAsTheOutcome()
    {
        for (const Answer answer : {Answer::cancel, Answer::bindNothing}) {
            keyglass::test::TempHome home;
            keyglass::test::LogCapture log;
            PrivateBus bus;
            QVERIFY(bus.running());
            PortalThread host(bus.connect("portal"), answer);
            QVERIFY(host.registered);

            PortalHotkeyBackend backend(bus.connect("client"));
            ManualScheduler scheduler;
            HotkeyManager manager(backend, scheduler);
            manager.registerHotkey();
            QTRY_VERIFY(manager.registrationStatus().has_value());
            const int expected = answer == Answer::cancel ? 1 : PortalHotkeyBackend::NotBound;
            QCOMPARE(*manager.registrationStatus(), expected);
            QVERIFY(log.contains("handler=0 reg=" + std::to_string(expected)));
        }
    }
};

QTEST_GUILESS_MAIN(WaylandTest)
#include "WaylandTest.moc"
