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

// An equipment access on loopback (the rescue address too), with what it
// asked of the pages and the messages it showed.
struct SAccess {
    SAccess(IPinger& pinger, quint16 port, const QString& rescue, int replyTimeoutMs = 400)
        : access(pages, pinger, Options(port, rescue, replyTimeoutMs)),
          finished(&access, &CEquipmentAccess::OnRescueFinished)
    {
    }
    static SEquipmentAccessOptions Options(quint16 port, const QString& rescue, int replyTimeoutMs)
    {
        SEquipmentAccessOptions options;
        options.port = port;
        options.rescueAddress = rescue;
        options.replyTimeoutMs = replyTimeoutMs;
        options.rescueRetryDelayMs = 20;
        return options;
    }
    CRecordingPages pages;
    CCapturedMessages messages;
    CEquipmentAccess access;
    QSignalSpy finished;
};

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
        const QString home = QStringLiteral("open %1/home.html");
        const QString older = QStringLiteral("show %2 %1");
        for (const QString& split : {QString(), QStringLiteral("--split")}) {
            QTest::addRow("newer interface: home page %s", qPrintable(split))
                << QStringList{"--version", "4.0.19", split} << home;
            QTest::addRow("404: older interface %s", qPrintable(split))
                << QStringList{"--older", split} << older;
            QTest::addRow("version ending below 19: older interface %s", qPrintable(split))
                << QStringList{"--version", "20.1.3", split} << older;
        }
    }
    void probeOpensThePage()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, call);
        const QString address = QStringLiteral("127.0.0.21");
        CEquipmentSimProcess sim;
        arguments.removeAll(QString());
        QVERIFY(sim.Start(address, arguments));
        SAccess a(*m_pinger, sim.Port(), "127.0.0.99");
        a.access.ConnectToEquipment(address);
        QTRY_COMPARE(a.pages.calls.size(), 1);
        QCOMPARE(a.pages.calls.first(), call.arg(Url(sim, QString()), address));
        QVERIFY(a.messages.messages.isEmpty());
        QVERIFY(a.access.LoadedElements().isEmpty());
        QTRY_COMPARE(sim.Lines().value(0), ProbeLine(address));
    }

    // Each failure: one message, no page, no element left loaded, and the
    // address free for the next attempt.
    void failureShowsOneMessage_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QStringList>("arguments"); // empty: nothing listens
        QTest::addColumn<QString>("message");
        const QString noAccess = QString::fromLatin1(kMsgNoAccess);
        const QString local = QStringLiteral("127.0.0.22");
        QTest::newRow("silent equipment: reply time-out")
            << local << QStringList{"--silent"} << noAccess;
        QTest::newRow("equipment closes at once") << local << QStringList{"--close"} << noAccess;
        QTest::newRow("refused connection") << local << QStringList() << noAccess;
        QTest::newRow("version that is no number") << local << QStringList{"--version", "20.1.x"}
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
        if (!arguments.isEmpty())
            QVERIFY(sim.Start(address, arguments));
        SAccess a(*m_pinger,
                  arguments.isEmpty() ? ClosedLoopbackPort(QStringLiteral("127.0.0.22"))
                                      : sim.Port(),
                  "127.0.0.99");
        for (int attempt = 1; attempt <= 2; ++attempt) {
            a.access.ConnectToEquipment(address);
            QTRY_COMPARE(a.messages.messages.size(), attempt);
            QCOMPARE(a.messages.messages.last().text, message);
            QCOMPARE(a.messages.messages.last().title, QStringLiteral("Pelion"));
            QCOMPARE(a.messages.messages.last().icon, EMessageIcon::Information);
            QVERIFY(a.access.LoadedElements().isEmpty());
        }
        QVERIFY(a.pages.calls.isEmpty());
    }

    void echoNotPermittedSaysSo()
    {
        CScriptedPinger notPermitted(kIpEchoNotPermitted);
        SAccess a(notPermitted, 1, "127.0.0.99");
        a.access.ConnectToEquipment(QStringLiteral("127.0.0.23"));
        QTRY_COMPARE(a.messages.Texts(),
                     QStringList{QString::fromLatin1(MPing::kNotPermittedText)});
        QVERIFY(a.access.LoadedElements().isEmpty());
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
        SAccess a(*m_pinger, silent.Port(), "127.0.0.99", 10000);
        const QString busy = QString::fromLatin1(kMsgAttemptInProgress);
        a.access.ConnectToEquipment(slow);
        a.access.ConnectToEquipment(slow); // its route test is still pending
        QCOMPARE(a.messages.Texts(), QStringList{busy});
        QTRY_COMPARE(silent.Lines().value(0), ProbeLine(slow));
        a.access.ConnectToEquipment(slow); // connected, waiting for the reply
        QCOMPARE(a.messages.Texts(), (QStringList{busy, busy}));
        QCOMPARE(a.access.LoadedElements(), QList<int>{1});
        a.access.ConnectToEquipment(other);
        QTRY_COMPARE(a.pages.calls, QStringList{"open " + Url(newer, "/home.html")});
        QCOMPARE(a.access.LoadedElements(), QList<int>{1});
        QCOMPARE(a.messages.messages.size(), 2);
    }

    // The probe, then the login, then the bridge page; the older interface
    // has no rescue login: its page is shown and the sequence ends there.
    void rescue_data()
    {
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QStringList>("fault");
        QTest::addColumn<QString>("call");
        const QString bridge = QStringLiteral("open %1/orvaneBridge.asp?user=");
        QTest::newRow("defaults") << "SYSTEM"
                                  << "KORVELAN" << QStringList() << bridge + "SYSTEM";
        QTest::newRow("defaults, split replies")
            << "SYSTEM"
            << "KORVELAN" << QStringList{"--split"} << bridge + "SYSTEM";
        QTest::newRow("quote, backslash, ampersand")
            << "A\"B\\C&D"
            << "P\"W\\" << QStringList() << bridge + "A%22B%5CC%26D";
        QTest::newRow("older interface")
            << "SYSTEM"
            << "KORVELAN" << QStringList{"--older"} << "show 127.0.0.26 %1";
    }
    void rescue()
    {
        QFETCH(QString, user);
        QFETCH(QString, password);
        QFETCH(QStringList, fault);
        QFETCH(QString, call);
        const QString rescue = QStringLiteral("127.0.0.26");
        CEquipmentSimProcess sim;
        QVERIFY(sim.Start(rescue, QStringList{"--user", user, "--password", password} + fault));
        SAccess a(*m_pinger, sim.Port(), rescue);
        gRescueUser = user;
        gRescuePassword = password;
        a.access.ConnectToRescueEquipment();
        QCOMPARE(gRescueProbeDone, false);
        QCOMPARE(gRescueSocketIndex, 1);
        QTRY_COMPARE(a.pages.calls, QStringList{call.arg(Url(sim, QString()))});
        QVERIFY(a.messages.messages.isEmpty());
        QVERIFY(a.access.LoadedElements().isEmpty());
        const bool older = fault.contains(QStringLiteral("--older"));
        QCOMPARE(a.finished.count(), older ? 0 : 1);
        if (!older) {
            QVERIFY(gRescueProbeDone);
            QTRY_COMPARE(sim.Lines().filter(QStringLiteral("POST")),
                         (QStringList{ProbeLine(rescue), LoginLine(rescue)}));
            QCOMPARE(sim.Count("login accepted for user " + user), 1);
        }
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
        if (!fault.isEmpty())
            QVERIFY(sim->Start(rescue, fault));
        const quint16 port = fault.isEmpty() ? ClosedLoopbackPort(rescue) : sim->Port();
        SAccess a(*m_pinger, port, rescue, replyTimeoutMs);
        a.access.ConnectToRescueEquipment();
        if (fault.isEmpty()) {
            // Two retries: each replaces the element by a new socket.
            for (int retry = 0; retry < 2; ++retry) {
                const QPointer<CTcpSocket> before = a.access.findChild<CTcpSocket*>();
                QVERIFY(before);
                QTRY_VERIFY(before.isNull());
            }
        } else {
            QTRY_VERIFY(sim->Count(reached) >= times);
        }
        QCOMPARE(a.access.LoadedElements(), QList<int>{gRescueSocketIndex});
        // Started again while it runs: nothing starts, the dialog is told to go.
        a.access.ConnectToRescueEquipment();
        QCOMPARE(a.finished.count(), 1);
        QCOMPARE(a.access.LoadedElements(), QList<int>{gRescueSocketIndex});

        a.access.CloseRescueSocket();
        QVERIFY(a.access.LoadedElements().isEmpty());
        QVERIFY(a.pages.calls.isEmpty());
        a.finished.clear();

        // A good equipment on the same address and port now: one probe, one
        // login, the bridge page; no earlier element comes back.
        sim.reset();
        CEquipmentSimProcess good;
        QVERIFY(good.Start(rescue, {}, port));
        a.access.ConnectToRescueEquipment();
        QVERIFY(a.finished.wait(10000));
        QCOMPARE(a.pages.calls, QStringList{"open " + Url(good, "/orvaneBridge.asp?user=SYSTEM")});
        QVERIFY(a.access.LoadedElements().isEmpty());
        QCOMPARE(good.Lines().filter(QStringLiteral("POST")),
                 (QStringList{ProbeLine(rescue), LoginLine(rescue)}));
        QVERIFY(a.messages.messages.isEmpty());
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
        SAccess a(*m_pinger, closing.Port(), rescue, 60000);
        const QString closed = QStringLiteral("connection closed at once");
        a.access.ConnectToRescueEquipment();
        a.access.ConnectToEquipment(lan);
        QTRY_COMPARE(silent.Count(ProbeLine(lan)), 1);
        const QList<int> both = a.access.LoadedElements();
        QCOMPARE(both.size(), 2);
        const int lanIndex = both.at(0) == gRescueSocketIndex ? both.at(1) : both.at(0);
        const qsizetype attempts = closing.Count(closed);
        QTRY_VERIFY(closing.Count(closed) >= attempts + 2); // retried beside it
        QVERIFY(a.access.LoadedElements().contains(lanIndex));
        a.access.CloseRescueSocket();
        QCOMPARE(a.access.LoadedElements(), QList<int>{lanIndex});
        QVERIFY(a.messages.messages.isEmpty());
        QVERIFY(a.pages.calls.isEmpty());
    }

private:
    std::unique_ptr<IPinger> m_pinger;
};

QTEST_GUILESS_MAIN(tst_CEquipmentAccess)
#include "tst_CEquipmentAccess.moc"
