#include "support/TempHome.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTest>

#include <memory>

namespace {

// Runs a tool to completion and returns its standard output.
QString run(const QString& program, const QStringList& arguments, int timeoutMs = 5000)
{
    QProcess p;
    p.start(program, arguments);
    if (!p.waitForFinished(timeoutMs))
        p.kill();
    return QString::fromUtf8(p.readAllStandardOutput());
}

bool hudVisible()
{
    return !run("xdotool", {"search", "--onlyvisible", "--name", "^Keyglass$"}).trimmed().isEmpty();
}

void pressChord()
{
    // No --window: that path sends synthetic events, which a grab on the root window never sees.
    run("xdotool", {"key", "ctrl+alt+shift+super+slash"});
}

class App
{
public:
    explicit App(const QString& home)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", home);
        env.remove("XDG_CONFIG_HOME");
        env.remove("XDG_DATA_HOME");
        env.remove("XDG_STATE_HOME");
        env.insert("QT_QPA_PLATFORM", "xcb");
        m_process.setProcessEnvironment(env);
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        m_process.start(KG_APP_PATH, {"--virtual", "quadgrid", "--virtual", "solodial", "--no-real-pads"});
    }
    ~App()
    {
        m_process.terminate();
        if (!m_process.waitForFinished(3000))
            m_process.kill();
        m_process.waitForFinished(1000);
    }
    QString output()
    {
        m_output += QString::fromUtf8(m_process.readAll());
        return m_output;
    }
    bool running() const { return m_process.state() == QProcess::Running; }

private:
    QProcess m_process;
    QString m_output;
};

} // namespace

class X11Test : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        if (qEnvironmentVariableIsEmpty("DISPLAY"))
            QSKIP("needs an X server (run under xvfb-run)");
        if (QStandardPaths::findExecutable("xdotool").isEmpty())
            QSKIP("needs xdotool");
    }

    void hotkeyTogglesTheFloatingPanelWithoutATray()
    {
        keyglass::test::TempHome home;
        App app(QString::fromStdString(home.path().string()));
        QTRY_VERIFY_WITH_TIMEOUT(app.output().contains("Keyglass v2 starting (generic multi-device menu bar mode)..."),
                                 10000);
        QTRY_VERIFY_WITH_TIMEOUT(app.output().contains("HUD toggle hotkey (Hyper+/) handler="), 10000);
        QVERIFY2(app.output().contains("HUD toggle hotkey (Hyper+/) handler=0 reg=0"), qPrintable(app.output()));
        QTRY_VERIFY_WITH_TIMEOUT(app.output().contains("Refreshed 2 device(s)"), 10000);

        // No tray host: the panel is up from the start, and the chord hides and shows it.
        QTRY_VERIFY_WITH_TIMEOUT(hudVisible(), 5000);
        pressChord();
        QTRY_VERIFY_WITH_TIMEOUT(!hudVisible(), 5000);
        pressChord();
        QTRY_VERIFY_WITH_TIMEOUT(hudVisible(), 5000);

        // NumLock on: the grab of the lock variants still catches the chord.
        run("xdotool", {"key", "Num_Lock"});
        pressChord();
        QTRY_VERIFY_WITH_TIMEOUT(!hudVisible(), 5000);
        run("xdotool", {"key", "Num_Lock"});
        QVERIFY(app.running());
    }

    void withATrayTheHudWaitsForTheChord()
    {
        if (QStandardPaths::findExecutable("trayer").isEmpty())
            QSKIP("needs trayer as a tray host");
        QProcess trayer;
        trayer.start("trayer", {"--edge", "top", "--align", "right", "--width", "10", "--height", "24"});
        QVERIFY(trayer.waitForStarted(3000));
        QTest::qWait(500);

        keyglass::test::TempHome home;
        {
            App app(QString::fromStdString(home.path().string()));
            QTRY_VERIFY_WITH_TIMEOUT(app.output().contains("Refreshed 2 device(s)"), 10000);
            QVERIFY2(app.output().contains("handler=0 reg=0"), qPrintable(app.output()));
            QTest::qWait(300);
            QVERIFY(!hudVisible());
            pressChord();
            QTRY_VERIFY_WITH_TIMEOUT(hudVisible(), 5000);
            pressChord();
            QTRY_VERIFY_WITH_TIMEOUT(!hudVisible(), 5000);
        }
        trayer.terminate();
        trayer.waitForFinished(2000);
    }
};

QTEST_GUILESS_MAIN(X11Test)
#include "X11Test.moc"
