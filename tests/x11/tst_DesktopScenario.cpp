// The console on a desktop as a user meets it: a virtual X display with a
// window manager and a notification area (run_on_display.sh --wm --tray),
// real pelion processes driven through the close box and real mouse clicks on
// the tray icons and their menus, and a real browser on the simulated
// equipment's older interface. Pictures of every step are kept in
// $PELION_ARTEFACTS.

#include "console/browser/CEquipmentPages.h"
#include "tests/console/EquipmentSimProcess.h"
#include "tests/console/PelionProcessKit.h"
#include "tests/kit/TestFiles.h"
#include "tests/x11/CTestDesktop.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUdpSocket>
#include <QWindow>
#include <QtTest>

#include <unistd.h>

namespace {

constexpr int kStartMs = 60000;
constexpr int kDesktopMs = 20000;
constexpr int kConsoleMenuItems = 6;
// The file server's menu as shown: "Monitor", a separator, "About".
constexpr int kServerMenuItems = 3;

const QString kSplashTitle = QStringLiteral("Pelion Console");
const QString kMainTitle =
    QStringLiteral("Pelion Console ver. %1a").arg(QLatin1String(PELION_TEST_PROJECT_VERSION));
const QString kBrowser = QStringLiteral("/usr/bin/firefox-esr");
const QString kEquipmentAddress = QStringLiteral("127.0.0.41");

// A port no one holds right now (0 when none could be had).
quint16 FreeTcpPort()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::Any, 0) ? probe.serverPort() : 0;
}
quint16 FreeUdpPort()
{
    QUdpSocket probe;
    return probe.bind(QHostAddress::Any, 0) ? probe.localPort() : 0;
}
bool IsUdpPortHeld(quint16 port)
{
    QUdpSocket probe;
    return !probe.bind(QHostAddress::Any, port);
}

} // namespace

enum class ESituation { SecondInstance, DeadInstanceLock, SiblingManager, HelpPortHeld };
Q_DECLARE_METATYPE(ESituation)

class tst_DesktopScenario final : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
        QVERIFY(m_desktop.IsValid());
        // The tray host starts beside the test.
        QTRY_VERIFY_WITH_TIMEOUT(m_desktop.HasTray(), 15000);
    }

    void cleanup()
    {
        EndProcess(m_pelion);
        EndProcess(m_browser);
    }

    // Starts with three book entries and the file server. The close box hides
    // the window; the file server's icon opens its menu and its monitor with
    // two sessions; the console's menu brings the window back with "Pelion
    // Main" and ends the program with "Exit", status 0.
    void consoleFromStartToExit()
    {
        CPelionHome home;
        home.WriteBook(3);
        const quint16 tftpPort = FreeUdpPort();
        const quint16 ftpPort = FreeTcpPort();
        QVERIFY(tftpPort != 0 && ftpPort != 0);
        QProcessEnvironment environment = home.Environment(QStringLiteral("messages"));
        environment.insert(QStringLiteral("PELION_TFTP_PORT"), QString::number(tftpPort));
        environment.insert(QStringLiteral("PELION_FTP_PORT"), QString::number(ftpPort));
        StartPelion(m_pelion, environment);

        const WindowHandle splash = WaitForWindow(kSplashTitle);
        QVERIFY(splash != 0);
        QTRY_VERIFY_WITH_TIMEOUT(m_desktop.IsPainted(splash), 10000);
        QVERIFY(m_desktop.Save(splash, QStringLiteral("pelion-splash.png")));

        const WindowHandle main = WaitForWindow(kMainTitle);
        QVERIFY(main != 0);
        // The splash has gone before the window shows.
        QVERIFY(!m_desktop.Windows().TopLevelWindows().contains(splash));
        QTRY_VERIFY_WITH_TIMEOUT(m_desktop.IsPainted(main), 10000);
        QVERIFY(m_desktop.Save(main, QStringLiteral("pelion-main-window.png")));
        // The file server serves TFTP on the port it was given.
        QVERIFY(IsUdpPortHeld(tftpPort));

        // The close box: the window goes, the program stays.
        m_desktop.RequestClose(main);
        QTRY_VERIFY_WITH_TIMEOUT(!m_desktop.Windows().TopLevelWindows().contains(main), 10000);
        QCOMPARE(m_pelion.state(), QProcess::Running);

        // Two icons, the file server's first.
        const qint64 pid = m_pelion.processId();
        QTRY_COMPARE_WITH_TIMEOUT(m_desktop.TrayIcons(pid).size(), 2, 10000);
        const QList<xcb_window_t> icons = m_desktop.TrayIcons(pid);

        // Two FTP sessions, each greeted, for the monitor to list.
        QTcpSocket sessions[2];
        for (QTcpSocket& session : sessions) {
            session.connectToHost(QHostAddress::LocalHost, ftpPort);
            QVERIFY(session.waitForReadyRead(10000));
            QVERIFY(session.readAll().startsWith("220"));
        }
        const xcb_window_t serverMenu = m_desktop.OpenMenu(icons.first(), pid);
        QVERIFY(serverMenu != 0);
        QVERIFY(m_desktop.Save(0, QStringLiteral("tray-menu.png")));
        QVERIFY(ClickMenuItem(serverMenu, 1, kServerMenuItems)); // "Monitor"
        const WindowHandle monitor = WaitForWindow(QStringLiteral("FTP Monitor"));
        QVERIFY(monitor != 0);
        QTRY_VERIFY_WITH_TIMEOUT(m_desktop.IsPainted(monitor), 10000);
        QVERIFY(m_desktop.Save(monitor, QStringLiteral("monitor-two-sessions.png")));
        QVERIFY(m_desktop.Save(0, QStringLiteral("desktop-with-monitor.png")));

        const xcb_window_t menu = m_desktop.OpenMenu(icons.last(), pid);
        QVERIFY(menu != 0);
        QVERIFY(m_desktop.Save(0, QStringLiteral("pelion-tray-menu.png")));
        QVERIFY(ClickMenuItem(menu, 1, kConsoleMenuItems)); // "Pelion Main"
        QTRY_VERIFY_WITH_TIMEOUT(m_desktop.Windows().TopLevelWindows().contains(main), 10000);

        const xcb_window_t again = m_desktop.OpenMenu(icons.last(), pid);
        QVERIFY(again != 0);
        QVERIFY(ClickMenuItem(again, kConsoleMenuItems, kConsoleMenuItems)); // "Exit"
        QVERIFY(m_pelion.waitForFinished(30000));
        QCOMPARE(m_pelion.exitStatus(), QProcess::NormalExit);
        QCOMPARE(m_pelion.exitCode(), 0);

        QVERIFY(home.Messages(QStringLiteral("messages")).isEmpty());
        QVERIFY(!IsUdpPortHeld(tftpPort));
        QVERIFY(!QFile::exists(home.LockPath()));
    }

    // How the start-up meets other programs: a second instance is refused, a
    // lock left by an instance that died does not block, a window of the
    // sibling manager keeps the file server away, another socket on the help
    // server's port 8133 is reported; each with its message, and a console
    // that runs on ends cleanly on SIGTERM with its window put away.
    void startUpSituations_data()
    {
        QTest::addColumn<ESituation>("situation");
        QTest::addColumn<QString>("message");
        QTest::addColumn<EMessageIcon>("icon");
        QTest::addColumn<int>("trayIcons"); // of the new console; 0: it ends with status 1
        QTest::newRow("a second instance is refused")
            << ESituation::SecondInstance
            << "Impossible to run Pelion\r\n(Application already running)" << EMessageIcon::Critical
            << 0;
        QTest::newRow("the lock of an instance that died does not block")
            << ESituation::DeadInstanceLock << "" << EMessageIcon::None << 2;
        QTest::newRow("the sibling manager's window: no file server")
            << ESituation::SiblingManager
            << "Warning! Orvane is currently running!\r\nPelion Download capability will be "
               "guaranteed until Orvane will be terminated"
            << EMessageIcon::Critical << 1;
        QTest::newRow("the help port held by another socket")
            << ESituation::HelpPortHeld
            << "Some other process is using TCP port 8133 on this computer!\r\nHelp support "
               "won't be available.\r\nPlease close such process and restart the application."
            << EMessageIcon::Information << 2;
    }
    void startUpSituations()
    {
        QFETCH(ESituation, situation);
        QFETCH(QString, message);
        QFETCH(EMessageIcon, icon);
        QFETCH(int, trayIcons);
        CPelionHome home;
        home.WriteBook(3);
        QProcessEnvironment environment = home.Environment(QStringLiteral("messages"));
        const quint16 tftpPort = FreeUdpPort();
        environment.insert(QStringLiteral("PELION_TFTP_PORT"), QString::number(tftpPort));
        QProcess other;
        QWindow manager;
        QTcpServer holder;
        if (situation == ESituation::SecondInstance || situation == ESituation::DeadInstanceLock) {
            StartPelion(other, home.Environment(QStringLiteral("other")));
            QVERIFY(other.waitForStarted());
            QTRY_COMPARE_WITH_TIMEOUT(home.LockHolder(), other.processId(), 30000);
        }
        if (situation == ESituation::DeadInstanceLock) {
            other.kill();
            QVERIFY(other.waitForFinished(30000));
            QVERIFY(QFile::exists(home.LockPath())); // left behind
        } else if (situation == ESituation::SiblingManager) {
            manager.setTitle(QStringLiteral("xx Orvane Manager yy"));
            manager.setGeometry(500, 400, 300, 120);
            manager.show();
            QTRY_VERIFY_WITH_TIMEOUT(m_desktop.Windows().TopLevelWindows().contains(
                                         static_cast<WindowHandle>(manager.winId())),
                                     10000);
        } else if (situation == ESituation::HelpPortHeld) {
            // The port is ours to hold unless another program keeps it (a
            // console of another test run, say), which holds it as well.
            QDeadlineTimer patience(10000);
            while (!holder.listen(QHostAddress::LocalHost, 8133) && !patience.hasExpired()) {
                QCOMPARE(holder.serverError(), QAbstractSocket::AddressInUseError);
                QTest::qWait(50);
            }
            environment.remove(QStringLiteral("PELION_HELP_PORT"));
        }

        StartPelion(m_pelion, environment);
        if (trayIcons == 0) {
            QVERIFY(m_pelion.waitForFinished(60000));
            QCOMPARE(m_pelion.exitStatus(), QProcess::NormalExit);
            QCOMPARE(m_pelion.exitCode(), 1);
        } else {
            const WindowHandle main = WaitForWindow(kMainTitle);
            QVERIFY(main != 0);
            QTRY_COMPARE_WITH_TIMEOUT(m_desktop.TrayIcons(m_pelion.processId()).size(), trayIcons,
                                      10000);
            QCOMPARE(IsUdpPortHeld(tftpPort), trayIcons == 2); // the file server's
            QCOMPARE(home.LockHolder(), m_pelion.processId());
            m_desktop.RequestClose(main);
            QTRY_VERIFY_WITH_TIMEOUT(!m_desktop.Windows().TopLevelWindows().contains(main), 10000);
            QVERIFY(EndProcess(m_pelion, 15000));
            QCOMPARE(m_pelion.exitStatus(), QProcess::NormalExit);
            QCOMPARE(m_pelion.exitCode(), 0);
        }
        const QList<SMessage> messages = home.Messages(QStringLiteral("messages"));
        QCOMPARE(messages.size(), message.isEmpty() ? 0 : 1);
        if (!message.isEmpty()) {
            QCOMPARE(messages.first().text, message);
            QCOMPARE(messages.first().title, QStringLiteral("Pelion"));
            QCOMPARE(messages.first().icon, icon);
            QCOMPARE(messages.first().buttons, EMessageButtons::Ok);
        }
        if (situation == ESituation::SecondInstance) {
            // The first instance runs on, untroubled, and ends cleanly when asked.
            QCOMPARE(home.LockHolder(), other.processId());
            QVERIFY(EndProcess(other));
            QCOMPARE(other.exitCode(), 0);
            QVERIFY(home.Messages(QStringLiteral("other")).isEmpty());
            QVERIFY(!QFile::exists(home.LockPath()));
        }
    }

    // The older web interface: the first request starts one browser window on
    // the simulated equipment, the second finds that window and brings it to
    // the front instead of starting another browser. The browser runs on a
    // profile of the test's making that keeps its traffic on the loopback network.
    void olderInterfaceReusesTheBrowserWindow()
    {
        if (!QFileInfo(kBrowser).isExecutable())
            QSKIP("No browser at /usr/bin/firefox-esr: nothing to open the older interface with.");
        CEquipmentSimProcess sim;
        QVERIFY(sim.Start(kEquipmentAddress, {QStringLiteral("--older")}));
        const QUrl url(QStringLiteral("http://%1:%2/").arg(kEquipmentAddress).arg(sim.Port()));

        QTemporaryDir home;
        const QString profile = home.filePath(QStringLiteral("profile"));
        QVERIFY(TestFiles::Write(profile + QStringLiteral("/user.js"),
                                 TestFiles::Read(QStringLiteral(PELION_LOOPBACK_USER_JS))
                                     .replace("@DEAD_PORT@", QByteArray::number(ClosedLoopbackPort(
                                                                 QStringLiteral("127.0.0.1"))))));
        // The browser keeps everything of its own under the test's folder.
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("HOME"), home.path());
        environment.insert(QStringLiteral("XDG_CACHE_HOME"), home.filePath("cache"));
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath("config"));
        environment.insert(QStringLiteral("MOZ_CRASHREPORTER_DISABLE"), QStringLiteral("1"));
        environment.insert(QStringLiteral("MOZ_DISABLE_AUTO_SAFE_MODE"), QStringLiteral("1"));
        environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
        // The content sandbox refuses to run as root.
        if (::geteuid() == 0)
            environment.insert(QStringLiteral("MOZ_DISABLE_CONTENT_SANDBOX"), QStringLiteral("1"));
        m_browser.setProcessEnvironment(environment);
        m_browser.setProcessChannelMode(QProcess::MergedChannels);
        m_browser.setStandardOutputFile(home.filePath(QStringLiteral("browser.log")));

        int started = 0;
        QString startedProgram;
        SPageLaunchers launchers = CEquipmentPages::DesktopLaunchers(
            [this](const QString& upperText) {
                return m_desktop.WindowsHolding(upperText).value(0, WindowHandle{0});
            },
            [this](WindowHandle window) { return m_desktop.Windows().ActivateWindow(window); });
        launchers.startProgram = [&](const QString& program, const QStringList& arguments) {
            ++started;
            startedProgram = program;
            m_browser.start(program,
                            QStringList{"--profile", profile, "--no-remote", "--new-instance"}
                                + arguments);
            return m_browser.waitForStarted(10000);
        };
        launchers.openUrl = [](const QUrl& unexpected) {
            QFAIL(qPrintable("Handed to the desktop: " + unexpected.toString()));
        };
        CEquipmentPages pages(kBrowser, launchers);

        const QString sought = QStringLiteral("HTTP://%1 - LINK").arg(kEquipmentAddress);
        QCOMPARE(m_desktop.WindowsHolding(sought).size(), 0);
        pages.ShowEquipmentPage(kEquipmentAddress, url);
        QCOMPARE(started, 1);
        QCOMPARE(startedProgram, kBrowser);
        QTRY_VERIFY2_WITH_TIMEOUT(m_desktop.WindowsHolding(sought).size() == 1
                                      || m_browser.state() == QProcess::NotRunning,
                                  "No browser window on the equipment's page", kStartMs);
        QCOMPARE(m_browser.state(), QProcess::Running);
        const WindowHandle browserWindow = m_desktop.WindowsHolding(sought).constFirst();
        QVERIFY(sim.Count(QStringLiteral("GET / ")) >= 1);

        // Another window takes the front, so that bringing the browser back
        // is something the second request has to do.
        QWindow other;
        other.setTitle(QStringLiteral("Another window"));
        other.resize(400, 300);
        other.show();
        QVERIFY(QTest::qWaitForWindowExposed(&other, kDesktopMs));
        const auto otherWindow = static_cast<WindowHandle>(other.winId());
        QVERIFY(m_desktop.Windows().ActivateWindow(otherWindow));
        QTRY_COMPARE_WITH_TIMEOUT(m_desktop.ActiveWindow(), otherWindow, kDesktopMs);

        pages.ShowEquipmentPage(kEquipmentAddress, url);
        QCOMPARE(started, 1);
        QTRY_COMPARE_WITH_TIMEOUT(m_desktop.ActiveWindow(), browserWindow, kDesktopMs);
        QCOMPARE(m_desktop.WindowsHolding(sought), QList<WindowHandle>{browserWindow});
        QVERIFY(m_desktop.Save(0, QStringLiteral("browser-older-interface.png")));
    }

private:
    // The first window of pelion with exactly this title; 0 when none came up
    // in time or pelion ended.
    WindowHandle WaitForWindow(const QString& title)
    {
        QDeadlineTimer deadline(kStartMs);
        while (!deadline.hasExpired() && m_pelion.state() != QProcess::NotRunning) {
            for (const WindowHandle window : m_desktop.Windows().TopLevelWindows()) {
                if (m_desktop.Windows().WindowTitle(window) == title)
                    return window;
            }
            QTest::qWait(20);
        }
        return 0;
    }

    // Clicks item n (1-based) of a menu of that many rows of about one height.
    bool ClickMenuItem(xcb_window_t menu, int item, int items)
    {
        const QRect area = m_desktop.Geometry(menu);
        return m_desktop.Click(
            menu, QPoint(area.width() / 2, area.height() * (2 * item - 1) / (2 * items)), 1);
    }

    CTestDesktop m_desktop;
    QProcess m_pelion;
    QProcess m_browser;
};

QTEST_MAIN(tst_DesktopScenario)
#include "tst_DesktopScenario.moc"
