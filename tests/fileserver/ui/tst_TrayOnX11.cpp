// Runs on a real X display with a notification area (see tests/x11/run_on_display.sh):
// the icon really appears, a right click opens its menu, and the monitor with
// two sessions is photographed for people to look at.

#include "common/messages/CMessageService.h"
#include "common/ui/CTrayIcon.h"
#include "fileserver/cFtpServer.h"
#include "fileserver/ui/FMonitor.h"
#include "fileserver/ui/FTray.h"
#include "tests/fileserver/LoopbackServerOptions.h"

#include <QDir>
#include <QMenu>
#include <QProcess>
#include <QScreen>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>

class tst_TrayOnX11 final : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
        // The tray host starts beside the test; give it time to claim the tray.
        QTRY_VERIFY_WITH_TIMEOUT(QSystemTrayIcon::isSystemTrayAvailable(), 15000);
        CMessageService::SetHandler([](const SMessage& message) {
            qWarning() << "message:" << message.text;
            return EMessageResult::Ok;
        });
    }

    void iconAppearsAndMenuOpensOnRightClick()
    {
        QTemporaryDir folder;
        cFtpServer server(LoopbackServerOptions(folder.path()));
        CTrayIcon* icon = server.Tray()->TrayIcon();
        QTRY_VERIFY(icon->IsVisible());
        // The icon is a small window that the tray host has taken in.
        QTRY_VERIFY_WITH_TIMEOUT(TrayIconWindow() && TrayIconWindow()->isVisible(), 10000);

        // A real click through the X server, as a user's mouse makes it. The
        // tray host may take the icon in only after it shows as visible, and a
        // click before that reaches nothing: click again until the menu opens.
        // Qt makes the icon's window anew when the embedding fails, so it is
        // looked up again for every click.
        const auto menuShown = [&server] { return server.Tray()->mnuMain()->isVisible(); };
        for (int attempt = 0; attempt < 10 && !menuShown(); ++attempt) {
            if (!QTest::qWaitFor([] { return TrayIconWindow() && TrayIconWindow()->isVisible(); },
                                 2000))
                continue;
            const QWidget* iconWindow = TrayIconWindow();
            const QString middle = QString::number(iconWindow->width() / 2);
            QProcess xdotool;
            xdotool.start(QStringLiteral("xdotool"),
                          {QStringLiteral("mousemove"), QStringLiteral("--window"),
                           QString::number(iconWindow->winId()), middle, middle,
                           QStringLiteral("click"), QStringLiteral("3")});
            QVERIFY(xdotool.waitForFinished(10000));
            QCOMPARE(xdotool.exitCode(), 0);
            if (QTest::qWaitFor(menuShown, 2000))
                break;
        }
        QVERIFY(menuShown());
        QVERIFY(QTest::qWaitForWindowExposed(server.Tray()->mnuMain()));

        SaveScreen(QStringLiteral("tray-menu.png"));
        server.Tray()->mnuMain()->hide();
    }

    void monitorWithTwoSessionsIsPhotographed()
    {
        QTemporaryDir folder;
        cFtpServer server(LoopbackServerOptions(folder.path()));
        server.SetEnable(true);
        QSignalSpy opened(&server, &cFtpServer::OnNewFtpSession);
        QTcpSocket first;
        QTcpSocket second;
        first.connectToHost(QHostAddress::LocalHost, server.FtpPort());
        second.connectToHost(QHostAddress::LocalHost, server.FtpPort());
        QTRY_COMPARE(opened.count(), 2);

        server.SetEnableMonitor(true);
        FMonitor* monitor = server.Monitor();
        QVERIFY(monitor);
        QVERIFY(QTest::qWaitForWindowExposed(monitor));
        QCOMPARE(monitor->ListView()->topLevelItemCount(), 2);

        const QString path = QDir(Artefacts()).filePath(QStringLiteral("monitor-two-sessions.png"));
        QVERIFY(monitor->grab().save(path));
        QVERIFY(QFileInfo(path).size() > 0);
        SaveScreen(QStringLiteral("desktop-with-monitor.png"));
    }

private:
    // The window Qt shows the tray icon in.
    static QWidget* TrayIconWindow()
    {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (qstrcmp(widget->metaObject()->className(), "QSystemTrayIconSys") == 0)
                return widget;
        }
        return nullptr;
    }

    static QString Artefacts()
    {
        const QString dir = qEnvironmentVariable("PELION_ARTEFACTS", QDir::tempPath());
        QDir().mkpath(dir);
        return dir;
    }

    static void SaveScreen(const QString& name)
    {
        const QPixmap screen = QGuiApplication::primaryScreen()->grabWindow(0);
        QVERIFY(screen.save(QDir(Artefacts()).filePath(name)));
    }
};

QTEST_MAIN(tst_TrayOnX11)
#include "tst_TrayOnX11.moc"
