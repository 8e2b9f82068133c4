// The console on a desktop (run_on_display.sh --wm --tray, or --wm alone for the close without a
// tray): real pelion processes, real clicks on their tray menus and boxes, a real browser on the
// simulated equipment. Pictures go to $PELION_ARTEFACTS.

#include "console/MainModule.h"
#include "console/browser/CEquipmentPages.h"
#include "tests/console/EquipmentSimProcess.h"
#include "tests/console/PelionProcessKit.h"
#include "tests/kit/TestFiles.h"
#include "tests/x11/CNotifierWatcher.h"
#include "tests/x11/CTestDesktop.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QTcpSocket>
#include <QWindow>
#include <QtTest>

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

} // namespace

class tst_DesktopScenario final : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb")); }

    void cleanup()
    {
        EndProcess(m_pelion);
        EndProcess(m_browser);
    }

    // Alone: splash, window, the close that hides it, both tray icons' menus, "Exit". A second
    // start from another runtime folder is refused (status 1) and shows the first's window.
    void startUp_data()
    {
        QTest::addColumn<bool>("second");
        QTest::newRow("alone: splash, window, tray menus, Exit") << false;
        QTest::newRow("second instance, another runtime folder: refused, the first shown") << true;
    }
    void startUp()
    {
        QFETCH(bool, second);
        CPelionHome home;
        home.WriteBook(3);
        // An ordinary user, so that the lock is where the product keeps it.
        const CThrowawayUser user;
        if (second) {
            if (!user.IsValid())
                QSKIP("Starting pelion as a user of the test's own needs root.");
            QVERIFY(QDir().mkdir(home.Path("runtime2"), QFileDevice::Permissions(0x7000))
                    && home.GiveTo(user));
        }
        QProcessEnvironment environment = home.Environment(QStringLiteral("messages"));
        QProcess other;
        WindowHandle first = 0;
        if (second) {
            environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.Path("runtime2"));
            StartPelion(other, home.Environment(QStringLiteral("other")), &home);
            QTRY_COMPARE_WITH_TIMEOUT(home.LockHolder(), other.processId(), 30000);
            // Put away in the tray, for the refused start to bring back.
            first = WaitForWindow(kMainTitle, other);
            QVERIFY(first != 0 && CloseUntilGone(first));
        }
        const quint16 ftpPort = ClosedLoopbackPort("127.0.0.1");
        environment.insert(QStringLiteral("PELION_FTP_PORT"), QString::number(ftpPort));
        StartPelion(m_pelion, environment, &home);
        if (second) {
            QVERIFY(m_pelion.waitForFinished(60000));
            QCOMPARE(m_pelion.exitCode(), 1);
            QTRY_VERIFY_WITH_TIMEOUT(IsListed(first), 10000);
            QVERIFY(SavePainted(first, "pelion-shown-by-a-second-start.png"));
            const QList<SMessage> messages = home.Messages(QStringLiteral("messages"));
            QCOMPARE(messages.size(), 1);
            QCOMPARE(messages[0].text,
                     kCannotRun + QStringLiteral("\r\n(Application already running)"));
            QCOMPARE(home.LockHolder(), other.processId());
            QVERIFY(EndProcess(other) && other.exitCode() == 0);
            QVERIFY(home.Messages(QStringLiteral("other")).isEmpty());
            QVERIFY(!QFile::exists(home.LockPath()));
            return;
        }
        QVERIFY(SavePainted(WaitForWindow(kSplashTitle), "pelion-splash.png"));
        const WindowHandle main = WaitForWindow(kMainTitle);
        QVERIFY(main != 0);
        // The splash has gone before the window shows.
        QCOMPARE(m_desktop.WindowsHolding(kSplashTitle.toUpper()), QList<WindowHandle>{main});
        QVERIFY(SavePainted(main, "pelion-main-window.png"));
        const qint64 pid = m_pelion.processId();
        QTRY_COMPARE_WITH_TIMEOUT(m_desktop.TrayIcons(pid).size(), 2, 10000); // the server's first
        QCOMPARE(home.LockHolder(), pid);
        QVERIFY(CloseUntilGone(main));
        QCOMPARE(m_pelion.state(), QProcess::Running);
        // The file server's monitor with an FTP session; "Pelion Main", then "Exit".
        const QList<WindowHandle> icons = m_desktop.TrayIcons(pid);
        QTcpSocket session;
        session.connectToHost(QHostAddress::LocalHost, ftpPort);
        QVERIFY(session.waitForReadyRead(10000) && session.readAll().startsWith("220"));
        QVERIFY(ClickMenuItem(icons.first(), pid, 1, kServerMenuItems)); // Monitor
        QVERIFY(SavePainted(WaitForWindow(QStringLiteral("FTP Monitor")), "monitor.png"));
        QVERIFY(ClickMenuItem(icons.last(), pid, 1, kConsoleMenuItems));
        QTRY_VERIFY_WITH_TIMEOUT(IsListed(main), 10000); // "Pelion Main"
        QVERIFY(ClickMenuItem(icons.last(), pid, kConsoleMenuItems, kConsoleMenuItems)); // "Exit"
        QVERIFY(EndedCleanly(home));
    }

    // Without a tray (run_on_display.sh --wm only) a close through the window manager asks, in a
    // real box titled "Pelion", whether to quit: "No" keeps the window, "Yes" ends with status 0.
    void closeWithoutTray()
    {
        CPelionHome home;
        home.WriteBook(1);
        QProcessEnvironment environment = home.Environment(QStringLiteral("messages"));
        environment.remove(QStringLiteral("PELION_MESSAGE_LOG"));
        // No session bus either: no StatusNotifier host can stand in for the missing tray.
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                           QStringLiteral("unix:path=") + home.Path(QStringLiteral("no-bus")));
        StartPelion(m_pelion, environment);
        const WindowHandle main = WaitForWindow(kMainTitle);
        QVERIFY(main != 0);
        for (const QString answer : {"n", "y"}) {
            // As for a close that hides: a key lost to a busy window manager is pressed again.
            WindowHandle question = 0;
            for (int attempt = 0; attempt < 3 && question == 0; ++attempt) {
                QVERIFY(m_desktop.RequestClose(main));
                question = WaitForWindow(QStringLiteral("Pelion"), m_pelion, kDesktopMs / 3);
            }
            QVERIFY(question != 0);
            // Painted, the box takes keys; a loaded window manager may refuse the first activation.
            QVERIFY(QTest::qWaitFor([&] { return m_desktop.IsPainted(question); }, kDesktopMs));
            if (answer == "n")
                QVERIFY(m_desktop.Save(0, QStringLiteral("close-without-tray.png")));
            QVERIFY(QTest::qWaitFor(
                [&] {
                    return CTestDesktop::Run(
                        {"windowactivate", "--sync", QString::number(question), "key", answer});
                },
                kDesktopMs));
            QTRY_VERIFY_WITH_TIMEOUT(!IsListed(question), kDesktopMs);
            if (answer == "n")
                QVERIFY(IsListed(main) && m_pelion.state() == QProcess::Running);
        }
        QVERIFY(EndedCleanly(home));
    }

    // On a StatusNotifier host (run_on_display.sh --notifier) both icons export their tips and
    // menus; activations bring back the window a close put away and open the monitor; "Exit".
    void notifierTray()
    {
        CPelionHome home;
        home.WriteBook(1);
        QProcessEnvironment environment = home.Environment(QStringLiteral("messages"));
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                           qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS"));
        StartPelion(m_pelion, environment);
        QList<SNotifierItem> items;
        QTRY_COMPARE_WITH_TIMEOUT((items = CNotifierWatcher::Items()).size(), 2, kDesktopMs);
        if (!items.first().tip.startsWith(kMainTitle))
            items.swapItemsAt(0, 1);
        const SNotifierItem& console = items.first();
        const SNotifierItem& server = items.last();
        QCOMPARE(console.tip + " | " + server.tip, kMainTitle + " | Orvane FTP/TFTP Server");
        QCOMPARE(console.menu, (QStringList{"Pelion Main", "Connect", "Disconnect",
                                            "Rescue Connection", "Browser", "Exit"}));
        QCOMPARE(server.menu, (QStringList{"Monitor", "-", "About"}));
        const WindowHandle main = WaitForWindow(kMainTitle);
        QVERIFY(main != 0);
        QVERIFY(m_desktop.Save(0, QStringLiteral("notifier-tray.png")));
        QVERIFY(CloseUntilGone(main));
        QCOMPARE(m_pelion.state(), QProcess::Running);
        QVERIFY(CNotifierWatcher::Activate(console));
        QTRY_VERIFY_WITH_TIMEOUT(IsListed(main), kDesktopMs);
        QVERIFY(CNotifierWatcher::Activate(server));
        QVERIFY(WaitForWindow(QStringLiteral("FTP Monitor")) != 0);
        QVERIFY(m_desktop.Save(0, QStringLiteral("notifier-monitor.png")));
        QVERIFY(CNotifierWatcher::Click(console, QStringLiteral("Exit")));
        QVERIFY(EndedCleanly(home));
    }

    // The older web interface: the first request starts a browser (its profile keeps it on the
    // loopback network), the second brings its window to the front instead of starting another.
    void olderInterfaceReusesTheBrowserWindow()
    {
        if (!QFileInfo(kBrowser).isExecutable())
            QSKIP("No browser at /usr/bin/firefox-esr: nothing to open the older interface with.");
        CEquipmentSimProcess sim;
        QVERIFY(sim.Start(kEquipmentAddress, {QStringLiteral("--older")}));
        const QUrl url(QStringLiteral("http://%1:%2/").arg(kEquipmentAddress).arg(sim.Port()));
        QTemporaryDir home;
        const QString profile = home.filePath(QStringLiteral("profile"));
        QVERIFY(TestFiles::Write(profile + "/user.js",
                                 TestFiles::Read(PELION_LOOPBACK_USER_JS)
                                     .replace("@DEAD_PORT@", QByteArray::number(ClosedLoopbackPort(
                                                                 QStringLiteral("127.0.0.1"))))));
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char* folder : {"HOME", "XDG_CACHE_HOME", "XDG_CONFIG_HOME"})
            environment.insert(folder, home.filePath(folder));
        environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
        m_browser.setProcessEnvironment(environment);
        m_browser.setProcessChannelMode(QProcess::MergedChannels);
        m_browser.setStandardOutputFile(home.filePath(QStringLiteral("browser.log")));
        QStringList started;
        SPageLaunchers launchers = CEquipmentPages::DesktopLaunchers(
            [this](const QString& upperText) {
                return m_desktop.WindowsHolding(upperText).value(0, WindowHandle{0});
            },
            [this](WindowHandle window) { return m_desktop.Windows().ActivateWindow(window); });
        launchers.startProgram = [&](const QString& program, const QStringList& arguments) {
            started << program;
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
        pages.ShowEquipmentPage(kEquipmentAddress, url);
        QCOMPARE(started, QStringList{kBrowser});
        QTRY_VERIFY2_WITH_TIMEOUT(m_desktop.WindowsHolding(sought).size() == 1
                                      || m_browser.state() == QProcess::NotRunning,
                                  "No browser window on the equipment's page", kStartMs);
        QCOMPARE(m_browser.state(), QProcess::Running);
        const WindowHandle browserWindow = m_desktop.WindowsHolding(sought).constFirst();
        QVERIFY(sim.Count(QStringLiteral("GET / ")) >= 1);
        // Another window takes the front, for the second request to bring the browser back.
        QWindow other;
        other.resize(400, 300);
        other.show();
        QVERIFY(QTest::qWaitForWindowExposed(&other, kDesktopMs));
        const auto otherWindow = static_cast<WindowHandle>(other.winId());
        QVERIFY(m_desktop.Windows().ActivateWindow(otherWindow));
        QTRY_COMPARE_WITH_TIMEOUT(m_desktop.ActiveWindow(), otherWindow, kDesktopMs);
        pages.ShowEquipmentPage(kEquipmentAddress, url);
        QCOMPARE(started, QStringList{kBrowser});
        QTRY_COMPARE_WITH_TIMEOUT(m_desktop.ActiveWindow(), browserWindow, kDesktopMs);
        QCOMPARE(m_desktop.WindowsHolding(sought), QList<WindowHandle>{browserWindow});
        QVERIFY(m_desktop.Save(0, QStringLiteral("browser-older-interface.png")));
    }

private:
    bool EndedCleanly(const CPelionHome& home)
    {
        return m_pelion.waitForFinished(30000) && m_pelion.exitStatus() == QProcess::NormalExit
               && m_pelion.exitCode() == 0 && !QFile::exists(home.LockPath())
               && home.Messages(QStringLiteral("messages")).isEmpty();
    }
    bool IsListed(WindowHandle w) { return m_desktop.Windows().TopLevelWindows().contains(w); }

    // The window manager's close until the window has left the list: on a loaded machine a key
    // pressed while the manager is still taking the window in can be lost.
    bool CloseUntilGone(WindowHandle w)
    {
        constexpr int kAttempts = 3;
        for (int attempt = 0; attempt < kAttempts; ++attempt) {
            if (IsListed(w) && !m_desktop.RequestClose(w) && IsListed(w))
                return false;
            if (QTest::qWaitFor([&] { return !IsListed(w); }, kDesktopMs / kAttempts))
                return true;
        }
        return false;
    }

    // The first window with exactly this title; 0 when none came up in time or pelion ended.
    WindowHandle WaitForWindow(const QString& title) { return WaitForWindow(title, m_pelion); }
    WindowHandle WaitForWindow(const QString& title, const QProcess& pelion, int waitMs = kStartMs)
    {
        QDeadlineTimer deadline(waitMs);
        while (!deadline.hasExpired() && pelion.state() != QProcess::NotRunning) {
            for (const WindowHandle window : m_desktop.Windows().TopLevelWindows())
                if (m_desktop.Windows().WindowTitle(window) == title)
                    return window;
            QTest::qWait(20);
        }
        return 0;
    }

    bool SavePainted(WindowHandle window, const char* name)
    {
        return window != 0 && QTest::qWaitFor([&] { return m_desktop.IsPainted(window); }, 10000)
               && m_desktop.Save(window, QLatin1String(name));
    }

    // Opens the icon's menu and clicks item n (1-based) of its rows of about one height.
    bool ClickMenuItem(WindowHandle icon, qint64 pid, int item, int items)
    {
        const WindowHandle menu = m_desktop.OpenMenu(icon, pid);
        const QRect area = m_desktop.Geometry(menu);
        const QPoint at(area.width() / 2, area.height() * (2 * item - 1) / (2 * items));
        return menu != 0 && m_desktop.Click(menu, at, 1);
    }

    CTestDesktop m_desktop;
    QProcess m_pelion;
    QProcess m_browser;
};

QTEST_MAIN(tst_DesktopScenario)
#include "tst_DesktopScenario.moc"
