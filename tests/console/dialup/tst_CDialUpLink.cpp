// The dial-up link against a stand-in pppd: its states, failures told once,
// the watch of the far end; and the commands each look leaves enabled.

#include "console/dialup/CDialUpLink.h"
#include "platform/dialup/MRasApi.h"
#include "platform/icmp/IPinger.h"
#include "platform/icmp/MPing.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <csignal>
#include <memory>

#include <unistd.h>

namespace {

using SAnswer = QPair<quint32, quint32>; // status, round trip in ms

// Answers the watch's tests from a script (then with success) and records them.
class CWatchPinger final : public IPinger {
public:
    void Ping(const QString& address, const QByteArray& data, qint32& timeoutMs, QObject* context,
              MPing::Callback done) override
    {
        MPing::ApplyTimeoutFloor(timeoutMs);
        watched.append(address + QLatin1Char(' ') + QString::fromLatin1(data));
        SIcmpEchoReply reply;
        reply.Status = kIpSuccess;
        if (!script.isEmpty()) {
            reply.Status = script.first().first;
            reply.RoundTripTime = script.takeFirst().second;
        }
        QTimer::singleShot(0, context, [done, reply] { done(reply); });
    }
    QList<SAnswer> script;
    QStringList watched;
};

// The link's events in order: its status texts (a repeat once), "look D|B|C",
// "failure ...", "unreachable ...", "connect ADDRESS".
const QStringList& Record(CDialUpLink& link, QStringList* events)
{
    QObject::connect(&link, &CDialUpLink::OnStatusText, [events](const QString& text) {
        if (events->isEmpty() || events->last() != text)
            events->append(text);
    });
    QObject::connect(&link, &CDialUpLink::OnLookChanged, [events](const SLinkLook& look) {
        events->append(QStringLiteral("look ") + QLatin1Char("DBC"[int(look.look)]));
    });
    QObject::connect(&link, &CDialUpLink::OnFailure,
                     [events](const QString& text) { events->append("failure " + text); });
    QObject::connect(&link, &CDialUpLink::OnUnreachable,
                     [events](const QString& text) { events->append("unreachable " + text); });
    QObject::connect(&link, &CDialUpLink::OnConnectToEquipment,
                     [events](const QString& address) { events->append("connect " + address); });
    return *events;
}

bool TimerActive(const CDialUpLink& link, const char* name)
{
    return link.findChild<QTimer*>(QLatin1String(name))->isActive();
}

const QString kUnreachable = QStringLiteral("unreachable Equipment unreachable! Disconnecting...");

} // namespace

class tst_CDialUpLink final : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_noProcesses.isValid());
        // Links this test starts itself carry a program name no other test's have.
        m_programName = QStringLiteral("pppd-%1").arg(QCoreApplication::applicationPid());
        QVERIFY(QFile::link(QStringLiteral(PPPD_STANDIN), m_standIns.filePath(m_programName)));
    }

    void init()
    {
        m_pinger.script.clear();
        m_pinger.watched.clear();
        m_events.clear();
        qputenv("PPPD_STANDIN_PAUSE", "0.02");
        qputenv("PPPD_STANDIN_HOLD", "30");
        qputenv("PPPD_STANDIN_REMOTE", "127.0.0.44");
        qunsetenv("PPPD_STANDIN_SCENARIO");
    }

    // Look D|B|C, link up, peer known, editor open; then enabled: the Connect,
    // Browser, Options buttons; the tray's Connect, Disconnect, Browser.
    void commandStates_data()
    {
        QTest::addColumn<QString>("row");
        QTest::newRow("disconnected") << "D000 101100";
        QTest::newRow("disconnected, editor open") << "D001 101100";
        QTest::newRow("dialling") << "B000 000000";
        QTest::newRow("hanging up an up link") << "B110 000001";
        QTest::newRow("hanging up, editor open") << "B111 000000";
        QTest::newRow("connected, peer known") << "C110 110011";
        QTest::newRow("connected, peer not yet known") << "C100 100011";
        QTest::newRow("connected, editor open") << "C111 110010";
    }
    void commandStates()
    {
        QFETCH(QString, row);
        const SLinkLook look{ELinkLook(QStringLiteral("DBC").indexOf(row[0])), row[1] == '1',
                             row[2] == '1'};
        const SCommandStates s = CommandStates(look, row[3] == '1');
        QString shown;
        for (bool on : {s.connectButton, s.browserButton, s.optionsButton, s.trayConnect,
                        s.trayDisconnect, s.trayBrowser})
            shown += on ? '1' : '0';
        QCOMPARE(shown, row.mid(5));
    }

    void dialAndHangUp()
    {
        CDialUpLink link(m_pinger, Options(QStringLiteral("modem-ok")));
        const QStringList& events = Record(link, &m_events);
        link.ToggleDialUpLink();
        QTRY_VERIFY(!m_pinger.watched.isEmpty());
        QVERIFY(link.IsConnected() && !link.IsDialling() && !link.Look().peerAddressKnown);
        QCOMPARE(m_pinger.watched.first(), QStringLiteral("127.0.0.44 Test Route"));
        link.ToggleDialUpLink();
        QTRY_VERIFY(!link.IsConnected() && !link.IsHangingUp());
        QCOMPARE(events, (QStringList{"look B", "Status: Connecting Device.....",
                                      "Status: Device Connected.....",
                                      "Status: Authenticating.....", "Status: Authenticated.....",
                                      "look C", "Status: Connected", "connect 127.0.0.44", "look B",
                                      "Status: Closing.....", "look D", "Status: Disconnected"}));
        QVERIFY(!TimerActive(link, "tmrPingPPP"));
    }

    // However the link ends without the user: at most one message, then the
    // disconnected look with nothing left set or running.
    void linkEnds_data()
    {
        QTest::addColumn<QString>("entry"); // the stand-in's scenario
        // The status after which pppd is killed, "far end", or "cancel" (a
        // toggle) at once or after a status: "cancel:STATUS".
        QTest::addColumn<QString>("killAt");
        QTest::addColumn<QList<SAnswer>>("script");
        QTest::addColumn<QString>("failure"); // after "Connection Failed !\r\n"; '|': dial again
        QTest::addColumn<int>("tests");       // of the watch; -1: not counted
        const SAnswer no{kIpGeneralFailure, 0}, ok{kIpSuccess, 1}, slow{kIpSuccess, 655380};
        const auto row = [](const char* name, const char* entry, const char* killAt,
                            const QList<SAnswer>& script, const QString& failure, int tests) {
            QTest::newRow(name) << QString(entry) << QString(killAt) << script << failure << tests;
        };
        row("no entry chosen", "", "", {no, no}, {}, -1);
        row("device cannot be opened", "no-device", "", {no}, "Check cable or devices", -1);
        row("outside the dial-up group: told at length once", "not-in-group", "", {},
            NotInDialUpGroupText(DialUpUserName()) + '|' + CDialUpLink::kNotInDialUpGroupAgain + '|'
                + CDialUpLink::kNotInDialUpGroupAgain,
            -1);
        row("killed while connected", "direct-ok", "Status: Connected", {no, no},
            "pppd ended unexpectedly.", -1);
        row("the far end ends it", "direct-ok", "far end", {no, no}, {}, -1);
        row("cancelled before pppd spoke", "dial-hangs", "cancel", {}, {}, -1);
        row("cancelled while dialling", "dial-hangs", "cancel:Status: Connecting Device.....", {},
            {}, -1);
        row("a success resets the count", "direct-ok", "", {ok, no, no, ok, no, no, no}, {}, 7);
        row("too slow counts as failed", "direct-ok", "",
            {slow, no, SAnswer{kIpSuccess, 655379}, slow, slow, no}, {}, 6);
    }
    void linkEnds()
    {
        QFETCH(QString, entry);
        QFETCH(QString, killAt);
        QFETCH(QList<SAnswer>, script);
        QFETCH(QString, failure);
        QFETCH(int, tests);
        if (killAt == QLatin1String("far end"))
            qputenv("PPPD_STANDIN_HOLD", "0.3");
        m_pinger.script = script;
        SDialUpLinkOptions options = Options(entry);
        options.pingPPPIntervalMs = tests < 0 ? 100 : 20;
        CDialUpLink link(m_pinger, options);
        const QStringList& events = Record(link, &m_events);
        const QStringList failures = failure.split(u'|', Qt::SkipEmptyParts);
        for (qsizetype dial = 0; dial < std::max<qsizetype>(1, failures.size()); ++dial) {
            link.ToggleDialUpLink();
            if (killAt.startsWith(QLatin1String("cancel"))) {
                QTRY_VERIFY(killAt == "cancel" || events.contains(killAt.section(u':', 1, -1)));
                link.ToggleDialUpLink();
                QVERIFY(events.contains(QStringLiteral("Status: Closing.....")));
            }
            if (killAt.startsWith(QLatin1String("Status"))) {
                QTRY_VERIFY(events.contains(killAt));
                // The stand-in this link started, by its process id.
                QCOMPARE(::kill(pid_t(link.Ras().RasConnHandle()), SIGKILL), 0);
            }
            QTRY_VERIFY(events.endsWith(QStringLiteral("Status: Disconnected"))
                        && !link.IsHangingUp());
        }
        QStringList told;
        for (const QString& text : failures)
            told << "failure Connection Failed !\r\n" + text;
        QCOMPARE(events.filter(QStringLiteral("failure ")), told);
        QCOMPARE(events.filter(QStringLiteral("unreachable ")),
                 tests < 0 ? QStringList() : QStringList{kUnreachable});
        if (tests >= 0)
            QCOMPARE(m_pinger.watched.size(), tests);
        QVERIFY(!link.IsConnected() && !link.IsDialling());
        QVERIFY(link.Look().look == ELinkLook::Disconnected && link.PingFailures() == 0);
        QVERIFY(!TimerActive(link, "tmrPingPPP") && !TimerActive(link, "tmrLaunchBrowser"));
        QVERIFY(link.Ras().RasState() == qint32(ERasState::Disconnected) && !link.RasConnHandle());
    }

    // A running link is taken only when it is this user's link of the entry,
    // and Disconnect then ends its pppd; another is left alone as busy. The
    // link is this test's own process, or another control of this process.
    void runningLinks_data()
    {
        QTest::addColumn<QString>("holder"); // "process" or "control"
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("scenario");
        QTest::addColumn<bool>("ourUser");
        QTest::addColumn<QStringList>("events");
        const QStringList taken =
            QStringLiteral("look B|look C|Status: Connected|look B|Status: Closing.....|look D|"
                           "Status: Disconnected")
                .split(u'|');
        const QStringList busy{"look B", "look D", "Status: Disconnected",
                               QLatin1String(CDialUpLink::kStatusBusy)};
        const QString tarn = QStringLiteral("TarnDirectPPP");
        QTest::newRow("this user's pppd of the entry")
            << "process" << tarn << "direct-ok" << true << taken;
        QTest::newRow("deaf to SIGTERM: killed after the wait")
            << "process" << tarn << "stubborn" << true << taken;
        QTest::newRow("another control of this process")
            << "control" << tarn << "direct-ok" << true << taken;
        QTest::newRow("another entry's link") << "process"
                                              << "Modem1"
                                              << "direct-ok" << true << busy;
        QTest::newRow("another user's link of the entry")
            << "process" << tarn << "direct-ok" << false << busy;
    }
    void runningLinks()
    {
        QFETCH(QString, holder);
        QFETCH(QString, entry);
        QFETCH(QString, scenario);
        QFETCH(bool, ourUser);
        QFETCH(QStringList, events);
        qputenv("PPPD_STANDIN_SCENARIO", scenario.toLatin1());
        qputenv("PPPD_STANDIN_HOLD", "10");
        SDialUpLinkOptions options = Options(QStringLiteral("TarnDirectPPP"));
        options.launchBrowserIntervalMs = 60000;
        options.linkEndPollMs = 20;
        options.ras.hangUpGraceMs = 300;
        std::unique_ptr<CRas> control;
        QProcess process;
        qint64 pid = 0;
        if (holder == QLatin1String("control")) {
            control = std::make_unique<CRas>(nullptr, SRasOptions{QStringLiteral(PPPD_STANDIN)});
            control->Dial(entry);
            QTRY_COMPARE(control->RasState(), qint32(ERasState::Connected));
            control->AddOwnLinkTo(options.rasLinks);
            pid = control->RasConnHandle();
        } else {
            process.start(m_standIns.filePath(m_programName),
                          {QStringLiteral("call"), entry, QStringLiteral("nodetach")});
            QByteArray said;
            QTRY_VERIFY((said += process.readAll()).contains("remote IP address"));
            pid = process.processId();
            options.rasLinks.procFolder = QStringLiteral("/proc");
            options.rasLinks.programName = m_programName;
        }
        if (!ourUser)
            options.rasLinks.userId = qint64(::getuid()) + 1;
        CDialUpLink link(m_pinger, options);
        const QStringList& seen = Record(link, &m_events);
        link.ToggleDialUpLink();
        const bool taken = events.contains(QStringLiteral("look C"));
        QCOMPARE(link.IsConnected(), taken);
        QCOMPARE(link.RasConnHandle(), taken ? pid : 0);
        if (taken)
            link.ToggleDialUpLink();
        QTRY_COMPARE(seen, events);
        QVERIFY(!link.IsConnected() && !link.IsHangingUp() && !link.IsDialling());
        if (control)
            QTRY_COMPARE(control->RasState(), qint32(ERasState::Disconnected));
        else if (taken)
            QTRY_COMPARE(process.state(), QProcess::NotRunning);
        else
            QCOMPARE(process.state(), QProcess::Running);
    }

private:
    SDialUpLinkOptions Options(const QString& entry) const
    {
        SDialUpLinkOptions options;
        options.entry = [entry] { return entry; };
        options.ras.pppdProgram = QStringLiteral(PPPD_STANDIN);
        options.ras.hangUpGraceMs = 2000;
        // Only this process's links count: other pppds of the machine are not seen.
        options.rasLinks.procFolder = m_noProcesses.path();
        options.rasLinks.runFolder = m_noProcesses.path();
        options.pingPPPIntervalMs = 20;
        options.launchBrowserIntervalMs = 10;
        return options;
    }

    CWatchPinger m_pinger;
    QStringList m_events;
    QTemporaryDir m_noProcesses;
    QTemporaryDir m_standIns;
    QString m_programName;
};

QTEST_MAIN(tst_CDialUpLink)
#include "tst_CDialUpLink.moc"
