#include "common/ui/CTrayIcon.h"
#include "console/ui/FAddEditIpAdd.h"
#include "console/ui/FMain.h"
#include "console/ui/MLoadSettings.h"
#include "fileserver/cFtpServer.h"
#include "tests/console/EquipmentSimProcess.h"
#include "tests/console/EquipmentTestDoubles.h"
#include "tests/console/TestSettingsFolder.h"
#include "tests/console/help/HttpTestClient.h"
#include "tests/console/settings/BookSection.h"
#include "tests/console/ui/MainTestKit.h"
#include "tests/fileserver/LoopbackServerOptions.h"

#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QStatusBar>
#include <QTcpServer>
#include <QToolBar>
#include <QTreeWidget>
#include <QtTest/qtestspontaneevent.h>
#include <QtTest>

namespace {

const StoreMap kThree{{"0IpAddress", "10.0.0.1"}, {"0Description", "first"},
                      {"1IpAddress", "10.0.0.2"}, {"1Description", "second"},
                      {"2IpAddress", "10.0.0.3"}, {"2Description", "third"}};

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

QString Artefact(const QString& name)
{
    QDir().mkpath(QStringLiteral(PELION_TEST_ARTEFACTS));
    return QStringLiteral(PELION_TEST_ARTEFACTS) + QLatin1Char('/') + name;
}

// Rows as "key address description", in the list's order.
QStringList Rows(const FMain& window)
{
    QStringList rows;
    for (int i = 0; i < window.lvwIpAdd()->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = window.lvwIpAdd()->topLevelItem(i);
        rows.append(FMain::RowKey(item) + ' ' + item->text(0) + ' ' + item->text(1));
    }
    return rows;
}

QTreeWidgetItem* RowOf(const FMain& window, const QString& address)
{
    return window.lvwIpAdd()->findItems(address, Qt::MatchExactly, 0).value(0);
}

void ClickRow(FMain& window, const QString& address)
{
    QTreeWidget* list = window.lvwIpAdd();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualItemRect(RowOf(window, address)).center());
}

void ClickHeading(FMain& window, int column)
{
    QHeaderView* header = window.lvwIpAdd()->header();
    const int x = header->sectionViewportPosition(column - 1) + header->sectionSize(column - 1) / 2;
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(x, header->height() / 2));
}

// Fills the add or edit dialog and presses OK, or Cancel when address is null.
void AnswerDialog(const QString& address, const QString& description, QString* caption = nullptr)
{
    WhenModal([=](QWidget* modal) {
        auto* dialog = qobject_cast<FAddEditIpAdd*>(modal);
        QVERIFY(dialog);
        if (caption)
            *caption = dialog->windowTitle();
        if (address.isNull())
            return QTest::mouseClick(dialog->cmdCancel(), Qt::LeftButton);
        if (!dialog->txtIpAddr()->isReadOnly())
            QTest::keyClicks(dialog->txtIpAddr(), address);
        dialog->txtDescription()->setText(description);
        QTest::mouseClick(dialog->cmdOK(), Qt::LeftButton);
    });
}

} // namespace

class tst_FMain final : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(m_settings.IsValid()); }

    void init()
    {
        m_settings.MakeSystemScopeWritable();
        m_settings.Clear();
        QVERIFY(CSettingsStore().WriteWwwRoot(m_webRoot.Path()));
        gWwwRoot = m_webRoot.Path();
        gIpBookCount = 0;
        m_endCount = 0;
        m_managerRunning = false;
        m_managerAsked = 0;
        m_trayAvailable = true;
        m_opened.clear();
        m_messages.Clear();
    }

    void texts()
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
        QStringList keys;
        for (QAction* action : window.tlbMain()->actions()) {
            if (!action->objectName().isEmpty())
                keys.append(action->objectName());
        }
        QCOMPARE(keys, (QStringList{"Connect/Disconnect", "Browser", "Options", "Add", "Remove",
                                    "Edit", "Help"}));
        QStringList items;
        for (QAction* action : window.ToolButton(FMain::kKeyConnect)->menu()->actions())
            items << action->objectName() + '=' + action->text();
        QCOMPARE(items,
                 (QStringList{"ConnectViaSerialCableOrModem=Connect via serial cable or modem",
                              "RescueConnection=Rescue Connection"}));
        items.clear();
        for (int index = FMain::kTrayShow; index <= FMain::kTrayExit; ++index) {
            QCOMPARE(window.mnuMain()->actions().value(index - 1), window.mnuTray(index));
            items << window.mnuTray(index)->text();
        }
        QCOMPARE(items, (QStringList{"Pelion Main", "Connect", "Disconnect", "Rescue Connection",
                                     "Browser", "Exit"}));
        QCOMPARE(window.mnuMain()->actions().size(), 6);
        QVERIFY(m_messages.Shown().isEmpty());
        QVERIFY(window.grab().save(Artefact(QStringLiteral("console-main-window-empty.png"))));
    }

    // The picture of each button carries its caption's name.
    void toolbarButtons_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("tip");
        const char* const rows[][2] = {
            {"Connect/Disconnect", "Connect via serial cable or modem/Rescue Conn."},
            {"Browser", "Open Pelion session at serial address"},
            {"Options", "Set up communication"},
            {"Add", "Add address to book"},
            {"Remove", "Remove selected address from book"},
            {"Edit", "Edit selected address in book"},
            {"Help", "Help"}};
        for (const auto& row : rows)
            QTest::newRow(row[0]) << QString(row[0]) << QString(row[1]);
    }
    void toolbarButtons()
    {
        QFETCH(QString, key);
        QFETCH(QString, tip);
        FMain window(Options());
        window.show();
        QAction* button = window.ToolButton(key);
        QVERIFY(button);
        const QString caption = key.section('/', 0, 0);
        QCOMPARE(button->text(), caption);
        QCOMPARE(button->toolTip(), tip);
        QVERIFY(!window.Picture(caption).isNull());
        QCOMPARE(button->icon().cacheKey(), window.Picture(caption).cacheKey());
    }

    // Enabled (1) or not: Connect, Browser, Options buttons; tray Connect,
    // Disconnect, Rescue, Browser.
    void looks_data()
    {
        QTest::addColumn<bool>("connected");
        QTest::addColumn<QString>("peer");
        QTest::addColumn<QString>("look");
        QTest::newRow("disconnected") << false << ""
                                      << "1011010";
        QTest::newRow("connected with peer") << true << "10.0.0.1"
                                             << "1100111";
        QTest::newRow("connected without peer") << true << ""
                                                << "1000111";
    }
    void looks()
    {
        QFETCH(bool, connected);
        QFETCH(QString, peer);
        QFETCH(QString, look);
        FMain window(Options());
        window.show();
        window.SetPeerIpAddress(peer);
        if (connected)
            window.UpdateConnectedStatusStuff();
        QAction* connect = window.ToolButton(FMain::kKeyConnect);
        QCOMPARE(Look(window), look);
        for (QAction* action :
             {window.mnuTray(1), window.mnuTray(6), window.ToolButton(FMain::kKeyAdd),
              window.ToolButton(FMain::kKeyHelp),
              window.ButtonMenuItem(FMain::kKeyConnectViaSerial),
              window.ButtonMenuItem(FMain::kKeyRescueConnection)})
            QVERIFY(action->isEnabled());
        QCOMPARE(window.IsConnected(), connected);
        QCOMPARE(connect->text(), connected ? "Disconnect" : "Connect");
        QCOMPARE(connect->toolTip(), connected ? "Disconnect serial cable or modem link"
                                               : "Connect via serial cable or modem/Rescue Conn.");
        QCOMPARE(connect->icon().cacheKey(),
                 window.Picture(connected ? "Disconnect" : "Connect").cacheKey());
        QCOMPARE(window.StatusPanel()->text(),
                 connected ? "Status: Connected" : "Status: Disconnected");
        QCOMPARE(window.IsOnLineShown(), connected);
        QCOMPARE(window.tmrConnectImage()->isActive(), connected);
        if (connected)
            window.grab().save(Artefact(QStringLiteral("console-main-window-connected.png")));
        window.UpdateDisconnectedStatusStuff();
        QVERIFY(!window.IsConnected());
        QVERIFY(!window.IsOnLineShown());
        QVERIFY(!window.tmrConnectImage()->isActive());
    }

    void commandsReachTheirHandlers_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("expected");
        const char* const rows[][2] = {{"button Connect/Disconnect", "toggle"},
                                       {"button Browser", "connect 10.0.0.9"},
                                       {"button Options", "options"},
                                       {"menu ConnectViaSerialCableOrModem", "toggle"},
                                       {"menu RescueConnection", "rescue"},
                                       {"tray 3", "toggle"},
                                       {"tray 4", "rescue"},
                                       {"tray 5", "connect 10.0.0.9"}};
        for (const auto& row : rows)
            QTest::newRow(row[0]) << QString(row[0]) << QString(row[1]);
    }
    void commandsReachTheirHandlers()
    {
        QFETCH(QString, command);
        QFETCH(QString, expected);
        QStringList commands;
        SMainOptions options = Options();
        options.commands.connectToEquipment = [&](const QString& address) {
            commands << "connect " + address;
        };
        options.commands.toggleDialUpLink = [&] { commands << "toggle"; };
        options.commands.startRescueConnection = [&] { commands << "rescue"; };
        options.commands.showOptions = [&] { commands << "options"; };
        FMain window(options);
        window.show();
        window.SetPeerIpAddress(QStringLiteral("10.0.0.9"));
        window.UpdateConnectedStatusStuff();
        // Options is for the disconnected look.
        if (command.endsWith(QLatin1String("Options")))
            window.UpdateDisconnectedStatusStuff();
        const QString target = command.section(' ', 1);
        QAction* action = command.startsWith(QLatin1String("button")) ? window.ToolButton(target)
                          : command.startsWith(QLatin1String("menu"))
                              ? window.ButtonMenuItem(target)
                              : window.mnuTray(target.toInt());
        QVERIFY(action && action->isEnabled());
        action->trigger();
        QCOMPARE(commands, QStringList{expected});
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
        QVERIFY(!window.tmrBalloon()->isActive());
        QVERIFY(!window.tmrPingPPP()->isActive());
        QTRY_COMPARE(window.ConnectImageIndex(), 2);
        QTRY_COMPARE(window.ConnectImageIndex(), 1);
    }

    // The close box hides the window where there is a tray (a double click on
    // the icon or "Pelion Main" brings it back), and minimises it elsewhere.
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
        if (tray) {
            emit window.TrayIcon()->SystemIcon()->activated(QSystemTrayIcon::Trigger);
            QVERIFY(!window.isVisible());
            emit window.TrayIcon()->SystemIcon()->activated(QSystemTrayIcon::DoubleClick);
            QVERIFY(window.isVisible());
            ClickCloseBox(window);
        }
        window.mnuTray(FMain::kTrayShow)->trigger();
        QVERIFY(window.isVisible());
        QVERIFY(!window.isMinimized());
    }

    // Exit ends the program once: the help server and the tray icon go, the
    // web root goes back to the machine-wide store (quietly when it cannot),
    // the console's other windows close, and the file server closes unless
    // the sibling manager runs.
    void exitUnloads_data()
    {
        QTest::addColumn<bool>("byClose");
        QTest::addColumn<bool>("managerRunning");
        QTest::addColumn<bool>("storeWritable");
        QTest::newRow("tray Exit") << false << false << true;
        QTest::newRow("tray Exit, sibling manager running") << false << true << true;
        QTest::newRow("tray Exit, store not writable") << false << false << false;
        QTest::newRow("the program closes the window twice") << true << false << true;
    }
    void exitUnloads()
    {
        QFETCH(bool, byClose);
        QFETCH(bool, managerRunning);
        QFETCH(bool, storeWritable);
        QTemporaryDir served;
        std::unique_ptr<cFtpServer> server = FileServer(served.path());
        SMainOptions options = Options();
        options.fileServer = server.get();
        FMain window(options);
        window.show();
        auto* other = new QWidget(&window, Qt::Window);
        other->show();
        const quint16 helpPort = quint16(window.HelpServer()->BaseUrl().port());
        QVERIFY(server->FtpPort() != 0);
        m_managerRunning = managerRunning;
        gWwwRoot = m_webRoot.Missing();
        if (!storeWritable)
            m_settings.MakeSystemScopeUnwritable();
        if (byClose) {
            QVERIFY(window.close());
            QVERIFY(window.close());
        } else {
            window.mnuTray(FMain::kTrayExit)->trigger();
        }
        QCOMPARE(m_endCount, 1);
        QCOMPARE(m_managerAsked, 1);
        QVERIFY(!window.isVisible());
        QVERIFY(!other->isVisible());
        QVERIFY(m_messages.Shown().isEmpty());
        m_settings.MakeSystemScopeWritable();
        QCOMPARE(CSettingsStore().ReadWwwRoot(),
                 storeWritable ? m_webRoot.Missing() : m_webRoot.Path());
        QVERIFY(!window.HelpServer());
        QTcpServer again;
        QVERIFY(again.listen(QHostAddress::LocalHost, helpPort));
        QVERIFY(!window.TrayIcon()->IsShown());
        QCOMPARE(server->FtpPort() != 0, managerRunning);
        QCOMPARE(window.FileServer() != nullptr, managerRunning);
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
        server->RaiseTrayEvent(TrayShowOptions);
        QVERIFY(!server->EnableMonitor());
        server->RaiseTrayEvent(TrayShowMon);
        QVERIFY(server->EnableMonitor());
        server->SetEnableMonitor(false);
    }

    // The help server and "Help": the guide through the server; with its
    // port held, a message and the guide as a file; with the web root
    // missing, a message at start and again at "Help".
    void help_data()
    {
        QTest::addColumn<QString>("trouble");
        QTest::addColumn<QString>("message");
        QTest::newRow("help server runs") << ""
                                          << "";
        QTest::newRow("port held by another socket") << "port" << FMain::kHelpPortMessage;
        QTest::newRow("web root missing") << "root" << FMain::kHelpFolderMessage;
    }
    void help()
    {
        QFETCH(QString, trouble);
        QFETCH(QString, message);
        QTcpServer holder;
        QVERIFY(holder.listen(QHostAddress::LocalHost, 0));
        SMainOptions options = Options();
        if (trouble == QLatin1String("port"))
            options.helpPort = holder.serverPort();
        if (trouble == QLatin1String("root"))
            gWwwRoot = m_webRoot.Missing();
        FMain window(options);
        window.show();
        QVERIFY(window.isVisible());
        QVERIFY(window.TrayIcon()->IsShown());
        QCOMPARE(window.HelpServer() != nullptr, trouble != QLatin1String("root"));
        QCOMPARE(window.HelpServer() && window.HelpServer()->IsListening(), trouble.isEmpty());
        QStringList shown;
        for (const SMessage& box : m_messages.Shown()) {
            QCOMPARE(box.title, QStringLiteral("Pelion"));
            QCOMPARE(box.icon, EMessageIcon::Information);
            QCOMPARE(box.buttons, EMessageButtons::Ok);
            shown << box.text;
        }
        QCOMPARE(shown, message.isEmpty() ? QStringList() : QStringList{message});
        m_messages.Clear();
        window.ToolButton(FMain::kKeyHelp)->trigger();
        if (trouble.isEmpty()) {
            const QUrl base = window.HelpServer()->BaseUrl();
            QCOMPARE(base.host(), QStringLiteral("127.0.0.1"));
            QCOMPARE(m_opened, QList<QUrl>{base.resolved(QUrl(QStringLiteral("help/index.html")))});
            const SHttpResponse page =
                RawHttpRequest(quint16(base.port()), RequestLine("GET", "/help/index.html"));
            QCOMPARE(page.status, 200);
            QCOMPARE(page.headers.value("content-type"), QByteArray("text/html; charset=utf-8"));
            QVERIFY(page.body.contains("Guide"));
        } else if (trouble == QLatin1String("port")) {
            QCOMPARE(m_opened,
                     QList<QUrl>{QUrl::fromLocalFile(m_webRoot.Path() + "/help/index.html")});
        } else {
            QVERIFY(m_opened.isEmpty());
            QCOMPARE(m_messages.Shown().size(), 1);
            QCOMPARE(m_messages.Shown().at(0).text, message);
        }
    }

    // The first book row loads the window before it shows, with the
    // settings read; showing it does not load it again.
    void loadRunsOnceWhenTheFirstRowLoads()
    {
        Fill({{"0IpAddress", "10.0.0.1"}});
        QVERIFY(CSettingsStore().WriteWwwRoot(m_webRoot.Missing()));
        FMain window(Options());
        QVERIFY(!window.IsLoaded());
        LoadSettings(window);
        QVERIFY(window.IsLoaded());
        QVERIFY(!window.isVisible());
        QCOMPARE(window.windowTitle(), Caption());
        QCOMPARE(m_messages.Shown().size(), 1);
        window.show();
        QCOMPARE(m_messages.Shown().size(), 1);
    }

    void loadFillsTheList()
    {
        Fill({{"0IpAddress", "10.0.0.1"},
              {"0Description", "a"},
              {"1IpAddress", "10.0.0.2"},
              {"3IpAddress", "10.0.0.4"},
              {"3Description", "d"}});
        FMain window(Options());
        LoadSettings(window);
        QCOMPARE(gIpBookCount, qint16(2));
        QCOMPARE(Rows(window), (QStringList{"k_0_10.0.0.1 10.0.0.1 a", "k_1_10.0.0.2 10.0.0.2 "}));
        QVERIFY(window.lvwIpAdd()->selectedItems().isEmpty());
        QCOMPARE(window.lvwIpAdd()->topLevelItem(0)->icon(0).cacheKey(),
                 window.Picture(QStringLiteral("IpAddress")).cacheKey());
        window.show();
        QVERIFY(window.grab().save(Artefact(QStringLiteral("console-main-window.png"))));
    }

    // Cancel and a duplicate add nothing.
    void add_data()
    {
        QTest::addColumn<StoreMap>("stored");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("message");
        QTest::newRow("into an empty book") << StoreMap() << "10.0.0.1"
                                            << "k_0_10.0.0.1"
                                            << "";
        QTest::newRow("after three") << kThree << "192.168.10.1"
                                     << "k_3_192.168.10.1"
                                     << "";
        QTest::newRow("blanks trimmed") << kThree << " 10.0.0.9 "
                                        << "k_3_10.0.0.9"
                                        << "";
        QTest::newRow("10.0.0.11 beside 10.0.0.1") << kThree << "10.0.0.11"
                                                   << "k_3_10.0.0.11"
                                                   << "";
        QTest::newRow("cancelled") << kThree << "cancel"
                                   << ""
                                   << "";
        QTest::newRow("duplicate") << kThree << "10.0.0.1"
                                   << "" << FMain::kDuplicateMessage;
    }
    void add()
    {
        QFETCH(StoreMap, stored);
        QFETCH(QString, typed);
        QFETCH(QString, key);
        QFETCH(QString, message);
        Fill(stored);
        FMain window(Options());
        LoadSettings(window);
        window.show();
        const int count = gIpBookCount;
        QString caption;
        AnswerDialog(typed == QLatin1String("cancel") ? QString() : typed, QStringLiteral("lab"),
                     &caption);
        window.ToolButton(FMain::kKeyAdd)->trigger();
        QCOMPARE(caption, QStringLiteral("Add Ip Address"));
        QCOMPARE(m_messages.Shown().size(), message.isEmpty() ? 0 : 1);
        if (!message.isEmpty()) {
            QCOMPARE(m_messages.Shown().at(0).text, message);
            QCOMPARE(m_messages.Shown().at(0).icon, EMessageIcon::Information);
        }
        StoreMap expected = stored;
        if (!key.isEmpty()) {
            expected.insert(QString::number(count) + "IpAddress", typed.trimmed());
            expected.insert(QString::number(count) + "Description", QStringLiteral("lab"));
        }
        QCOMPARE(Contents(), expected);
        QCOMPARE(gIpBookCount, qint16(expected.size() / 2));
        QCOMPARE(window.lvwIpAdd()->topLevelItemCount(), int(gIpBookCount));
        if (!key.isEmpty()) {
            QTreeWidgetItem* row = RowOf(window, typed.trimmed());
            QVERIFY(row);
            QCOMPARE(FMain::RowKey(row), key);
            QCOMPARE(row->text(1), QStringLiteral("lab"));
            QVERIFY(row->isSelected());
        }
    }

    // Without a selection, Remove only disables Remove and Edit.
    void remove_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<bool>("yes");
        QTest::addColumn<QStringList>("rows");
        const QString one = QStringLiteral("k_%1_10.0.0.1 10.0.0.1 first");
        const QString two = QStringLiteral("k_%1_10.0.0.2 10.0.0.2 second");
        const QString three = QStringLiteral("k_%1_10.0.0.3 10.0.0.3 third");
        QTest::newRow("entry 0 of three")
            << "10.0.0.1" << true << QStringList{two.arg(0), three.arg(1)};
        QTest::newRow("entry 1 of three")
            << "10.0.0.2" << true << QStringList{one.arg(0), three.arg(1)};
        QTest::newRow("answered No")
            << "10.0.0.1" << false << QStringList{one.arg(0), two.arg(1), three.arg(2)};
        QTest::newRow("nothing selected")
            << "" << true << QStringList{one.arg(0), two.arg(1), three.arg(2)};
    }
    void remove()
    {
        QFETCH(QString, address);
        QFETCH(bool, yes);
        QFETCH(QStringList, rows);
        Fill(kThree);
        FMain window(Options());
        LoadSettings(window);
        window.show();
        QAction* remove = window.ToolButton(FMain::kKeyRemove);
        QAction* edit = window.ToolButton(FMain::kKeyEdit);
        if (address.isEmpty()) {
            window.SetToolButtonEnabled(FMain::kKeyRemove, true);
            window.SetToolButtonEnabled(FMain::kKeyEdit, true);
        } else {
            ClickRow(window, address);
        }
        QVERIFY(remove->isEnabled() && edit->isEnabled());
        if (!address.isEmpty())
            m_messages.Answer(yes ? EMessageResult::Yes : EMessageResult::No);
        remove->trigger();
        QCOMPARE(m_messages.Shown().size(), address.isEmpty() ? 0 : 1);
        if (!address.isEmpty()) {
            const SMessage prompt = m_messages.Shown().at(0);
            QCOMPARE(prompt.text, "Are you sure you want to remove entry " + address + " ?");
            QCOMPARE(prompt.title, QStringLiteral("Pelion"));
            QCOMPARE(prompt.icon, EMessageIcon::Question);
            QCOMPARE(prompt.buttons, EMessageButtons::YesNo);
        }
        QCOMPARE(Rows(window), rows);
        StoreMap expected;
        for (int i = 0; i < rows.size(); ++i) {
            const QStringList parts = rows[i].split(' ');
            expected.insert(QString::number(i) + "IpAddress", parts[1]);
            expected.insert(QString::number(i) + "Description", parts[2]);
        }
        QCOMPARE(Contents(), expected);
        QCOMPARE(gIpBookCount, qint16(rows.size()));
        QVERIFY(!remove->isEnabled());
        QVERIFY(!edit->isEnabled());
    }

    void editAfterRemovalHitsTheRightEntry()
    {
        Fill(kThree);
        FMain window(Options());
        LoadSettings(window);
        window.show();
        ClickRow(window, QStringLiteral("10.0.0.1"));
        window.ToolButton(FMain::kKeyRemove)->trigger();
        // 10.0.0.3 now lives at index 1; its edit must not write index 2.
        ClickRow(window, QStringLiteral("10.0.0.3"));
        QString caption;
        AnswerDialog(QStringLiteral("x"), QStringLiteral("moved"), &caption);
        window.ToolButton(FMain::kKeyEdit)->trigger();
        QCOMPARE(caption, QStringLiteral("Edit Ip Address"));
        QCOMPARE(Contents(), (StoreMap{{"0IpAddress", "10.0.0.2"},
                                       {"0Description", "second"},
                                       {"1IpAddress", "10.0.0.3"},
                                       {"1Description", "moved"}}));
        QCOMPARE(RowOf(window, QStringLiteral("10.0.0.3"))->text(1), QStringLiteral("moved"));
        ClickRow(window, QStringLiteral("10.0.0.3"));
        window.ToolButton(FMain::kKeyRemove)->trigger();
        QCOMPARE(Contents(), (StoreMap{{"0IpAddress", "10.0.0.2"}, {"0Description", "second"}}));
        QCOMPARE(Rows(window), QStringList{"k_0_10.0.0.2 10.0.0.2 second"});
    }

    // Addresses sort as text; each heading click turns its order round and
    // the other heading's picture goes.
    void sortCycle()
    {
        Fill({{"0IpAddress", "10.0.0.9"},
              {"0Description", "b"},
              {"1IpAddress", "10.0.0.10"},
              {"1Description", "c"},
              {"2IpAddress", "10.0.0.2"},
              {"2Description", "a"}});
        FMain window(Options());
        LoadSettings(window);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const auto order = [&] {
            QStringList texts;
            for (int i = 0; i < window.lvwIpAdd()->topLevelItemCount(); ++i)
                texts.append(window.lvwIpAdd()->topLevelItem(i)->text(0).section('.', 3));
            return texts.join(' ') + ' ' + window.HeadingPictureKey(1) + '/'
                   + window.HeadingPictureKey(2) + ' ' + QString::number(window.SortColumn());
        };
        QCOMPARE(order(), QStringLiteral("10 2 9 Ascending/None 1"));
        const QStringList afterClicks{"9 2 10 Descending/None 1", "10 2 9 Ascending/None 1",
                                      "9 2 10 Descending/None 1", "2 9 10 None/Ascending 2",
                                      "10 9 2 None/Descending 2"};
        const int columns[] = {1, 1, 1, 2, 2};
        for (int i = 0; i < 5; ++i) {
            ClickHeading(window, columns[i]);
            QCOMPARE(order(), afterClicks[i]);
        }
        QCOMPARE(window.lvwIpAdd()->headerItem()->icon(1).cacheKey(),
                 window.Picture(QStringLiteral("Descending")).cacheKey());
        QCOMPARE(window.lvwIpAdd()->headerItem()->icon(0).cacheKey(),
                 window.Picture(QStringLiteral("None")).cacheKey());
        // A row added now takes its place in the order.
        AnswerDialog(QStringLiteral("10.0.0.5"), QStringLiteral("d"));
        window.ToolButton(FMain::kKeyAdd)->trigger();
        QCOMPARE(order(), QStringLiteral("5 10 9 2 None/Descending 2"));
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
    CScriptedPinger m_pinger{kIpGeneralFailure};
    CRecordingPages m_pages;
};

QTEST_MAIN(tst_FMain)
#include "tst_FMain.moc"
