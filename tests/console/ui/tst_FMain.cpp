// The main window offscreen, its link and equipment against stand-ins.

#include "common/ui/CTrayIcon.h"
#include "console/equipment/CEquipmentAccess.h"
#include "console/settings/MSettings.h"
#include "console/ui/FAddEditIpAdd.h"
#include "console/ui/MLoadSettings.h"
#include "tests/console/EquipmentSimProcess.h"
#include "tests/console/EquipmentTestDoubles.h"
#include "tests/console/TestSettingsFolder.h"
#include "tests/console/settings/BookSection.h"
#include "tests/console/ui/MainTestKit.h"
#include "tests/fileserver/LoopbackServerOptions.h"

#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QTcpServer>
#include <QToolBar>
#include <QTreeWidget>
#include <QtTest/qtestspontaneevent.h>
#include <QtTest>

using WindowLookup::Child;

namespace {

struct SWindowParts final {
    static QTreeWidget* List(const FMain& w) { return Child<QTreeWidget>(w, "lvwIpAdd"); }
    static QString Status(const FMain& w) { return Child<QLabel>(w, "Status")->text(); }
    static CTrayIcon* Icon(const FMain& w) { return Child<CTrayIcon>(w, "priTrayIcon"); }
};
using P = SWindowParts;

// A close request as the window system sends it for the close box.
void ClickCloseBox(QWidget& window)
{
    QCloseEvent close;
    QSpontaneKeyEvent::setSpontaneous(&close);
    QApplication::instance()->notify(&window, &close);
}

// Rows as "key address description", in the list's order.
QStringList Rows(const FMain& window)
{
    QStringList rows;
    for (int i = 0; i < P::List(window)->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = P::List(window)->topLevelItem(i);
        rows.append(FMain::RowKey(item) + ' ' + item->text(0) + ' ' + item->text(1));
    }
    return rows;
}

void ClickRow(FMain& window, const QString& address)
{
    QTreeWidgetItem* row = P::List(window)->findItems(address, Qt::MatchExactly, 0).value(0);
    QTest::mouseClick(P::List(window)->viewport(), Qt::LeftButton, {},
                      P::List(window)->visualItemRect(row).center());
}

// Types into the add or edit dialog (the edit keeps its address) and presses OK.
void AnswerDialog(const QString& address, const QString& description, QString* caption = nullptr)
{
    WindowLookup::WhenModal([=](QWidget* modal) {
        auto* dialog = qobject_cast<FAddEditIpAdd*>(modal);
        QVERIFY(dialog);
        if (caption)
            *caption = dialog->windowTitle();
        QTest::keyClicks(dialog->txtIpAddr(), address);
        dialog->txtDescription()->setText(description);
        QTest::mouseClick(dialog->cmdOK(), Qt::LeftButton);
    });
}

} // namespace

class tst_FMain final : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_settings.IsValid() && m_noProcesses.isValid());
        // Balloons stay the tray's own: no desktop notification server is reached.
        qputenv("DBUS_SESSION_BUS_ADDRESS",
                "unix:path=" + QFile::encodeName(m_noProcesses.path()) + "/no-bus");
    }

    void init()
    {
        m_settings.MakeSystemScopeWritable();
        m_settings.Clear();
        QVERIFY(CSettingsStore().WriteWwwRoot(m_webRoot.Path()));
        gWwwRoot = m_webRoot.Path();
        gIpBookCount = 0;
        gConnType = kConnTypeDirectCable;
        m_endCount = m_managerAsked = 0;
        m_managerRunning = false;
        m_trayAvailable = true;
        m_opened.clear();
        m_pages.calls.clear();
        m_noAnswers.pinged.clear();
        m_messages.Clear();
        qputenv("PPPD_STANDIN_PAUSE", "0.02");
    }

    // Loaded before it shows (the book ends at its first gap); showing does not
    // load it again. Without its web root "Help" tells so at start and again.
    void loadsOnceAndShowsItsTexts()
    {
        Fill({{"0IpAddress", "10.0.0.1"},
              {"0Description", "a"},
              {"1IpAddress", "10.0.0.2"},
              {"3IpAddress", "10.0.0.4"}});
        QVERIFY(CSettingsStore().WriteWwwRoot(m_webRoot.Missing()));
        FMain window(Options());
        LoadSettings(window);
        QCOMPARE(gIpBookCount, qint16(2));
        QCOMPARE(Rows(window), (QStringList{"k_0_10.0.0.1 10.0.0.1 a", "k_1_10.0.0.2 10.0.0.2 "}));
        window.show();
        Button(window, FMain::kKeyHelp)->trigger();
        QCOMPARE(m_messages.Texts(), QStringList(2, FMain::kHelpFolderMessage));
        QVERIFY(m_messages.Shown().at(0).icon == EMessageIcon::Information && m_opened.isEmpty());
        QCOMPARE(Child<QGroupBox>(window, "frmMain")->title(), "LAN address book");
        QCOMPARE(Child<QLabel>(window, "lblHint")->text(),
                 "Double click an item in the below list to connect via LAN to the specified IP "
                 "address");
        QCOMPARE(P::Status(window), "Status: Disconnected");
        QVERIFY(P::Icon(window)->IsShown() && P::Icon(window)->Tip() == window.windowTitle());
        QCOMPARE(P::Icon(window)->SystemIcon()->contextMenu(), Child<QMenu>(window, "mnuMain"));
        QStringList items;
        for (QAction* button : Child<QToolBar>(window, "tlbMain")->actions()) {
            if (!button->objectName().isEmpty())
                items << button->objectName() + '|' + button->text() + '|' + button->toolTip();
        }
        for (QAction* item : Button(window, FMain::kKeyConnect)->menu()->actions()
                                 + Child<QMenu>(window, "mnuMain")->actions())
            items << item->objectName() + '=' + item->text();
        QCOMPARE(items,
                 (QStringList{
                     "Connect/Disconnect|Connect|Connect via serial cable or modem/Rescue Conn.",
                     "Browser|Browser|Open Pelion session at serial address",
                     "Options|Options|Set up communication", "Add|Add|Add address to book",
                     "Remove|Remove|Remove selected address from book",
                     "Edit|Edit|Edit selected address in book", "Help|Help|Help",
                     "ConnectViaSerialCableOrModem=Connect via serial cable or modem",
                     "RescueConnection=Rescue Connection", "mnuTray1=Pelion Main",
                     "mnuTray2=Connect", "mnuTray3=Disconnect", "mnuTray4=Rescue Connection",
                     "mnuTray5=Browser", "mnuTray6=Exit"}));
    }

    // A modem dial through the window opens the far end, again from the tray;
    // the rescue login dialog opens once, its Ok logs in at the rescue address.
    // A failure is told in a message, the far end lost in a balloon.
    void dialsAndShowsWhatTheLinkReports()
    {
        CEquipmentSimProcess sim;
        SMainOptions options = Options();
        QVERIFY(StartSim(sim, QStringLiteral("127.0.0.44"), options));
        options.balloonIntervalMs = 60000;
        options.equipment.rescueAddress = QStringLiteral("127.0.0.44");
        gConnType = kConnTypeModem;
        gModemEntry = QStringLiteral("modem-ok");
        qputenv("PPPD_STANDIN_REMOTE", "127.0.0.44");
        FMain window(options);
        window.show();
        QAction* connect = Button(window, FMain::kKeyConnect);
        auto* image = Child<QLabel>(window, "imgOnLine");
        const auto shown = [&] {
            return QStringList{
                Look(window), connect->text(), connect->toolTip(),
                QString::number(image->isVisible()),
                QString::number(Child<QTimer>(window, "tmrConnectImage")->isActive())};
        };
        connect->trigger();
        QTRY_COMPARE(P::Status(window), "Status: Connected");
        QTRY_COMPARE(shown(), (QStringList{"1000111", "Disconnect",
                                           "Disconnect serial cable or modem link", "1", "1"}));
        const QImage picture = image->pixmap().toImage();
        window.tmrConnectImage_Timer();
        QVERIFY(image->pixmap().toImage() != picture);
        const QString home = QStringLiteral("open http://127.0.0.44:%1/home.html").arg(sim.Port());
        QTRY_COMPARE(m_pages.calls, QStringList{home});
        Tray(window, FMain::kTrayBrowser)->trigger();
        QTRY_COMPARE(m_pages.calls, (QStringList{home, home}));
        Tray(window, FMain::kTrayDisconnect)->trigger();
        QTRY_COMPARE(P::Status(window), "Status: Disconnected");
        QTRY_COMPARE(shown(),
                     (QStringList{"1011010", "Connect",
                                  "Connect via serial cable or modem/Rescue Conn.", "0", "0"}));
        for (const char* click : {"cmdOk", "cmdCancel"}) {
            Tray(window, FMain::kTrayRescue)->trigger();
            Button(window, FMain::kKeyRescueConnection)->trigger();
            QCOMPARE(window.findChildren<FRescueLogin*>().size(), 1);
            const QPointer<FRescueLogin> dialog = window.findChild<FRescueLogin*>();
            QTest::mouseClick(Child<QPushButton>(*dialog, click), Qt::LeftButton);
            QTRY_VERIFY(dialog.isNull());
        }
        QCOMPARE(m_pages.calls.value(2),
                 QStringLiteral("open http://127.0.0.44:%1/orvaneBridge.asp?user=SYSTEM")
                     .arg(sim.Port()));
        QCOMPARE(m_pages.calls.size(), 3);
        emit window.Link().OnFailure(QStringLiteral("Connection Failed !\r\nCheck cable"));
        QCOMPARE(m_messages.Texts(), QStringList{"Connection Failed !\r\nCheck cable"});
        QCOMPARE(m_messages.Shown().at(0).icon, EMessageIcon::Exclamation);
        emit window.Link().OnUnreachable(QStringLiteral("Equipment unreachable!"));
        QVERIFY(P::Icon(window)->BalloonText() == "Equipment unreachable!"
                && P::Icon(window)->BalloonSeverity() == CTrayIcon::kBalloonError);
        auto* balloon = Child<QTimer>(window, "tmrBalloon");
        QVERIFY(balloon->isActive() && balloon->interval() == 60000);
        window.tmrBalloon_Timer();
        QVERIFY(!balloon->isActive() && P::Icon(window)->BalloonText().isEmpty());
    }

    // A rescue that ends without a session (a login the equipment refuses,
    // the older interface's 404 to the probe) leaves the dialog idle with the
    // typed credentials, its bar stopped, and a second Ok starts again.
    void rescueEndedWithoutSession_data()
    {
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("page");
        QTest::newRow("login refused, chunked")
            << "--login-status 403 --chunked 3" << QString(kMsgRescueLoginRefused).arg(403)
            << QString();
        QTest::newRow("probe answered 404") << "--older" << QString() << "show 127.0.0.45 %1";
    }
    void rescueEndedWithoutSession()
    {
        QFETCH(QString, arguments);
        QFETCH(QString, message);
        QFETCH(QString, page);
        CEquipmentSimProcess sim;
        SMainOptions options = Options();
        QVERIFY(sim.Start(QStringLiteral("127.0.0.45"), arguments.split(' ')));
        options.equipment.port = sim.Port();
        options.equipment.rescueAddress = sim.Address();
        const QString url = QStringLiteral("http://127.0.0.45:%1").arg(sim.Port());
        FMain window(options);
        window.show();
        Button(window, FMain::kKeyRescueConnection)->trigger();
        const QPointer<FRescueLogin> dialog = window.findChild<FRescueLogin*>();
        QVERIFY(dialog);
        const auto state = [&] {
            QStringList shown;
            for (const char* name : {"cmdOk", "cmdAbort", "cmdCancel"})
                shown << QString::number(Child<QPushButton>(*dialog, name)->isEnabled());
            return shown << QString::number(Child<QTimer>(*dialog, "tmrProgress")->isActive())
                         << QString::number(Child<QProgressBar>(*dialog, "prgRescue")->value())
                         << Child<QLineEdit>(*dialog, "TxtUser")->text();
        };
        Child<QLineEdit>(*dialog, "TxtUser")->setText(QStringLiteral("OPERATOR"));
        Child<QLineEdit>(*dialog, "TxtLocalPwd")->setText(QStringLiteral("SECRET"));
        const QString outcome = message.isEmpty() ? page.arg(url) : message;
        for (int start = 1; start <= 2; ++start) {
            QTest::mouseClick(Child<QPushButton>(*dialog, "cmdOk"), Qt::LeftButton);
            QCOMPARE(state().mid(0, 3), (QStringList{"0", "1", "0"}));
            QTRY_COMPARE(m_messages.Texts() + m_pages.calls, QStringList(start, outcome));
            QCOMPARE(state(), (QStringList{"1", "0", "1", "0", "0", "OPERATOR"}));
        }
        QVERIFY(dialog);
        for (const SMessage& shown : m_messages.Shown())
            QVERIFY(shown.icon == EMessageIcon::Information && shown.title == "Pelion");
        QCOMPARE(sim.Count("login refused for user OPERATOR"), message.isEmpty() ? 0 : 2);
        QTest::mouseClick(Child<QPushButton>(*dialog, "cmdCancel"), Qt::LeftButton);
        QTRY_VERIFY(dialog.isNull());
    }

    // With the help port held, "Help" opens the guide as a file.
    void commandsReachTheirHandlers()
    {
        QStringList commands;
        QTcpServer holder;
        QVERIFY(holder.listen(QHostAddress::LocalHost, 0));
        SMainOptions options = Options();
        options.helpPort = holder.serverPort();
        options.commands.connectToEquipment = [&](const QString& to) {
            commands << "connect " + to;
        };
        options.commands.toggleDialUpLink = [&] { commands << "toggle"; };
        options.commands.startRescueConnection = [&] { commands << "rescue"; };
        options.commands.showOptions = [&] { commands << "options"; };
        FMain window(options);
        window.show();
        Button(window, FMain::kKeyOptions)->trigger(); // for the disconnected look
        emit window.Link().OnLookChanged({ELinkLook::Connected, true, true});
        for (const char* key : {FMain::kKeyConnect, FMain::kKeyBrowser, FMain::kKeyConnectViaSerial,
                                FMain::kKeyRescueConnection})
            Button(window, QLatin1String(key))->trigger();
        for (int item : {3, 4, 5})
            Tray(window, item)->trigger();
        window.AddIpBookRow(0, {QStringLiteral("10.0.0.9"), {}});
        // A double click comes after the first click of the pair.
        ClickRow(window, QStringLiteral("10.0.0.9"));
        QTest::mouseDClick(
            P::List(window)->viewport(), Qt::LeftButton, {},
            P::List(window)->visualItemRect(P::List(window)->topLevelItem(0)).center());
        // The link's far end is not known here: Browser asks for it empty.
        QCOMPARE(commands, (QStringList{"options", "toggle", "connect ", "toggle", "rescue",
                                        "toggle", "rescue", "connect ", "connect 10.0.0.9"}));
        Button(window, FMain::kKeyHelp)->trigger();
        QCOMPARE(m_opened, QList<QUrl>{QUrl::fromLocalFile(m_webRoot.Path() + "/help/index.html")});
        QCOMPARE(m_messages.Texts(), QStringList{FMain::kHelpPortMessage});
    }

    // Every close request hides the window while a tray shows its icon, which brings it back: a
    // double click on an XEmbed tray, a single activation on a StatusNotifier host. Without a
    // tray the user is asked; a yes (exitUnloads) ends the program.
    void closeRequest_data()
    {
        QTest::addColumn<bool>("closeBox"); // else the desktop's request, not a spontaneous one
        QTest::addColumn<bool>("tray");
        QTest::addColumn<bool>("notifierHost");
        QTest::addColumn<EMessageResult>("answer");
        QTest::addColumn<QString>("after");
        const EMessageResult none = EMessageResult::Ok;
        QTest::newRow("close box, XEmbed tray") << true << true << false << none << "hidden";
        QTest::newRow("compositor's close, StatusNotifier host")
            << false << true << true << none << "hidden";
        QTest::newRow("no tray, No") << true << false << false << EMessageResult::No << "shown";
    }
    void closeRequest()
    {
        QFETCH(bool, closeBox);
        QFETCH(bool, tray);
        QFETCH(bool, notifierHost);
        QFETCH(EMessageResult, answer);
        QFETCH(QString, after);
        m_trayAvailable = tray;
        SMainOptions options = Options();
        options.notifierHost = [notifierHost] { return notifierHost; };
        FMain window(options);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        if (!tray)
            m_messages.Answer(answer);
        if (closeBox)
            ClickCloseBox(window);
        else
            window.close();
        const bool ended = m_endCount == 1 && window.IsUnloaded() && !P::Icon(window)->IsShown();
        QCOMPARE(ended ? "ended" : window.isVisible() ? "shown" : "hidden", after);
        QCOMPARE(m_messages.Texts(), tray ? QStringList() : QStringList{FMain::kQuitQuestion});
        if (!tray) {
            const SMessage& asked = m_messages.Shown().at(0);
            QVERIFY(asked.title == "Pelion" && asked.icon == EMessageIcon::Question
                    && asked.buttons == EMessageButtons::YesNo);
        }
        if (after == "hidden") {
            emit P::Icon(window)->SystemIcon()->activated(QSystemTrayIcon::Trigger);
            QCOMPARE(window.isVisible(), notifierHost);
            emit P::Icon(window)->SystemIcon()->activated(QSystemTrayIcon::DoubleClick);
            QVERIFY(window.isVisible());
        }
    }

    // Exit ends the program once: the help server and the tray icon go, the
    // web root goes back to the machine-wide store (quietly when it cannot),
    // other windows close, the file server closes unless the manager runs.
    void exitUnloads_data()
    {
        QTest::addColumn<bool>("byClose");
        QTest::addColumn<bool>("managerRunning");
        QTest::addColumn<bool>("storeWritable");
        QTest::newRow("tray Exit, manager running, store not writable") << false << true << false;
        QTest::newRow("no tray: a close confirmed, then another") << true << false << true;
    }
    void exitUnloads()
    {
        QFETCH(bool, byClose);
        QFETCH(bool, managerRunning);
        QFETCH(bool, storeWritable);
        QTemporaryDir served;
        SFtpServerOptions serverOptions = LoopbackServerOptions(served.path());
        serverOptions.trayIcon = false;
        std::unique_ptr<cFtpServer> server = CreateFtpServer(serverOptions);
        SMainOptions options = Options();
        options.fileServer = server.get();
        FMain window(options);
        window.show();
        auto* other = new QWidget(&window, Qt::Window);
        other->show();
        Button(window, FMain::kKeyHelp)->trigger();
        const QUrl page = m_opened.value(0);
        QCOMPARE(page.host() + page.path(), QStringLiteral("127.0.0.1/help/index.html"));
        m_managerRunning = managerRunning;
        gWwwRoot = m_webRoot.Missing();
        if (!storeWritable)
            m_settings.MakeSystemScopeUnwritable();
        m_trayAvailable = !byClose;
        if (byClose)
            QVERIFY(window.close() && window.close());
        else
            Tray(window, FMain::kTrayExit)->trigger();
        QVERIFY(m_endCount == 1 && m_managerAsked == 1);
        QVERIFY(!window.isVisible() && !other->isVisible() && !P::Icon(window)->IsShown());
        QCOMPARE(m_messages.Texts(), byClose ? QStringList{FMain::kQuitQuestion} : QStringList());
        m_settings.MakeSystemScopeWritable();
        QCOMPARE(CSettingsStore().ReadWwwRoot(),
                 storeWritable ? m_webRoot.Missing() : m_webRoot.Path());
        QTcpServer again;
        QVERIFY(again.listen(QHostAddress::LocalHost, quint16(page.port())));
        QCOMPARE(server->FtpPort() != 0, managerRunning);
    }

    // Add (a duplicate adds nothing), Remove after its question (later rows
    // move down an index), Edit of a moved row, Remove without a selection
    // (only disables Remove and Edit). Addresses sort as text.
    void bookCommands()
    {
        Fill({{"0IpAddress", "10.0.0.1"},
              {"1IpAddress", "10.0.0.2"},
              {"2IpAddress", "10.0.0.3"},
              {"1Description", "second"}});
        FMain window(Options());
        LoadSettings(window);
        window.show();
        QString caption;
        AnswerDialog(QStringLiteral("10.0.0.10"), QStringLiteral("lab"), &caption);
        Button(window, FMain::kKeyAdd)->trigger();
        QVERIFY(P::List(window)->currentItem()->isSelected());
        QCOMPARE(caption + ' ' + P::List(window)->currentItem()->text(0),
                 "Add Ip Address 10.0.0.10");
        AnswerDialog(QStringLiteral("10.0.0.1"), QStringLiteral("again"));
        Button(window, FMain::kKeyAdd)->trigger();
        QCOMPARE(m_messages.Texts(), QStringList{FMain::kDuplicateMessage});
        m_messages.Clear();
        for (const EMessageResult answer : {EMessageResult::No, EMessageResult::Yes}) {
            ClickRow(window, QStringLiteral("10.0.0.1"));
            m_messages.Answer(answer);
            Button(window, FMain::kKeyRemove)->trigger();
        }
        QCOMPARE(m_messages.Texts(),
                 QStringList(2, "Are you sure you want to remove entry 10.0.0.1 ?"));
        QCOMPARE(m_messages.Shown().at(0).buttons, EMessageButtons::YesNo);
        // 10.0.0.3 now lives at index 1; its edit must not write index 2.
        ClickRow(window, QStringLiteral("10.0.0.3"));
        AnswerDialog(QStringLiteral("9"), QStringLiteral("moved"), &caption);
        Button(window, FMain::kKeyEdit)->trigger();
        QCOMPARE(caption, QStringLiteral("Edit Ip Address"));
        P::List(window)->clearSelection();
        window.SetToolButtonEnabled(FMain::kKeyRemove, true);
        window.SetToolButtonEnabled(FMain::kKeyEdit, true);
        Button(window, FMain::kKeyRemove)->trigger();
        QCOMPARE(m_messages.Shown().size(), 2);
        QVERIFY(!Button(window, FMain::kKeyRemove)->isEnabled()
                && !Button(window, FMain::kKeyEdit)->isEnabled());
        QTest::keyClick(P::List(window), Qt::Key_Home); // a row chosen with the keyboard
        QVERIFY(Button(window, FMain::kKeyRemove)->isEnabled()
                && Button(window, FMain::kKeyEdit)->isEnabled());
        QCOMPARE(Rows(window),
                 (QStringList{"k_2_10.0.0.10 10.0.0.10 lab", "k_0_10.0.0.2 10.0.0.2 second",
                              "k_1_10.0.0.3 10.0.0.3 moved"}));
        QCOMPARE(Contents().value("1Description") + Contents().value("2Description"), "movedlab");
        QCOMPARE(gIpBookCount, qint16(3));
        // A heading click turns its order round, or sorts by it ascending.
        QHeaderView* header = P::List(window)->header();
        const auto order = [&] {
            QString text;
            for (int i = 0; i < P::List(window)->topLevelItemCount(); ++i)
                text += P::List(window)->topLevelItem(i)->text(0).section('.', 3) + ' ';
            for (int column = 0; column < 2; ++column) {
                for (const char* key : {"Ascending", "Descending", "None"}) {
                    if (P::List(window)->headerItem()->icon(column).cacheKey()
                        == window.Picture(key).cacheKey())
                        text += QLatin1String(key) + QLatin1String(column ? "" : "/");
                }
            }
            return text;
        };
        QStringList orders;
        for (const int column : {0, 0, 1}) {
            const int x = header->sectionViewportPosition(column) + header->sectionSize(column) / 2;
            QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, {x, header->height() / 2});
            orders << order();
        }
        QCOMPARE(orders, (QStringList{"3 2 10 Descending/None", "10 2 3 Ascending/None",
                                      "10 3 2 None/Ascending"}));
    }

    void cleanup() { m_settings.SetUserFolder(CTestSettingsFolder::EUserFolder::Writable); }

    // A settings folder that takes no writes (read-only or full): the change is told once,
    // naming the file and the system's reason, and the list keeps what the file keeps, as a
    // restart shows it. With the folder writable again the same change goes through.
    void bookFollowsTheStore_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QStringList>("changed");
        QTest::addColumn<bool>("full"); // else read-only
        const QStringList added{"k_0_10.0.0.1 10.0.0.1 first", "k_1_10.0.0.2 10.0.0.2 ",
                                "k_2_10.0.0.9 10.0.0.9 new"};
        const QStringList edited{"k_0_10.0.0.1 10.0.0.1 first", "k_1_10.0.0.2 10.0.0.2 new"};
        const QStringList removed{"k_0_10.0.0.2 10.0.0.2 "};
        QTest::newRow("add, read-only") << "add" << added << false;
        QTest::newRow("edit, read-only") << "edit" << edited << false;
        QTest::newRow("remove, read-only") << "remove" << removed << false;
        QTest::newRow("remove, full") << "remove" << removed << true;
    }
    void bookFollowsTheStore()
    {
        QFETCH(QString, action);
        QFETCH(QStringList, changed);
        QFETCH(bool, full);
        using EUserFolder = CTestSettingsFolder::EUserFolder;
        Fill({{"0IpAddress", "10.0.0.1"}, {"0Description", "first"}, {"1IpAddress", "10.0.0.2"}});
        FMain window(Options());
        LoadSettings(window);
        window.show();
        const auto act = [&] {
            if (action == "add") {
                AnswerDialog(QStringLiteral("10.0.0.9"), QStringLiteral("new"));
                Button(window, FMain::kKeyAdd)->trigger();
                return;
            }
            ClickRow(window, action == "edit" ? "10.0.0.2" : "10.0.0.1");
            if (action == "edit")
                AnswerDialog(QString(), QStringLiteral("new"));
            Button(window, action == "edit" ? FMain::kKeyEdit : FMain::kKeyRemove)->trigger();
        };
        const auto restarted = [this] {
            FMain restart(Options());
            LoadSettings(restart);
            return Rows(restart);
        };
        const QStringList before = Rows(window);
        const QByteArray file = TestFiles::Read(m_settings.UserFile());
        const bool refusing =
            m_settings.SetUserFolder(full ? EUserFolder::Full : EUserFolder::ReadOnly);
        if (full && !refusing)
            QSKIP("a full folder needs root, for a small file system of its own");
        QVERIFY(refusing);
        act();
        const int asked = action == "remove" ? 1 : 0;
        QCOMPARE(m_messages.Shown().size(), asked + 1);
        const SMessage& told = m_messages.Shown().constLast();
        const QString prefix = QString::fromLatin1(FMain::kStoreFailedMessage)
                                   .section(QStringLiteral("%2"), 0, 0)
                                   .arg(m_settings.UserFile());
        QVERIFY2(told.text.startsWith(prefix) && told.icon == EMessageIcon::Information,
                 qPrintable(told.text));
        const char* reason =
            full ? "No space left on device" : "Read-only file system|Permission denied";
        QVERIFY2(told.text.contains(QRegularExpression(reason)), qPrintable(told.text));
        QCOMPARE(Rows(window), before);
        QCOMPARE(TestFiles::Read(m_settings.UserFile()), file);
        QCOMPARE(restarted(), before);
        QVERIFY(m_settings.SetUserFolder(EUserFolder::Writable));
        m_messages.Clear();
        act();
        QVERIFY2(m_messages.Shown().size() == asked, qPrintable(m_messages.Texts().join('|')));
        QCOMPARE(Rows(window), changed);
        QCOMPARE(restarted(), changed);
    }

    // A stored address that fails the add dialog's check is marked and neither pinged nor
    // connected.
    void storedAddresses_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("message");
        QTest::newRow("dotted: pinged") << "10.0.0.1" << QString(kMsgEquipmentUnreachable);
        QTest::newRow("leading zero") << "010.0.0.1" << QString(FMain::kInvalidAddressTip);
    }
    void storedAddresses()
    {
        QFETCH(QString, address);
        QFETCH(QString, message);
        Fill({{"0IpAddress", address}, {"0Description", "rack"}});
        FMain window(Options());
        LoadSettings(window);
        window.show();
        QTreeWidgetItem* row = P::List(window)->topLevelItem(0);
        QVERIFY(row && row->text(0) == address);
        const bool dotted = message == kMsgEquipmentUnreachable;
        QCOMPARE(row->toolTip(0), dotted ? QString() : message);
        QCOMPARE(row->icon(0).cacheKey() == window.Picture("IpAddress").cacheKey(), dotted);
        emit P::List(window)->itemDoubleClicked(row, 0);
        QTRY_COMPARE(m_messages.Texts(), QStringList{message});
        QCOMPARE(m_noAnswers.pinged, dotted ? QStringList{address} : QStringList());
    }

    // While an attempt waits, the busy pointer over the list and what it waits for in the
    // status bar; its outcome, whichever, gives both back.
    void waitingFeedback_data()
    {
        QTest::addColumn<bool>("routeAnswers");
        QTest::addColumn<QString>("waitingFor");
        QTest::addColumn<QString>("message");
        QTest::newRow("no route") << false << "Testing route to 127.0.0.1..."
                                  << kMsgEquipmentUnreachable;
        QTest::newRow("equipment silent")
            << true << "Asking 127.0.0.1 for its software version..." << kMsgNoAccess;
    }
    void waitingFeedback()
    {
        QFETCH(bool, routeAnswers);
        QFETCH(QString, waitingFor);
        QFETCH(QString, message);
        QTcpServer silent;
        QVERIFY(silent.listen(QHostAddress::LocalHost, 0));
        SMainOptions options = Options();
        options.pinger = routeAnswers ? &m_answers : &m_noAnswers;
        options.equipment.port = silent.serverPort();
        options.equipment.replyTimeoutMs = 1000;
        FMain window(options);
        window.show();
        const QWidget* list = P::List(window)->viewport();
        const QString idle = P::Status(window);
        window.ConnectToEquipment(QStringLiteral("127.0.0.1"));
        QVERIFY(window.IsWaitingForEquipment() && list->cursor().shape() == Qt::BusyCursor);
        QCOMPARE(P::Status(window), "Testing route to 127.0.0.1...");
        QTRY_VERIFY(P::Status(window) == waitingFor || !m_messages.Shown().isEmpty());
        QVERIFY(m_messages.Shown().isEmpty() && list->cursor().shape() == Qt::BusyCursor);
        QTRY_COMPARE(m_messages.Texts(), QStringList{message});
        QVERIFY(!window.IsWaitingForEquipment() && list->cursor().shape() != Qt::BusyCursor);
        QCOMPARE(P::Status(window), idle);
    }

private:
    SMainOptions Options()
    {
        SMainOptions options;
        options.helpPort = 0;
        options.isManagerRunning = [this] { return ++m_managerAsked, m_managerRunning; };
        options.openUrl = [this](const QUrl& url) { return m_opened.append(url), true; };
        options.trayAvailable = [this] { return m_trayAvailable; };
        options.notifierHost = [] { return false; };
        options.endProgram = [this] { ++m_endCount; };
        options.pinger = &m_noAnswers;
        options.pages = &m_pages;
        options.equipment.rescueAddress = QStringLiteral("127.0.0.1");
        options.equipment.port = ClosedLoopbackPort(QStringLiteral("127.0.0.1"));
        options.equipment.rescueRetryDelayMs = 20;
        options.rescueProgressIntervalMs = 20;
        options.link.ras = {QStringLiteral(PPPD_STANDIN), 2000};
        options.link.rasLinks.procFolder = m_noProcesses.path();
        options.link.rasLinks.runFolder = m_noProcesses.path();
        options.link.launchBrowserIntervalMs = 10;
        return options;
    }

    // The simulated equipment at address, answering every route test.
    bool StartSim(CEquipmentSimProcess& sim, const QString& address, SMainOptions& options)
    {
        options.pinger = &m_answers;
        options.equipment.port = sim.Start(address, {}) ? sim.Port() : 0;
        return options.equipment.port != 0;
    }

    CTestSettingsFolder m_settings;
    CTestWebRoot m_webRoot;
    CMessageCapture m_messages;
    QTemporaryDir m_noProcesses;
    int m_endCount = 0;
    int m_managerAsked = 0;
    bool m_managerRunning = false;
    bool m_trayAvailable = true;
    QList<QUrl> m_opened;
    CScriptedPinger m_noAnswers{kIpGeneralFailure};
    CScriptedPinger m_answers{kIpSuccess};
    CRecordingPages m_pages;
};

QTEST_MAIN(tst_FMain)
#include "tst_FMain.moc"
