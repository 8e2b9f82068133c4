// The whole console on a virtual X display with a window manager and a
// notification area (tests/x11/run_on_display.sh --wm --tray): real pelion
// processes, driven as a user drives them, through the window manager's
// close request and real mouse clicks on the tray icon and its menu.
// Pictures of the splash, the main window and the tray menu are kept in
// $PELION_ARTEFACTS.

#include "platform/desktop/CX11WindowSystem.h"
#include "tests/console/PelionProcessKit.h"
#include "tests/console/x11/CTestDesktop.h"

#include <QGuiApplication>
#include <QImage>
#include <QScreen>
#include <QSet>
#include <QTcpServer>
#include <QUdpSocket>
#include <QWindow>
#include <QtTest>

namespace {

constexpr int kStartMs = 60000;
constexpr int kTrayMenuItems = 6;

const QString kSplashTitle = QStringLiteral("Pelion Console");
const QString kMainTitle =
    QStringLiteral("Pelion Console ver. %1a").arg(QLatin1String(PELION_TEST_PROJECT_VERSION));

QString Artefact(const QString& name)
{
    const QString folder = qEnvironmentVariable("PELION_ARTEFACTS", QDir::tempPath());
    QDir().mkpath(folder);
    return QDir(folder).filePath(name);
}

QImage Grab(const QRect& area)
{
    return QGuiApplication::primaryScreen()
        ->grabWindow(0, area.x(), area.y(), area.width(), area.height())
        .toImage();
}

// Whether an area of the screen shows something drawn: text and pictures
// bring many colours, an empty or unpainted window few.
bool IsPainted(const QRect& area)
{
    const QImage image = Grab(area);
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); y += 2) {
        for (int x = 0; x < image.width(); x += 2)
            colours.insert(image.pixel(x, y));
    }
    return colours.size() > 16;
}

// A UDP port no one holds right now.
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

// A real mouse click through the X server, relative to a window.
bool Click(xcb_window_t window, const QPoint& at, int button)
{
    QProcess xdotool;
    xdotool.start(QStringLiteral("xdotool"),
                  {QStringLiteral("mousemove"), QStringLiteral("--window"), QString::number(window),
                   QString::number(at.x()), QString::number(at.y()), QStringLiteral("click"),
                   QString::number(button)});
    return xdotool.waitForFinished(10000) && xdotool.exitCode() == 0;
}

} // namespace

class tst_PelionOnX11 final : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
        QVERIFY(m_desktop.IsValid());
        // The tray host starts beside the test.
        QTRY_VERIFY_WITH_TIMEOUT(m_desktop.HasTray(), 15000);
    }

    void cleanup() { EndProcess(m_pelion); }

    // Starts with three book entries and the file server; the close box
    // hides the window, the tray menu's "Pelion Main" brings it back, and
    // its "Exit" ends the program with status 0.
    void runsFromStartToExit()
    {
        CPelionHome home;
        home.WriteBook(3);
        const quint16 tftpPort = FreeUdpPort();
        QVERIFY(tftpPort != 0);
        QProcessEnvironment environment = home.Environment(QStringLiteral("messages"));
        environment.insert(QStringLiteral("PELION_TFTP_PORT"), QString::number(tftpPort));
        StartPelion(m_pelion, environment);

        const WindowHandle splash = WaitForWindow(kSplashTitle);
        QVERIFY(splash != 0);
        QTRY_VERIFY_WITH_TIMEOUT(IsPainted(m_desktop.Geometry(splash)), 10000);
        QVERIFY(
            Grab(m_desktop.Geometry(splash)).save(Artefact(QStringLiteral("pelion-splash.png"))));

        const WindowHandle main = WaitForWindow(kMainTitle);
        QVERIFY(main != 0);
        // The splash has gone before the window shows.
        QVERIFY(!m_windows.TopLevelWindows().contains(splash));
        QTRY_VERIFY_WITH_TIMEOUT(IsPainted(m_desktop.Geometry(main)), 10000);
        QVERIFY(Grab(m_desktop.Geometry(main))
                    .save(Artefact(QStringLiteral("pelion-main-window.png"))));
        // The file server serves TFTP on the port it was given.
        QVERIFY(IsUdpPortHeld(tftpPort));

        // The close box: the window goes, the program stays.
        m_desktop.RequestClose(main);
        QTRY_VERIFY_WITH_TIMEOUT(!m_windows.TopLevelWindows().contains(main), 10000);
        QCOMPARE(m_pelion.state(), QProcess::Running);

        // Two icons, the file server's first; the console's menu is the second's.
        QTRY_COMPARE_WITH_TIMEOUT(m_desktop.TrayIcons(m_pelion.processId()).size(), 2, 10000);
        const xcb_window_t icon = m_desktop.TrayIcons(m_pelion.processId()).last();
        const xcb_window_t menu = OpenTrayMenu(icon);
        QVERIFY(menu != 0);
        QVERIFY(QGuiApplication::primaryScreen()->grabWindow(0).save(
            Artefact(QStringLiteral("pelion-tray-menu.png"))));
        QVERIFY(ClickMenuItem(menu, 1)); // "Pelion Main"
        QTRY_VERIFY_WITH_TIMEOUT(m_windows.TopLevelWindows().contains(main), 10000);

        const xcb_window_t again = OpenTrayMenu(icon);
        QVERIFY(again != 0);
        QVERIFY(ClickMenuItem(again, kTrayMenuItems)); // "Exit"
        QVERIFY(m_pelion.waitForFinished(30000));
        QCOMPARE(m_pelion.exitStatus(), QProcess::NormalExit);
        QCOMPARE(m_pelion.exitCode(), 0);

        QVERIFY(home.Messages(QStringLiteral("messages")).isEmpty());
        QVERIFY(!IsUdpPortHeld(tftpPort));
        QVERIFY(!QFile::exists(home.LockPath()));
    }

    // A window of the sibling manager: a warning, no file server, and the
    // console runs on.
    void siblingManagerWindowSkipsTheFileServer()
    {
        QWindow manager;
        manager.setTitle(QStringLiteral("xx Orvane Manager yy"));
        manager.setGeometry(500, 400, 300, 120);
        manager.show();
        QTRY_VERIFY_WITH_TIMEOUT(
            m_windows.TopLevelWindows().contains(static_cast<WindowHandle>(manager.winId())),
            10000);

        CPelionHome home;
        home.WriteBook(3);
        const quint16 tftpPort = FreeUdpPort();
        QProcessEnvironment environment = home.Environment(QStringLiteral("messages"));
        environment.insert(QStringLiteral("PELION_TFTP_PORT"), QString::number(tftpPort));
        StartPelion(m_pelion, environment);

        const WindowHandle main = WaitForWindow(kMainTitle);
        QVERIFY(main != 0);
        const QList<SMessage> messages = home.Messages(QStringLiteral("messages"));
        QCOMPARE(messages.size(), 1);
        QCOMPARE(messages.first().text,
                 QStringLiteral("Warning! Orvane is currently running!\r\nPelion Download "
                                "capability will be guaranteed until Orvane will be terminated"));
        QCOMPARE(messages.first().icon, EMessageIcon::Critical);
        QCOMPARE(messages.first().title, QStringLiteral("Pelion"));
        QVERIFY(!IsUdpPortHeld(tftpPort));
        // Only the console's own icon.
        QTRY_COMPARE_WITH_TIMEOUT(m_desktop.TrayIcons(m_pelion.processId()).size(), 1, 10000);

        // SIGTERM ends the console with its window put away in the tray too.
        m_desktop.RequestClose(main);
        QTRY_VERIFY_WITH_TIMEOUT(!m_windows.TopLevelWindows().contains(main), 10000);
        QVERIFY(EndProcess(m_pelion, 15000));
        QCOMPARE(m_pelion.exitStatus(), QProcess::NormalExit);
        QCOMPARE(m_pelion.exitCode(), 0);
    }

    // Another socket holds the help server's port 8133: its message, and the
    // window opens all the same.
    void helpPortHeldByAnotherSocket()
    {
        // The port is ours to hold unless another program keeps it (a console
        // of another test run, say), which holds it as well.
        QTcpServer holder;
        QDeadlineTimer patience(10000);
        while (!holder.listen(QHostAddress::LocalHost, 8133) && !patience.hasExpired()) {
            QCOMPARE(holder.serverError(), QAbstractSocket::AddressInUseError);
            QTest::qWait(50);
        }

        CPelionHome home;
        QProcessEnvironment environment = home.Environment(QStringLiteral("messages"));
        environment.remove(QStringLiteral("PELION_HELP_PORT"));
        StartPelion(m_pelion, environment);

        QVERIFY(WaitForWindow(kMainTitle) != 0);
        QTRY_COMPARE_WITH_TIMEOUT(home.Messages(QStringLiteral("messages")).size(), 1, 10000);
        const SMessage message = home.Messages(QStringLiteral("messages")).first();
        QCOMPARE(message.text,
                 QStringLiteral("Some other process is using TCP port 8133 on this computer!\r\n"
                                "Help support won't be available.\r\n"
                                "Please close such process and restart the application."));
        QCOMPARE(message.title, QStringLiteral("Pelion"));
        QCOMPARE(m_pelion.state(), QProcess::Running);

        QVERIFY(EndProcess(m_pelion));
        QCOMPARE(m_pelion.exitCode(), 0);
    }

private:
    // The first window of the program with exactly this title; 0 when none
    // came up in time or the program ended.
    WindowHandle WaitForWindow(const QString& title)
    {
        QDeadlineTimer deadline(kStartMs);
        while (!deadline.hasExpired() && m_pelion.state() != QProcess::NotRunning) {
            for (const WindowHandle window : m_windows.TopLevelWindows()) {
                if (m_windows.WindowTitle(window) == title)
                    return window;
            }
            QTest::qWait(20);
        }
        return 0;
    }

    // Right-clicks the icon; the menu that opened, 0 when none did.
    xcb_window_t OpenTrayMenu(xcb_window_t icon)
    {
        const QRect area = m_desktop.Geometry(icon);
        if (!Click(icon, QPoint(area.width() / 2, area.height() / 2), 3))
            return 0;
        QDeadlineTimer deadline(10000);
        while (!deadline.hasExpired()) {
            const QList<xcb_window_t> menus = m_desktop.PopupMenus(m_pelion.processId());
            if (menus.size() == 1 && IsPainted(m_desktop.Geometry(menus.first())))
                return menus.first();
            QTest::qWait(20);
        }
        return 0;
    }

    // Clicks item n (1-based) of a menu whose items share its height.
    bool ClickMenuItem(xcb_window_t menu, int item)
    {
        const QRect area = m_desktop.Geometry(menu);
        const int y = area.height() * (2 * item - 1) / (2 * kTrayMenuItems);
        return Click(menu, QPoint(area.width() / 2, y), 1);
    }

    CTestDesktop m_desktop;
    CX11WindowSystem m_windows;
    QProcess m_pelion;
};

QTEST_MAIN(tst_PelionOnX11)
#include "tst_PelionOnX11.moc"
