#include "console/equipment/CEquipmentAccess.h"
#include "console/equipment/MRescueGlobals.h"
#include "platform/sockets/CTcpSocket.h"
#include "tests/console/EquipmentSimProcess.h"
#include "tests/console/EquipmentTestDoubles.h"

#include <QPointer>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

namespace {

// Every attempt goes to loopback: the rescue address too.
SEquipmentAccessOptions LoopbackOptions(quint16 port, const QString& rescueAddress)
{
    SEquipmentAccessOptions options;
    options.port = port;
    options.rescueAddress = rescueAddress;
    options.replyTimeoutMs = 400;
    options.rescueRetryDelayMs = 20;
    return options;
}

QString Url(const CEquipmentSimProcess& sim, const QString& path)
{
    return QStringLiteral("http://%1:%2%3").arg(sim.Address()).arg(sim.Port()).arg(path);
}

QString ProbeLine(const QString& address)
{
    return QStringLiteral("POST http://%1/Snmp.Get HTTP/1.1").arg(address);
}

QString LoginLine(const QString& address)
{
    return QStringLiteral("POST http://%1/Snmp.Login HTTP/1.1").arg(address);
}

} // namespace

class tst_CEquipmentAccess final : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { m_pinger = LoopbackPinger(); }

    void init()
    {
        gRescueUser = QStringLiteral("SYSTEM");
        gRescuePassword = QStringLiteral("KORVELAN");
        gRescueProbeDone = false;
        gRescueSocketIndex = 0;
    }

    // The reply decides the page; a reply in small pieces decides the same.
    void probeOpensThePage_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("call");
        QTest::newRow("newer interface: home page")
            << QStringList{"--version", "4.0.19"} << "open %1/home.html";
        QTest::newRow("newer interface, split reply")
            << QStringList{"--version", "4.0.19", "--split"} << "open %1/home.html";
        QTest::newRow("404: older interface") << QStringList{"--older"} << "show %2 %1";
        QTest::newRow("404, split reply") << QStringList{"--older", "--split"} << "show %2 %1";
        QTest::newRow("version ending below 19: older interface")
            << QStringList{"--version", "20.1.3"} << "show %2 %1";
        QTest::newRow("version ending below 19, split reply")
            << QStringList{"--version", "20.1.3", "--split"} << "show %2 %1";
    }

    void probeOpensThePage()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, call);
        const QString address = QStringLiteral("127.0.0.21");
        CEquipmentSimProcess sim;
        QVERIFY(sim.Start(address, arguments));
        CRecordingPages pages;
        CCapturedMessages messages;
        CEquipmentAccess access(pages, *m_pinger, LoopbackOptions(sim.Port(), "127.0.0.99"));

        access.ConnectToEquipment(address);
        QTRY_COMPARE(pages.calls.size(), 1);
        call.replace(QStringLiteral("%1"), Url(sim, QString()))
            .replace(QStringLiteral("%2"), address);
        QCOMPARE(pages.calls.first(), call);
        QVERIFY(messages.messages.isEmpty());
        QVERIFY(access.LoadedElements().isEmpty());
        QTRY_COMPARE(sim.Lines().value(0), ProbeLine(address));
    }

    // Each failure: one message, no page, no element left loaded, and the
    // address free for the next attempt.
    void failureShowsOneMessage_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QStringList>("arguments"); // empty: nothing listens
        QTest::addColumn<QString>("message");
        QTest::newRow("silent equipment: reply time-out")
            << "127.0.0.22" << QStringList{"--silent"} << QString(kMsgNoAccess);
        QTest::newRow("equipment closes at once")
            << "127.0.0.22" << QStringList{"--close"} << QString(kMsgNoAccess);
        QTest::newRow("refused connection")
            << "127.0.0.22" << QStringList() << QString(kMsgNoAccess);
        QTest::newRow("version that is no number")
            << "127.0.0.22" << QStringList{"--version", "20.1.x"}
            << QString(kMsgUnknownVersion).arg("20.1.x");
        QTest::newRow("three-part address: route test fails, nothing sent")
            << "10.0.1" << QStringList() << QString(kMsgEquipmentUnreachable);
        QTest::newRow("part above 255: echo to its low byte, no connection")
            << "127.0.0.300" << QStringList() << QString(kMsgConnectFailed);
    }

    void failureShowsOneMessage()
    {
        QFETCH(QString, address);
        QFETCH(QStringList, arguments);
        QFETCH(QString, message);
        CEquipmentSimProcess sim;
        quint16 port = 0;
        if (arguments.isEmpty()) {
            port = ClosedLoopbackPort(QStringLiteral("127.0.0.22"));
        } else {
            QVERIFY(sim.Start(address, arguments));
            port = sim.Port();
        }
        CRecordingPages pages;
        CCapturedMessages messages;
        CEquipmentAccess access(pages, *m_pinger, LoopbackOptions(port, "127.0.0.99"));

        for (int attempt = 1; attempt <= 2; ++attempt) {
            access.ConnectToEquipment(address);
            QTRY_COMPARE(messages.messages.size(), attempt);
            QCOMPARE(messages.messages.last().text, message);
            QCOMPARE(messages.messages.last().title, QStringLiteral("Pelion"));
            QCOMPARE(messages.messages.last().icon, EMessageIcon::Information);
            QVERIFY(access.LoadedElements().isEmpty());
        }
        QVERIFY(pages.calls.isEmpty());
    }

    void echoNotPermittedSaysSo()
    {
        CScriptedPinger notPermitted(kIpEchoNotPermitted);
        CRecordingPages pages;
        CCapturedMessages messages;
        CEquipmentAccess access(pages, notPermitted, LoopbackOptions(1, "127.0.0.99"));
        access.ConnectToEquipment(QStringLiteral("127.0.0.23"));
        QTRY_COMPARE(messages.Texts(), QStringList{QString::fromLatin1(MPing::kNotPermittedText)});
        QVERIFY(access.LoadedElements().isEmpty());
    }

    // A second attempt to the same address is refused during its route test
    // and while it waits for its reply; another address goes ahead meanwhile.
    void sameAddressBusyOtherAddressInParallel()
    {
        const QString slow = QStringLiteral("127.0.0.24");
        const QString other = QStringLiteral("127.0.0.25");
        CEquipmentSimProcess silent;
        QVERIFY(silent.Start(slow, {QStringLiteral("--silent")}));
        CEquipmentSimProcess newer;
        QVERIFY(newer.Start(other, {QStringLiteral("--version"), QStringLiteral("1.19")},
                            silent.Port()));
        CRecordingPages pages;
        CCapturedMessages messages;
        SEquipmentAccessOptions options = LoopbackOptions(silent.Port(), "127.0.0.99");
        options.replyTimeoutMs = 10000;
        CEquipmentAccess access(pages, *m_pinger, options);

        access.ConnectToEquipment(slow);
        access.ConnectToEquipment(slow); // its route test is still pending
        QCOMPARE(messages.Texts(), QStringList{kMsgAttemptInProgress});
        QTRY_COMPARE(silent.Lines().value(0), ProbeLine(slow));
        access.ConnectToEquipment(slow); // connected, waiting for the reply
        QCOMPARE(messages.Texts(), (QStringList{kMsgAttemptInProgress, kMsgAttemptInProgress}));
        QCOMPARE(access.LoadedElements(), QList<int>{1});

        access.ConnectToEquipment(other);
        QTRY_COMPARE(pages.calls, QStringList{"open " + Url(newer, "/home.html")});
        QCOMPARE(access.LoadedElements(), QList<int>{1});
        QCOMPARE(messages.messages.size(), 2);
    }

    void rescueLogsInAndOpensTheBridgePage_data()
    {
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("encodedUser");
        QTest::addColumn<QStringList>("fault");
        QTest::newRow("defaults") << "SYSTEM"
                                  << "KORVELAN"
                                  << "SYSTEM" << QStringList();
        QTest::newRow("defaults, split replies") << "SYSTEM"
                                                 << "KORVELAN"
                                                 << "SYSTEM" << QStringList{"--split"};
        QTest::newRow("quote, backslash, ampersand") << "A\"B\\C&D"
                                                     << "P\"W\\"
                                                     << "A%22B%5CC%26D" << QStringList();
    }

    void rescueLogsInAndOpensTheBridgePage()
    {
        QFETCH(QString, user);
        QFETCH(QString, password);
        QFETCH(QString, encodedUser);
        QFETCH(QStringList, fault);
        const QString rescue = QStringLiteral("127.0.0.26");
        CEquipmentSimProcess sim;
        QVERIFY(sim.Start(rescue, QStringList{QStringLiteral("--user"), user,
                                              QStringLiteral("--password"), password}
                                      + fault));
        CRecordingPages pages;
        CCapturedMessages messages;
        CEquipmentAccess access(pages, *m_pinger, LoopbackOptions(sim.Port(), rescue));
        QSignalSpy finished(&access, &CEquipmentAccess::OnRescueFinished);
        gRescueUser = user;
        gRescuePassword = password;

        access.ConnectToRescueEquipment();
        QCOMPARE(gRescueProbeDone, false);
        QCOMPARE(gRescueSocketIndex, 1);
        QVERIFY(finished.wait(10000));
        QCOMPARE(gRescueProbeDone, true);
        QCOMPARE(pages.calls,
                 QStringList{"open " + Url(sim, "/orvaneBridge.asp?user=" + encodedUser)});
        QVERIFY(messages.messages.isEmpty());
        QVERIFY(access.LoadedElements().isEmpty());
        QTRY_COMPARE(sim.Lines().filter(QStringLiteral("POST")),
                     (QStringList{ProbeLine(rescue), LoginLine(rescue)}));
        QCOMPARE(sim.Count(QStringLiteral("login accepted for user ") + user), 1);
    }

    // The older interface has no rescue login: its page is shown and the
    // sequence goes no further.
    void rescueAtOlderInterfaceShowsItsPage()
    {
        const QString rescue = QStringLiteral("127.0.0.27");
        CEquipmentSimProcess sim;
        QVERIFY(sim.Start(rescue, {QStringLiteral("--older")}));
        CRecordingPages pages;
        CCapturedMessages messages;
        CEquipmentAccess access(pages, *m_pinger, LoopbackOptions(sim.Port(), rescue));
        QSignalSpy finished(&access, &CEquipmentAccess::OnRescueFinished);

        access.ConnectToRescueEquipment();
        QTRY_COMPARE(pages.calls,
                     QStringList{QStringLiteral("show %1 %2").arg(rescue, Url(sim, QString()))});
        QVERIFY(access.LoadedElements().isEmpty());
        QCOMPARE(finished.count(), 0);
        QVERIFY(messages.messages.isEmpty());
    }

    // Abort and Close both close the rescue socket, at whatever step it is:
    // nothing stays loaded, nothing retries, and the next start runs the
    // whole sequence once, on the same address and port.
    void rescueClosedAtEachStep_data()
    {
        QTest::addColumn<QStringList>("fault"); // empty: nothing listens
        QTest::addColumn<int>("replyTimeoutMs");
        QTest::addColumn<QString>("reached"); // the sim's line that shows the step
        QTest::addColumn<int>("times");       // ... and how often, at least
        QTest::newRow("connection refused, retrying") << QStringList() << 60000 << "" << 0;
        QTest::newRow("equipment closes at once, retrying")
            << QStringList{"--close"} << 60000 << "connection closed at once" << 2;
        QTest::newRow("probe sent, no answer")
            << QStringList{"--silent"} << 60000 << "Snmp.Get" << 1;
        QTest::newRow("probe unanswered past the reply time-out, retrying")
            << QStringList{"--silent"} << 200 << "Snmp.Get" << 3;
        QTest::newRow("login sent, no answer")
            << QStringList{"--silent-login"} << 60000 << "Snmp.Login" << 1;
    }

    void rescueClosedAtEachStep()
    {
        QFETCH(QStringList, fault);
        QFETCH(int, replyTimeoutMs);
        QFETCH(QString, reached);
        QFETCH(int, times);
        const QString rescue = QStringLiteral("127.0.0.28");
        auto sim = std::make_unique<CEquipmentSimProcess>();
        quint16 port = 0;
        if (fault.isEmpty()) {
            port = ClosedLoopbackPort(rescue);
        } else {
            QVERIFY(sim->Start(rescue, fault));
            port = sim->Port();
        }
        CRecordingPages pages;
        CCapturedMessages messages;
        SEquipmentAccessOptions options = LoopbackOptions(port, rescue);
        options.replyTimeoutMs = replyTimeoutMs;
        CEquipmentAccess access(pages, *m_pinger, options);
        QSignalSpy finished(&access, &CEquipmentAccess::OnRescueFinished);

        access.ConnectToRescueEquipment();
        if (fault.isEmpty()) {
            // Two retries: each replaces the element by a new socket.
            for (int retry = 0; retry < 2; ++retry) {
                const QPointer<CTcpSocket> before = access.findChild<CTcpSocket*>();
                QVERIFY(before);
                QTRY_VERIFY(before.isNull());
            }
        } else {
            QTRY_VERIFY(sim->Count(reached) >= times);
        }
        QCOMPARE(access.LoadedElements(), QList<int>{gRescueSocketIndex});

        access.CloseRescueSocket();
        QVERIFY(access.LoadedElements().isEmpty());
        QVERIFY(pages.calls.isEmpty());
        QCOMPARE(finished.count(), 0);

        // A good equipment on the same address and port now: one probe, one
        // login, the bridge page; no earlier element comes back.
        sim.reset();
        CEquipmentSimProcess good;
        QVERIFY(good.Start(rescue, {}, port));
        access.ConnectToRescueEquipment();
        QVERIFY(finished.wait(10000));
        QCOMPARE(pages.calls, QStringList{"open " + Url(good, "/orvaneBridge.asp?user=SYSTEM")});
        QVERIFY(access.LoadedElements().isEmpty());
        QCOMPARE(good.Lines().filter(QStringLiteral("POST")),
                 (QStringList{ProbeLine(rescue), LoginLine(rescue)}));
        QVERIFY(messages.messages.isEmpty());
    }

    // Starting again while the rescue attempt is still running starts
    // nothing and tells the dialog to go.
    void rescueStartedTwiceIsRefused()
    {
        const QString rescue = QStringLiteral("127.0.0.29");
        CEquipmentSimProcess sim;
        QVERIFY(sim.Start(rescue, {QStringLiteral("--silent")}));
        CRecordingPages pages;
        CCapturedMessages messages;
        CEquipmentAccess access(pages, *m_pinger, LoopbackOptions(sim.Port(), rescue));
        QSignalSpy finished(&access, &CEquipmentAccess::OnRescueFinished);

        access.ConnectToRescueEquipment();
        access.ConnectToRescueEquipment();
        QCOMPARE(finished.count(), 1);
        QCOMPARE(access.LoadedElements(), QList<int>{1});
        QVERIFY(messages.messages.isEmpty());
        access.CloseRescueSocket();
        QVERIFY(access.LoadedElements().isEmpty());
    }

    // A LAN attempt beside the rescue sequence keeps its own element: the
    // rescue's retries and its close leave it alone.
    void rescueLeavesOtherAttemptsAlone()
    {
        const QString rescue = QStringLiteral("127.0.0.30");
        const QString lan = QStringLiteral("127.0.0.31");
        CEquipmentSimProcess closing;
        QVERIFY(closing.Start(rescue, {QStringLiteral("--close")}));
        CEquipmentSimProcess silent;
        QVERIFY(silent.Start(lan, {QStringLiteral("--silent")}, closing.Port()));
        CRecordingPages pages;
        CCapturedMessages messages;
        SEquipmentAccessOptions options = LoopbackOptions(closing.Port(), rescue);
        options.replyTimeoutMs = 60000;
        CEquipmentAccess access(pages, *m_pinger, options);
        const QString closed = QStringLiteral("connection closed at once");

        access.ConnectToRescueEquipment();
        access.ConnectToEquipment(lan);
        QTRY_COMPARE(silent.Count(ProbeLine(lan)), 1);
        const QList<int> both = access.LoadedElements();
        QCOMPARE(both.size(), 2);
        const int lanIndex = both.at(0) == gRescueSocketIndex ? both.at(1) : both.at(0);
        const qsizetype attempts = closing.Count(closed);
        QTRY_VERIFY(closing.Count(closed) >= attempts + 2); // retried beside it
        QVERIFY(access.LoadedElements().contains(lanIndex));
        access.CloseRescueSocket();
        QCOMPARE(access.LoadedElements(), QList<int>{lanIndex});
        QVERIFY(messages.messages.isEmpty());
        QVERIFY(pages.calls.isEmpty());
    }

private:
    std::unique_ptr<IPinger> m_pinger;
};

QTEST_GUILESS_MAIN(tst_CEquipmentAccess)
#include "tst_CEquipmentAccess.moc"
