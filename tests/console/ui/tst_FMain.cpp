#include "common/ui/CTrayIcon.h"
#include "console/settings/CSettingsStore.h"
#include "console/settings/MSettings.h"
#include "console/ui/FMain.h"
#include "console/ui/MLoadSettings.h"
#include "fileserver/cFtpServer.h"
#include "tests/console/EquipmentSimProcess.h"
#include "tests/console/EquipmentTestDoubles.h"
#include "tests/console/TestSettingsFolder.h"
#include "tests/console/help/HttpTestClient.h"
#include "tests/console/ui/MainTestKit.h"
#include "tests/fileserver/LoopbackServerOptions.h"

#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QStatusBar>
#include <QTcpServer>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>
#include <QtTest/qtestspontaneevent.h>
#include <QtTest>

namespace {

QString Caption()
{
    return QStringLiteral("Pelion Console ver. %1.%2.%3a")
        .arg(PELION_VERSION_MAJOR)
        .arg(PELION_VERSION_MINOR)
        .arg(PELION_VERSION_PATCH);
}

// A close request as the window system sends it for the close box.
void ClickCloseBox(QWidget& window)
{
    QCloseEvent close;
    QSpontaneKeyEvent::setSpontaneous(&close);
    QApplication::instance()->notify(&window, &close);
}

struct SLook {
    bool connectButton;
    bool browserButton;
    bool optionsButton;
    bool trayConnect;
    bool trayDisconnect;
    bool trayRescue;
    bool trayBrowser;
};

} // namespace

Q_DECLARE_METATYPE(SLook)

class tst_FMain final : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(m_settings.IsValid()); }

    void init()
    {
        m_settings.MakeSystemScopeWritable();
        m_settings.Clear();
        gWwwRoot = m_webRoot.Path();
        gIpBookCount = 0;
        m_endCount = 0;
        m_managerRunning = false;
        m_managerAsked = 0;
        m_trayAvailable = true;
        m_opened.clear();
        m_messages.Clear();
    }

    void captionAndLayout()
    {
        FMain window(Options());
        QCOMPARE(window.windowTitle(), QStringLiteral("Pelion Console"));
        window.show();
        QCOMPARE(window.windowTitle(), Caption());
        QCOMPARE(window.frmMain()->title(), QStringLiteral("LAN address book"));
        QCOMPARE(window.lblHint()->text(),
                 QStringLiteral("Double click an item in the below list to connect via LAN to "
                                "the specified IP address"));
        QCOMPARE(window.lvwIpAdd()->columnCount(), 2);
        QCOMPARE(window.StatusPanel()->text(), QStringLiteral("Status: Disconnected"));
        QVERIFY(window.statusBar()->isAncestorOf(window.StatusPanel()));
        QCOMPARE(window.TrayIcon()->Tip(), Caption());
        QVERIFY(window.TrayIcon()->IsShown());
        QVERIFY(m_messages.Shown().isEmpty());
        QDir().mkpath(QStringLiteral(PELION_TEST_ARTEFACTS));
        QVERIFY(window.grab().save(QStringLiteral(PELION_TEST_ARTEFACTS)
                                   + QStringLiteral("/console-main-window-empty.png")));
    }

    void toolbarButtons_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("tip");
        QTest::addColumn<QString>("picture");
        QTest::newRow("Connect") << "Connect/Disconnect"
                                 << "Connect"
                                 << "Connect via serial cable or modem/Rescue Conn."
                                 << "Connect";
        QTest::newRow("Browser") << "Browser"
                                 << "Browser"
                                 << "Open Pelion session at serial address"
                                 << "Browser";
        QTest::newRow("Options") << "Options"
                                 << "Options"
                                 << "Set up communication"
                                 << "Options";
        QTest::newRow("Add") << "Add"
                             << "Add"
                             << "Add address to book"
                             << "Add";
        QTest::newRow("Remove") << "Remove"
                                << "Remove"
                                << "Remove selected address from book"
                                << "Remove";
        QTest::newRow("Edit") << "Edit"
                              << "Edit"
                              << "Edit selected address in book"
                              << "Edit";
        QTest::newRow("Help") << "Help"
                              << "Help"
                              << "Help"
                              << "Help";
    }
    void toolbarButtons()
    {
        QFETCH(QString, key);
        QFETCH(QString, caption);
        QFETCH(QString, tip);
        QFETCH(QString, picture);
        FMain window(Options());
        window.show();
        QAction* button = window.ToolButton(key);
        QVERIFY(button);
        QVERIFY(window.tlbMain()->actions().contains(button));
        QCOMPARE(button->text(), caption);
        QCOMPARE(button->toolTip(), tip);
        QVERIFY(!window.Picture(picture).isNull());
        QCOMPARE(button->icon().cacheKey(), window.Picture(picture).cacheKey());
    }

    void toolbarOrderAndDropDown()
    {
        FMain window(Options());
        window.show();
        QStringList keys;
        for (QAction* action : window.tlbMain()->actions()) {
            if (!action->objectName().isEmpty())
                keys.append(action->objectName());
        }
        QCOMPARE(keys, (QStringList{"Connect/Disconnect", "Browser", "Options", "Add", "Remove",
                                    "Edit", "Help"}));
        QMenu* dropDown = window.ToolButton(QStringLiteral("Connect/Disconnect"))->menu();
        QVERIFY(dropDown);
        QCOMPARE(dropDown->actions().size(), 2);
        QCOMPARE(dropDown->actions().at(0)->text(),
                 QStringLiteral("Connect via serial cable or modem"));
        QCOMPARE(dropDown->actions().at(0)->objectName(),
                 QStringLiteral("ConnectViaSerialCableOrModem"));
        QCOMPARE(dropDown->actions().at(1)->text(), QStringLiteral("Rescue Connection"));
        QCOMPARE(dropDown->actions().at(1)->objectName(), QStringLiteral("RescueConnection"));
    }

    void trayMenu()
    {
        FMain window(Options());
        window.show();
        const QStringList captions{"Pelion Main",       "Connect", "Disconnect",
                                   "Rescue Connection", "Browser", "Exit"};
        QCOMPARE(window.mnuMain()->actions().size(), 6);
        for (int index = 1; index <= 6; ++index) {
            QCOMPARE(window.mnuTray(index)->text(), captions.at(index - 1));
            QCOMPARE(window.mnuMain()->actions().at(index - 1), window.mnuTray(index));
        }
    }

    void looks_data()
    {
        QTest::addColumn<bool>("connected");
        QTest::addColumn<QString>("peer");
        QTest::addColumn<SLook>("look");
        QTest::newRow("disconnected")
            << false << "" << SLook{true, false, true, true, false, true, false};
        QTest::newRow("connected with peer")
            << true << "10.0.0.1" << SLook{true, true, false, false, true, true, true};
        QTest::newRow("connected without peer")
            << true << "" << SLook{true, false, false, false, true, true, true};
    }
    void looks()
    {
        QFETCH(bool, connected);
        QFETCH(QString, peer);
        QFETCH(SLook, look);
        SMainOptions options = Options();
        FMain window(options);
        window.show();
        window.SetPeerIpAddress(peer);
        if (connected)
            window.UpdateConnectedStatusStuff();

        QAction* connectButton = window.ToolButton(QStringLiteral("Connect/Disconnect"));
        QCOMPARE(connectButton->isEnabled(), look.connectButton);
        QCOMPARE(window.ToolButton(QStringLiteral("Browser"))->isEnabled(), look.browserButton);
        QCOMPARE(window.ToolButton(QStringLiteral("Options"))->isEnabled(), look.optionsButton);
        QCOMPARE(window.mnuTray(2)->isEnabled(), look.trayConnect);
        QCOMPARE(window.mnuTray(3)->isEnabled(), look.trayDisconnect);
        QCOMPARE(window.mnuTray(4)->isEnabled(), look.trayRescue);
        QCOMPARE(window.mnuTray(5)->isEnabled(), look.trayBrowser);
        QVERIFY(window.mnuTray(1)->isEnabled());
        QVERIFY(window.mnuTray(6)->isEnabled());
        for (const char* key : {"Add", "Help"})
            QVERIFY(window.ToolButton(QLatin1String(key))->isEnabled());
        QVERIFY(window.ButtonMenuItem(QStringLiteral("ConnectViaSerialCableOrModem"))->isEnabled());
        QVERIFY(window.ButtonMenuItem(QStringLiteral("RescueConnection"))->isEnabled());

        QCOMPARE(window.IsConnected(), connected);
        QCOMPARE(connectButton->text(),
                 connected ? QStringLiteral("Disconnect") : QStringLiteral("Connect"));
        QCOMPARE(connectButton->toolTip(),
                 connected ? QStringLiteral("Disconnect serial cable or modem link")
                           : QStringLiteral("Connect via serial cable or modem/Rescue Conn."));
        QCOMPARE(
            connectButton->icon().cacheKey(),
            window.Picture(connected ? QStringLiteral("Disconnect") : QStringLiteral("Connect"))
                .cacheKey());
        QCOMPARE(window.StatusPanel()->text(), connected ? QStringLiteral("Status: Connected")
                                                         : QStringLiteral("Status: Disconnected"));
        QCOMPARE(window.IsOnLineShown(), connected);
        QCOMPARE(window.tmrConnectImage()->isActive(), connected);

        // And back: the disconnected look clears the flags and the indicator.
        window.UpdateDisconnectedStatusStuff();
        QVERIFY(!window.IsConnected());
        QVERIFY(!window.IsOnLineShown());
        QVERIFY(!window.tmrConnectImage()->isActive());
        QVERIFY(window.ToolButton(QStringLiteral("Options"))->isEnabled());
        QVERIFY(!window.ToolButton(QStringLiteral("Browser"))->isEnabled());
        QVERIFY(!window.mnuTray(3)->isEnabled());
        if (connected) {
            QDir().mkpath(QStringLiteral(PELION_TEST_ARTEFACTS));
            window.UpdateConnectedStatusStuff();
            window.grab().save(QStringLiteral(PELION_TEST_ARTEFACTS)
                               + QStringLiteral("/console-main-window-connected.png"));
        }
    }

    void commandsReachTheirHandlers_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("expected");
        QTest::newRow("Connect button") << "button Connect/Disconnect"
                                        << "toggle";
        QTest::newRow("Browser button") << "button Browser"
                                        << "connect 10.0.0.9";
        QTest::newRow("Options button") << "button Options"
                                        << "options";
        QTest::newRow("drop-down serial") << "menu ConnectViaSerialCableOrModem"
                                          << "toggle";
        QTest::newRow("drop-down rescue") << "menu RescueConnection"
                                          << "rescue";
        QTest::newRow("tray Disconnect") << "tray 3"
                                         << "toggle";
        QTest::newRow("tray Rescue") << "tray 4"
                                     << "rescue";
        QTest::newRow("tray Browser") << "tray 5"
                                      << "connect 10.0.0.9";
    }
    void commandsReachTheirHandlers()
    {
        QFETCH(QString, command);
        QFETCH(QString, expected);
        SMainOptions options = Options();
        options.commands = Commands();
        FMain window(options);
        window.show();
        window.SetPeerIpAddress(QStringLiteral("10.0.0.9"));
        window.UpdateConnectedStatusStuff();
        // Options is for the disconnected look.
        if (command == QLatin1String("button Options"))
            window.UpdateDisconnectedStatusStuff();
        const QString target = command.section(QLatin1Char(' '), 1);
        QAction* action = command.startsWith(QLatin1String("button")) ? window.ToolButton(target)
                          : command.startsWith(QLatin1String("menu"))
                              ? window.ButtonMenuItem(target)
                              : window.mnuTray(target.toInt());
        QVERIFY(action && action->isEnabled());
        action->trigger();
        QCOMPARE(m_commands, QStringList{expected});
    }

    void onLineAnimation()
    {
        SMainOptions options = Options();
        options.connectImageIntervalMs = 20;
        FMain window(options);
        window.show();
        QCOMPARE(window.ConnectImageIndex(), 1);
        window.tmrConnectImage_Timer();
        QCOMPARE(window.ConnectImageIndex(), 2);
        window.tmrConnectImage_Timer();
        QCOMPARE(window.ConnectImageIndex(), 1);
        QVERIFY(!window.tmrConnectImage()->isActive());
        window.UpdateConnectedStatusStuff();
        QCOMPARE(window.tmrConnectImage()->interval(), 20);
        QVERIFY(!window.tmrBalloon()->isActive());
        QVERIFY(!window.tmrPingPPP()->isActive());
        QTRY_COMPARE(window.ConnectImageIndex(), 2);
        QTRY_COMPARE(window.ConnectImageIndex(), 1);
    }

    void closeBox_data()
    {
        QTest::addColumn<bool>("tray");
        QTest::newRow("with a tray: hides") << true;
        QTest::newRow("without a tray: minimises") << false;
    }
    void closeBox()
    {
        QFETCH(bool, tray);
        m_trayAvailable = tray;
        FMain window(Options());
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        ClickCloseBox(window);
        QCOMPARE(m_endCount, 0);
        QCOMPARE(window.isVisible(), !tray);
        QCOMPARE(window.isMinimized(), !tray);
        QVERIFY(window.HelpServer());
        // The tray menu's "Pelion Main" brings it back.
        window.mnuTray(1)->trigger();
        QVERIFY(window.isVisible());
        QVERIFY(!window.isMinimized());
    }

    void trayDoubleClickShowsTheWindow()
    {
        FMain window(Options());
        window.show();
        ClickCloseBox(window);
        QVERIFY(!window.isVisible());
        emit window.TrayIcon()->SystemIcon()->activated(QSystemTrayIcon::Trigger);
        QVERIFY(!window.isVisible());
        emit window.TrayIcon()->SystemIcon()->activated(QSystemTrayIcon::DoubleClick);
        QVERIFY(window.isVisible());
    }

    void exitUnloads_data()
    {
        QTest::addColumn<bool>("managerRunning");
        QTest::newRow("file server closed") << false;
        QTest::newRow("left running for the sibling manager") << true;
    }
    void exitUnloads()
    {
        QFETCH(bool, managerRunning);
        QTemporaryDir served;
        std::unique_ptr<cFtpServer> server = FileServer(served.path());
        SMainOptions options = Options();
        options.fileServer = server.get();
        FMain window(options);
        window.show();
        const quint16 helpPort = quint16(window.HelpServer()->BaseUrl().port());
        QVERIFY(server->FtpPort() != 0);
        m_managerRunning = managerRunning;
        QCOMPARE(m_managerAsked, 0);

        window.mnuTray(6)->trigger();
        QCOMPARE(m_endCount, 1);
        QCOMPARE(m_managerAsked, 1);
        QVERIFY(!window.isVisible());
        // The web root went back to the machine-wide store.
        QCOMPARE(CSettingsStore().ReadWwwRoot(), m_webRoot.Path());
        // The help server has gone, its port with it.
        QVERIFY(!window.HelpServer());
        QTcpServer again;
        QVERIFY(again.listen(QHostAddress::LocalHost, helpPort));
        QVERIFY(!window.TrayIcon()->IsShown());
        QCOMPARE(server->FtpPort() != 0, managerRunning);
        QCOMPARE(window.FileServer() != nullptr, managerRunning);
    }

    void programCloseUnloadsOnce()
    {
        FMain window(Options());
        window.show();
        QVERIFY(window.close());
        QVERIFY(window.close());
        QCOMPARE(m_endCount, 1);
        QVERIFY(!window.HelpServer());
        QCOMPARE(CSettingsStore().ReadWwwRoot(), m_webRoot.Path());
    }

    void exitWithUnwritableSystemScopeIsQuiet()
    {
        m_settings.MakeSystemScopeUnwritable();
        FMain window(Options());
        window.show();
        window.mnuTray(6)->trigger();
        QCOMPARE(m_endCount, 1);
        QVERIFY(m_messages.Shown().isEmpty());
    }

    void exitClosesTheConsolesOtherWindows()
    {
        FMain window(Options());
        window.show();
        auto* other = new QWidget(&window, Qt::Window);
        other->show();
        window.mnuTray(6)->trigger();
        QVERIFY(!other->isVisible());
    }

    void fileServerWiring()
    {
        QTemporaryDir served;
        std::unique_ptr<cFtpServer> server = FileServer(served.path());
        QVERIFY(!server->Enable());
        SMainOptions options = Options();
        options.fileServer = server.get();
        FMain window(options);
        window.show();
        QVERIFY(server->Enable());
        QVERIFY(server->FtpPort() != 0);
        QVERIFY(!server->EnableMonitor());
        server->RaiseTrayEvent(TrayShowOptions);
        QVERIFY(!server->EnableMonitor());
        server->RaiseTrayEvent(TrayShowMon);
        QVERIFY(server->EnableMonitor());
        server->SetEnableMonitor(false);
    }

    void helpServerServesTheGuide()
    {
        FMain window(Options());
        window.show();
        QVERIFY(window.HelpServer() && window.HelpServer()->IsListening());
        QCOMPARE(window.HelpServer()->BaseUrl().host(), QStringLiteral("127.0.0.1"));
        const SHttpResponse page = RawHttpRequest(quint16(window.HelpServer()->BaseUrl().port()),
                                                  RequestLine("GET", "/help/index.html"));
        QCOMPARE(page.status, 200);
        QCOMPARE(page.headers.value("content-type"), QByteArray("text/html; charset=utf-8"));
        QVERIFY(page.body.contains("Guide"));
    }

    void helpServerTrouble_data()
    {
        QTest::addColumn<bool>("portHeld");
        QTest::addColumn<bool>("rootMissing");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("serverKept");
        const QString port =
            QStringLiteral("Some other process is using TCP port 8133 on this computer!\r\n"
                           "Help support won't be available.\r\n"
                           "Please close such process and restart the application.");
        const QString folder =
            QStringLiteral("Impossible to locate help folder on this computer!\r\n"
                           "Help support won't be available.\r\n"
                           "Please fix this trouble and restart the application.");
        QTest::newRow("port held by another socket") << true << false << port << true;
        QTest::newRow("web root missing") << false << true << folder << false;
    }
    void helpServerTrouble()
    {
        QFETCH(bool, portHeld);
        QFETCH(bool, rootMissing);
        QFETCH(QString, message);
        QFETCH(bool, serverKept);
        QTcpServer holder;
        QVERIFY(holder.listen(QHostAddress::LocalHost, 0));
        SMainOptions options = Options();
        if (portHeld)
            options.helpPort = holder.serverPort();
        if (rootMissing)
            gWwwRoot = m_webRoot.Missing();
        FMain window(options);
        window.show();
        QCOMPARE(m_messages.Shown().size(), 1);
        const SMessage shown = m_messages.Shown().at(0);
        QCOMPARE(shown.text, message);
        QCOMPARE(shown.title, QStringLiteral("Pelion"));
        QCOMPARE(shown.icon, EMessageIcon::Information);
        QCOMPARE(shown.buttons, EMessageButtons::Ok);
        // The console runs on without help.
        QVERIFY(window.isVisible());
        QVERIFY(window.TrayIcon()->IsShown());
        QCOMPARE(window.HelpServer() != nullptr, serverKept);
        QVERIFY(!window.HelpServer() || !window.HelpServer()->IsListening());
    }

    void helpButton_data()
    {
        QTest::addColumn<QString>("trouble");
        QTest::newRow("help server runs") << "";
        QTest::newRow("port held: the file") << "port";
        QTest::newRow("web root missing: message") << "root";
    }
    void helpButton()
    {
        QFETCH(QString, trouble);
        QTcpServer holder;
        QVERIFY(holder.listen(QHostAddress::LocalHost, 0));
        SMainOptions options = Options();
        if (trouble == QLatin1String("port"))
            options.helpPort = holder.serverPort();
        if (trouble == QLatin1String("root"))
            gWwwRoot = m_webRoot.Missing();
        FMain window(options);
        window.show();
        m_messages.Clear();
        window.ToolButton(QStringLiteral("Help"))->trigger();
        if (trouble.isEmpty()) {
            const QUrl base = window.HelpServer()->BaseUrl();
            QCOMPARE(m_opened, QList<QUrl>{base.resolved(QUrl(QStringLiteral("help/index.html")))});
            QCOMPARE(m_opened.at(0).host(), QStringLiteral("127.0.0.1"));
            QVERIFY(m_opened.at(0).port() > 0);
        } else if (trouble == QLatin1String("port")) {
            QCOMPARE(m_opened,
                     QList<QUrl>{QUrl::fromLocalFile(m_webRoot.Path() + "/help/index.html")});
        } else {
            QVERIFY(m_opened.isEmpty());
            QCOMPARE(m_messages.Shown().size(), 1);
            QVERIFY(m_messages.Shown().at(0).text.startsWith("Impossible to locate help folder"));
        }
    }

    void loadRunsOnceWhenTheFirstRowLoads()
    {
        CSettingsStore store;
        store.Write(QLatin1String(kSectionIpAddressBook), QStringLiteral("0IpAddress"),
                    QStringLiteral("10.0.0.1"));
        gWwwRoot = m_webRoot.Missing();
        FMain window(Options());
        QVERIFY(!window.IsLoaded());
        LoadSettings(window);
        // The row loaded the window before it showed, with the settings read.
        QVERIFY(window.IsLoaded());
        QVERIFY(!window.isVisible());
        QCOMPARE(window.windowTitle(), Caption());
        QCOMPARE(m_messages.Shown().size(), 1);
        window.show();
        QCOMPARE(m_messages.Shown().size(), 1);
    }

private:
    SMainOptions Options()
    {
        SMainOptions options;
        options.helpPort = 0;
        options.isManagerRunning = [this] {
            ++m_managerAsked;
            return m_managerRunning;
        };
        options.openUrl = [this](const QUrl& url) {
            m_opened.append(url);
            return true;
        };
        options.trayAvailable = [this] { return m_trayAvailable; };
        options.endProgram = [this] { ++m_endCount; };
        // Nothing leaves the machine, whatever a test clicks.
        options.pinger = &m_pinger;
        options.pages = &m_pages;
        options.equipment.rescueAddress = QStringLiteral("127.0.0.1");
        options.equipment.port = ClosedLoopbackPort(QStringLiteral("127.0.0.1"));
        options.ras.pppdProgram = QStringLiteral(PPPD_STANDIN);
        return options;
    }

    SMainCommands Commands()
    {
        m_commands.clear();
        SMainCommands commands;
        commands.connectToEquipment = [this](const QString& address) {
            m_commands.append(QStringLiteral("connect ") + address);
        };
        commands.toggleDialUpLink = [this] { m_commands.append(QStringLiteral("toggle")); };
        commands.startRescueConnection = [this] { m_commands.append(QStringLiteral("rescue")); };
        commands.showOptions = [this] { m_commands.append(QStringLiteral("options")); };
        return commands;
    }

    static std::unique_ptr<cFtpServer> FileServer(const QString& folder)
    {
        SFtpServerOptions options = LoopbackServerOptions(folder);
        options.trayIcon = false;
        return CreateFtpServer(options);
    }

    CTestSettingsFolder m_settings;
    CTestWebRoot m_webRoot;
    CMessageCapture m_messages;
    int m_endCount = 0;
    bool m_managerRunning = false;
    int m_managerAsked = 0;
    bool m_trayAvailable = true;
    QList<QUrl> m_opened;
    QStringList m_commands;
    CScriptedPinger m_pinger{kIpGeneralFailure};
    CRecordingPages m_pages;
};

QTEST_MAIN(tst_FMain)
#include "tst_FMain.moc"
