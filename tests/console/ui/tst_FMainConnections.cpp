#include "common/ui/CTrayIcon.h"
#include "console/dialup/ui/FOptions.h"
#include "console/equipment/CEquipmentAccess.h"
#include "console/settings/MSettings.h"
#include "console/ui/FMain.h"
#include "console/ui/FRescueLogin.h"
#include "tests/console/EquipmentSimProcess.h"
#include "tests/console/EquipmentTestDoubles.h"
#include "tests/console/TestSettingsFolder.h"
#include "tests/console/ui/MainTestKit.h"
#include "tests/platform/TestNamespaces.h"

#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>

#include <csignal>

namespace {

// Answers the window's reachability tests from a script (then with success),
// and every other caller's route test with success. Records what the window
// asked.
class CWatchPinger final : public IPinger {
public:
    struct SAnswer {
        quint32 status;
        quint32 roundTripMs;
    };

    void Ping(const QString& address, const QByteArray& data, qint32& timeoutMs, QObject* context,
              MPing::Callback done) override
    {
        MPing::ApplyTimeoutFloor(timeoutMs);
        SIcmpEchoReply reply;
        reply.Status = kIpSuccess;
        if (qobject_cast<FMain*>(context)) {
            watched.append(address + QLatin1Char(' ') + QString::fromLatin1(data));
            if (!script.isEmpty()) {
                const SAnswer answer = script.takeFirst();
                reply.Status = answer.status;
                reply.RoundTripTime = answer.roundTripMs;
            }
        }
        QTimer::singleShot(0, context, [done, reply] { done(reply); });
    }

    QList<SAnswer> script;
    QStringList watched;
};

// The window's status texts as the dial-up control's events leave them,
// repeats of the same text counted once.
class CStatusRecorder final : public QObject {
public:
    explicit CStatusRecorder(FMain& window)
    {
        // Connected after the window's own handler, so the text is the new one.
        connect(window.Ras(), &CRas::RasStateChanged, this, [this, &window] {
            const QString text = window.StatusPanel()->text();
            if (texts.isEmpty() || texts.last() != text)
                texts.append(text);
        });
    }
    QStringList texts;
};

} // namespace

Q_DECLARE_METATYPE(CWatchPinger::SAnswer)

class tst_FMainConnections final : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_settings.IsValid());
        QVERIFY(m_noProcesses.isValid());
    }

    void init()
    {
        m_settings.Clear();
        gWwwRoot = m_webRoot.Path();
        gIpBookCount = 0;
        gConnType = kConnTypeDirectCable;
        gModemEntry.clear();
        m_messages.Clear();
        m_pages.calls.clear();
        m_pinger.script.clear();
        m_pinger.watched.clear();
        qputenv("PPPD_STANDIN_PAUSE", "0.02");
        qputenv("PPPD_STANDIN_HOLD", "30");
        qunsetenv("PPPD_STANDIN_SCENARIO");
        qunsetenv("PPPD_STANDIN_REMOTE");
    }

    // A double click in the book, the "Browser" button and the tray's
    // "Browser" reach the equipment: its newer interface opens at home.
    void commandsReachTheEquipment_data()
    {
        QTest::addColumn<QString>("command");
        QTest::newRow("double click") << "double click";
        QTest::newRow("Browser button") << "button";
        QTest::newRow("tray Browser") << "tray";
    }
    void commandsReachTheEquipment()
    {
        QFETCH(QString, command);
        const QString address = QStringLiteral("127.0.0.41");
        CEquipmentSimProcess sim;
        QVERIFY(sim.Start(address, {}));
        SMainOptions options = Options();
        options.equipment.port = sim.Port();
        FMain window(options);
        window.show();
        if (command == QLatin1String("double click")) {
            window.AddIpBookRow(0, {QStringLiteral("10.0.0.7"), QStringLiteral("other")});
            QTreeWidgetItem* row = window.AddIpBookRow(1, {address, QStringLiteral("bench")});
            QTreeWidget* list = window.lvwIpAdd();
            const QPoint at = list->visualItemRect(row).center();
            // A double click comes after the first click of the pair.
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
            QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
        } else {
            // Browser is for the link's far end, and only while the link is up.
            QVERIFY(!window.ToolButton(QLatin1String(FMain::kKeyBrowser))->isEnabled());
            QVERIFY(!window.mnuTray(FMain::kTrayBrowser)->isEnabled());
            window.SetPeerIpAddress(address);
            window.UpdateConnectedStatusStuff();
            QAction* action = command == QLatin1String("button")
                                  ? window.ToolButton(QLatin1String(FMain::kKeyBrowser))
                                  : window.mnuTray(FMain::kTrayBrowser);
            QVERIFY(action->isEnabled());
            action->trigger();
        }
        QTRY_COMPARE(
            m_pages.calls,
            QStringList{
                QStringLiteral("open http://%1:%2/home.html").arg(address).arg(sim.Port())});
        QVERIFY(m_messages.Shown().isEmpty());
        QTRY_VERIFY(window.EquipmentAccess()->LoadedElements().isEmpty());
    }

    // "Rescue Connection" opens the login dialog once. Ok logs in at the
    // rescue address and the bridge page opens; Abort, at whatever step,
    // stops the attempt and the dialog waits; Cancel ends it and the dialog.
    void rescueConnection_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QStringList>("clicks");
        QTest::addColumn<bool>("bridge");
        const QStringList okAbort{"cmdOk", "cmdAbort"};
        QTest::newRow("tray, Ok") << "tray"
                                  << "" << QStringList{"cmdOk"} << true;
        QTest::newRow("drop-down, Ok") << "menu"
                                       << "" << QStringList{"cmdOk"} << true;
        QTest::newRow("tray, Cancel") << "tray"
                                      << "" << QStringList{"cmdCancel"} << false;
        QTest::newRow("Abort while the probe waits") << "tray"
                                                     << "--silent" << okAbort << false;
        QTest::newRow("Abort while the login waits, Cancel")
            << "tray"
            << "--silent-login" << (okAbort + QStringList{"cmdCancel"}) << false;
    }
    void rescueConnection()
    {
        QFETCH(QString, command);
        QFETCH(QString, fault);
        QFETCH(QStringList, clicks);
        QFETCH(bool, bridge);
        const QString rescue = QStringLiteral("127.0.0.43");
        CEquipmentSimProcess sim;
        QVERIFY(sim.Start(rescue, fault.isEmpty() ? QStringList() : QStringList{fault}));
        SMainOptions options = Options();
        options.equipment.port = sim.Port();
        options.equipment.rescueAddress = rescue;
        FMain window(options);
        window.show();
        QAction* action = command == QLatin1String("tray")
                              ? window.mnuTray(FMain::kTrayRescue)
                              : window.ButtonMenuItem(QLatin1String(FMain::kKeyRescueConnection));
        QVERIFY(!window.frmRescueLogin());
        action->trigger();
        const QPointer<FRescueLogin> dialog = window.frmRescueLogin();
        QVERIFY(dialog && dialog->isVisible());
        action->trigger();
        QCOMPARE(window.frmRescueLogin(), dialog.data());

        for (const QString& click : clicks) {
            QTest::mouseClick(dialog->findChild<QPushButton*>(click), Qt::LeftButton);
            if (click == QLatin1String("cmdOk") && !fault.isEmpty())
                QTRY_COMPARE(
                    sim.Count(fault == QLatin1String("--silent") ? "Snmp.Get" : "Snmp.Login"), 1);
        }
        const bool open = clicks.last() == QLatin1String("cmdAbort");
        QTRY_COMPARE(dialog.isNull(), !open);
        QTRY_VERIFY(window.EquipmentAccess()->LoadedElements().isEmpty());
        if (open) {
            QVERIFY(dialog->findChild<QPushButton*>(QStringLiteral("cmdOk"))->isEnabled());
            dialog->Unload();
            QTRY_VERIFY(dialog.isNull());
        }
        QCOMPARE(m_pages.calls,
                 bridge
                     ? QStringList{QStringLiteral("open http://%1:%2/orvaneBridge.asp?user=SYSTEM")
                                       .arg(rescue)
                                       .arg(sim.Port())}
                     : QStringList());
        QVERIFY(m_messages.Shown().isEmpty());
        // Gone, it can be opened again.
        action->trigger();
        QVERIFY(window.frmRescueLogin());
        window.frmRescueLogin()->Unload();
    }

    // A dial that comes up: the status texts in order, the connected look,
    // the equipment at the link's far end reached, then a hang-up from the
    // tray back to the disconnected look.
    void dialAndHangUp_data()
    {
        QTest::addColumn<QString>("scenario");
        QTest::addColumn<int>("connType");
        QTest::addColumn<QStringList>("texts");
        const QString connecting = QStringLiteral("Status: Connecting Device.....");
        const QString device = QStringLiteral("Status: Device Connected.....");
        const QString connected = QStringLiteral("Status: Connected");
        QTest::newRow("direct cable")
            << "direct-ok" << kConnTypeDirectCable << QStringList{connecting, device, connected};
        QTest::newRow("modem") << "modem-ok" << kConnTypeModem
                               << QStringList{connecting, device, "Status: Authenticating.....",
                                              "Status: Authenticated.....", connected};
    }
    void dialAndHangUp()
    {
        QFETCH(QString, scenario);
        QFETCH(int, connType);
        QFETCH(QStringList, texts);
        const QString peer = QStringLiteral("127.0.0.44");
        CEquipmentSimProcess sim;
        QVERIFY(sim.Start(peer, {}));
        // The modem entry's name picks the stand-in's scenario; the cable's
        // entry has its fixed name, so the scenario is said outright.
        gConnType = connType;
        gModemEntry = scenario;
        if (connType == kConnTypeDirectCable)
            qputenv("PPPD_STANDIN_SCENARIO", scenario.toLatin1());
        qputenv("PPPD_STANDIN_REMOTE", peer.toLatin1());
        SMainOptions options = Options();
        options.equipment.port = sim.Port();
        FMain window(options);
        window.show();
        CStatusRecorder status(window);

        window.ToolButton(QLatin1String(FMain::kKeyConnect))->trigger();
        QVERIFY(window.IsDialling());
        QCOMPARE(Look(window), QStringLiteral("0000010"));
        QTRY_VERIFY(window.IsConnected());
        QCOMPARE(status.texts, texts);
        QVERIFY(!window.IsDialling());
        QCOMPARE(window.ToolButton(QLatin1String(FMain::kKeyConnect))->text(), "Disconnect");
        // The far end's address is not known yet: "Browser" stays off.
        QCOMPARE(Look(window), QStringLiteral("1000111"));
        QVERIFY(window.IsOnLineShown());
        QTRY_COMPARE(
            m_pages.calls,
            QStringList{QStringLiteral("open http://%1:%2/home.html").arg(peer).arg(sim.Port())});
        QCOMPARE(window.PeerIpAddress(), peer);
        QTRY_VERIFY(!m_pinger.watched.isEmpty());
        QCOMPARE(m_pinger.watched.first(), peer + QStringLiteral(" Test Route"));

        status.texts.clear();
        window.mnuTray(FMain::kTrayDisconnect)->trigger();
        QTRY_VERIFY(!window.IsConnected() && !window.IsHangingUp());
        QCOMPARE(status.texts, (QStringList{"Status: Closing.....", "Status: Disconnected"}));
        QCOMPARE(window.ToolButton(QLatin1String(FMain::kKeyConnect))->text(), "Connect");
        QCOMPARE(Look(window), QStringLiteral("1011010"));
        QVERIFY(!window.tmrPingPPP()->isActive());
        QVERIFY(!window.IsOnLineShown());
        QCOMPARE(window.Ras()->RasConnHandle(), 0);
        QVERIFY(m_messages.Shown().isEmpty());
    }

    // A dial that cannot start (no valid modem entry) or that fails: at most
    // one message, then the disconnected look with no flag left set.
    void dialFails_data()
    {
        QTest::addColumn<int>("connType");
        QTest::addColumn<QString>("entry"); // the modem entry, or the cable's scenario
        QTest::addColumn<QString>("message");
        const QString failed = QStringLiteral("Connection Failed !\r\n");
        const QString cable = failed + QStringLiteral("Check cable or devices");
        QTest::newRow("no modem entry chosen") << kConnTypeModem << ""
                                               << "";
        QTest::newRow("entry name not a file name") << kConnTypeModem << "../modem"
                                                    << "";
        QTest::newRow("device cannot be opened") << kConnTypeDirectCable << "no-device" << cable;
        QTest::newRow("device locked") << kConnTypeDirectCable << "locked" << cable;
        QTest::newRow("authentication refused")
            << kConnTypeDirectCable << "auth-fails"
            << failed + "The authentication of this PC to the peer failed.";
        QTest::newRow("no PPP in the kernel")
            << kConnTypeDirectCable << "no-kernel" << failed + "The kernel does not support PPP.";
    }
    void dialFails()
    {
        QFETCH(int, connType);
        QFETCH(QString, entry);
        QFETCH(QString, message);
        gConnType = connType;
        gModemEntry = entry;
        qputenv("PPPD_STANDIN_SCENARIO", entry.toLatin1());
        FMain window(Options());
        window.show();
        window.mnuTray(FMain::kTrayConnect)->trigger();
        if (!message.isEmpty())
            QTRY_COMPARE(m_messages.Shown().size(), 1);
        QTRY_COMPARE(window.StatusPanel()->text(), QStringLiteral("Status: Disconnected"));
        QCOMPARE(LinkMessages(), message.isEmpty() ? QStringList() : QStringList{message});
        if (!message.isEmpty())
            QCOMPARE(m_messages.Shown().first().icon, EMessageIcon::Exclamation);
        QVERIFY(!window.IsConnected());
        QVERIFY(!window.IsDialling());
        QVERIFY(!window.IsHangingUp());
        QCOMPARE(Look(window), QStringLiteral("1011010"));
        QCOMPARE(window.Ras()->RasConnHandle(), 0);
        QVERIFY(m_pages.calls.isEmpty());
    }

    // A link that this machine already has is taken for the equipment's at
    // once; a toggle then leaves it alone, as the window did not make it.
    void existingLinkTakenAtOnce()
    {
        qputenv("PPPD_STANDIN_SCENARIO", "direct-ok");
        qputenv("PPPD_STANDIN_REMOTE", "127.0.0.48");
        CRas other(nullptr, {QStringLiteral(PPPD_STANDIN), 2000});
        other.Dial(QStringLiteral("TarnDirectPPP"));
        QTRY_COMPARE(other.RasState(), qint32(ERasState::Connected));

        FMain window(Options());
        window.show();
        window.mnuTray(FMain::kTrayConnect)->trigger();
        QVERIFY(window.IsConnected());
        QVERIFY(!window.IsDialling());
        QCOMPARE(window.StatusPanel()->text(), QStringLiteral("Status: Connected"));
        QCOMPARE(window.PeerIpAddress(), QStringLiteral("127.0.0.48"));
        QVERIFY(window.tmrLaunchBrowser()->isActive());

        window.mnuTray(FMain::kTrayDisconnect)->trigger();
        QCOMPARE(window.StatusPanel()->text(), QStringLiteral("Status: Disconnected"));
        QVERIFY(!window.IsConnected());
        QVERIFY(!window.IsHangingUp());
        QCOMPARE(other.RasState(), qint32(ERasState::Connected));
        QVERIFY(LinkMessages().isEmpty());
    }

    // A pppd killed from outside, or a far end that ends the link: the
    // disconnected look with no flag left set, and the watch stops, so its
    // failures cannot toggle a new dial.
    void linkEndsElsewhere_data()
    {
        QTest::addColumn<QString>("scenario");
        QTest::addColumn<QString>("hold");
        QTest::addColumn<bool>("kill");
        QTest::addColumn<QStringList>("messages");
        const QStringList killed{"Connection Failed !\r\npppd ended unexpectedly."};
        QTest::newRow("killed while dialling") << "dial-hangs"
                                               << "30" << true << killed;
        QTest::newRow("killed while connected") << "direct-ok"
                                                << "30" << true << killed;
        QTest::newRow("the far end ends it") << "direct-ok"
                                             << "0.3" << false << QStringList();
    }
    void linkEndsElsewhere()
    {
        QFETCH(QString, scenario);
        QFETCH(QString, hold);
        QFETCH(bool, kill);
        QFETCH(QStringList, messages);
        qputenv("PPPD_STANDIN_SCENARIO", scenario.toLatin1());
        qputenv("PPPD_STANDIN_REMOTE", "127.0.0.45");
        qputenv("PPPD_STANDIN_HOLD", hold.toLatin1());
        // Two failures: the count the end must clear, never the three that hang up.
        m_pinger.script = QList<CWatchPinger::SAnswer>(2, {kIpGeneralFailure, 0});
        SMainOptions options = Options();
        options.pingPPPIntervalMs = 100;
        FMain window(options);
        window.show();
        window.ToolButton(QLatin1String(FMain::kKeyConnect))->trigger();
        if (scenario == QLatin1String("dial-hangs"))
            QTRY_COMPARE(window.StatusPanel()->text(),
                         QStringLiteral("Status: Device Connected....."));
        else
            QTRY_VERIFY(window.IsConnected());
        // The stand-in this window started, by its process id.
        if (kill)
            QCOMPARE(::kill(pid_t(window.Ras()->RasConnHandle()), SIGKILL), 0);
        QTRY_COMPARE(window.StatusPanel()->text(), QStringLiteral("Status: Disconnected"));
        QTRY_COMPARE(LinkMessages(), messages);
        QTRY_VERIFY(!window.IsHangingUp());
        QVERIFY(!window.IsConnected());
        QVERIFY(!window.IsDialling());
        QCOMPARE(Look(window), QStringLiteral("1011010"));
        QVERIFY(!window.tmrPingPPP()->isActive());
        QVERIFY(!window.tmrLaunchBrowser()->isActive());
        QVERIFY(!window.IsOnLineShown());
        QCOMPARE(window.PingFailures(), 0);
        QCOMPARE(window.Ras()->RasState(), qint32(ERasState::Disconnected));
        QVERIFY(window.TrayIcon()->BalloonText().isEmpty());
    }

    // The reachability watch: three failed tests in a row end the link with
    // the balloon; a success in between starts the count again.
    void pingWatch_data()
    {
        using SAnswer = CWatchPinger::SAnswer;
        QTest::addColumn<QList<SAnswer>>("script");
        QTest::addColumn<int>("tests");
        const SAnswer fail{kIpGeneralFailure, 0};
        const SAnswer ok{kIpSuccess, 1};
        const SAnswer slow{kIpSuccess, 655380};
        QTest::newRow("three failures") << QList<SAnswer>{fail, fail, fail} << 3;
        QTest::newRow("a success resets the count")
            << QList<SAnswer>{ok, fail, fail, ok, fail, fail, fail} << 7;
        QTest::newRow("too slow counts as failed")
            << QList<SAnswer>{slow, fail, SAnswer{kIpSuccess, 655379}, slow, slow, fail} << 6;
    }
    void pingWatch()
    {
        QFETCH(QList<CWatchPinger::SAnswer>, script);
        QFETCH(int, tests);
        qputenv("PPPD_STANDIN_SCENARIO", "direct-ok");
        qputenv("PPPD_STANDIN_REMOTE", "127.0.0.46");
        m_pinger.script = script;
        SMainOptions options = Options();
        options.balloonIntervalMs = 60000;
        FMain window(options);
        window.show();
        window.ToolButton(QLatin1String(FMain::kKeyConnect))->trigger();
        QTRY_VERIFY(window.IsConnected());
        QTRY_COMPARE(window.StatusPanel()->text(), QStringLiteral("Status: Disconnected"));
        QCOMPARE(m_pinger.watched.size(), tests);
        QCOMPARE(window.TrayIcon()->BalloonText(),
                 QStringLiteral("Equipment unreachable! Disconnecting..."));
        QCOMPARE(window.TrayIcon()->BalloonSeverity(), CTrayIcon::kBalloonError);
        QVERIFY(window.tmrBalloon()->isActive());
        QCOMPARE(window.tmrBalloon()->interval(), 60000);
        QTRY_VERIFY(!window.IsHangingUp());
        QVERIFY(!window.IsConnected());
        QVERIFY(!window.tmrPingPPP()->isActive());
        QCOMPARE(window.PingFailures(), 0);
        QCOMPARE(window.Ras()->RasConnHandle(), 0);
        // The link ended as asked: no failure message.
        QVERIFY(LinkMessages().isEmpty());
    }

    // The watch with real echoes: the link's far end is in a network
    // namespace of the test's own and ignores them, so three time out.
    void unansweredPeerEndsTheLink()
    {
        const CTestNamespaces spaces(QStringLiteral("watch"));
        if (!spaces.IsReady())
            QSKIP(qPrintable(spaces.Reason()));
        const CEnteredNamespace inside(spaces.Near());
        QVERIFY(inside.IsEntered());
        qputenv("PPPD_STANDIN_SCENARIO", "direct-ok");
        qputenv("PPPD_STANDIN_REMOTE", CTestNamespaces::kFarAddress);
        SMainOptions options = Options();
        options.pinger = nullptr;
        options.pingPPPTimeoutMs = 200;
        options.equipment.routeTestTimeoutMs = 200;
        FMain window(options);
        window.show();
        window.ToolButton(QLatin1String(FMain::kKeyConnect))->trigger();
        QTRY_VERIFY(window.IsConnected());
        QTRY_COMPARE(window.PingFailures(), 2);
        QTRY_COMPARE(window.TrayIcon()->BalloonText(),
                     QStringLiteral("Equipment unreachable! Disconnecting..."));
        QTRY_COMPARE(window.StatusPanel()->text(), QStringLiteral("Status: Disconnected"));
        QTRY_VERIFY(!window.IsHangingUp());
        QVERIFY(!window.IsConnected());
        QVERIFY(!window.tmrPingPPP()->isActive());
        QCOMPARE(window.Ras()->RasConnHandle(), 0);
        QVERIFY(LinkMessages().isEmpty());
        // The echoes did reach the far end, which let them go unanswered.
        QVERIFY(spaces.FarEchoRequests() >= 3);
    }

    // While "Options" has a phonebook editor open, the tray's "Browser" is
    // off; it comes back when the editor closes.
    void phonebookEditorDisablesTrayBrowser()
    {
        SMainOptions options = Options();
        bool seenDisabled = false;
        FMain* shown = nullptr;
        // The connected look would enable it, were the editor not open.
        options.dialup.editEntry = [&](QWidget*, const QString&) {
            shown->UpdateConnectedStatusStuff();
            seenDisabled = !shown->mnuTray(FMain::kTrayBrowser)->isEnabled();
        };
        QTemporaryDir peers;
        QVERIFY(QFile(peers.filePath(QStringLiteral("TarnDirectPPP"))).open(QIODevice::WriteOnly));
        options.dialup.peersFolder = peers.path();
        options.dialup.pppdProgram = QStringLiteral(PPPD_STANDIN);
        FMain window(options);
        shown = &window;
        window.show();
        window.SetPeerIpAddress(QStringLiteral("127.0.0.47"));
        bool dialogSeen = false;
        WhenModal([&](QWidget* dialog) {
            dialogSeen = dialog->windowTitle() == QLatin1String("Options");
            if (auto* optionsDialog = qobject_cast<FOptions*>(dialog))
                optionsDialog->cmdDirectSettings()->click();
            dialog->close();
        });
        window.ToolButton(QLatin1String(FMain::kKeyOptions))->trigger();
        QVERIFY(dialogSeen);
        QVERIFY(seenDisabled);
        QVERIFY(window.mnuTray(FMain::kTrayBrowser)->isEnabled());
    }

private:
    // The dial-up link's messages.
    QStringList LinkMessages() const
    {
        QStringList texts;
        for (const SMessage& message : m_messages.Shown())
            texts.append(message.text);
        return texts.filter(QRegularExpression(QStringLiteral("^Connection Failed !\r\n.+")));
    }

    SMainOptions Options()
    {
        SMainOptions options;
        options.helpPort = 0;
        options.endProgram = [] {};
        options.openUrl = [](const QUrl&) { return true; };
        options.trayAvailable = [] { return true; };
        options.pinger = &m_pinger;
        options.pages = &m_pages;
        options.equipment.port = ClosedLoopbackPort(QStringLiteral("127.0.0.1"));
        options.equipment.rescueAddress = QStringLiteral("127.0.0.1");
        options.equipment.rescueRetryDelayMs = 20;
        options.ras.pppdProgram = QStringLiteral(PPPD_STANDIN);
        options.ras.hangUpGraceMs = 2000;
        // Only this process's links count: other pppds of the machine are not seen.
        options.rasLinks.procFolder = m_noProcesses.path();
        options.rasLinks.runFolder = m_noProcesses.path();
        options.pingPPPIntervalMs = 20;
        options.launchBrowserIntervalMs = 10;
        options.rescueProgressIntervalMs = 20;
        return options;
    }

    CTestSettingsFolder m_settings;
    CTestWebRoot m_webRoot;
    CMessageCapture m_messages;
    CWatchPinger m_pinger;
    CRecordingPages m_pages;
    QTemporaryDir m_noProcesses;
};

QTEST_MAIN(tst_FMainConnections)
#include "tst_FMainConnections.moc"
