#include "console/equipment/CEquipmentAccess.h"
#include "console/equipment/MRescueGlobals.h"
#include "platform/sockets/CTcpSocket.h"
#include "tests/console/EquipmentSimProcess.h"
#include "tests/console/EquipmentTestDoubles.h"
#include "tests/kit/MessageCapture.h"

#include <QPointer>
#include <QSignalSpy>
#include <QtTest>

namespace {

QString Url(const CEquipmentSimProcess& sim, const QString& path = QString())
{
    return QStringLiteral("http://%1:%2%3").arg(sim.Address()).arg(sim.Port()).arg(path);
}

QString Post(const QString& address, const char* path)
{
    return QStringLiteral("POST http://%1/Snmp.%2 HTTP/1.1").arg(address, path);
}

// An equipment access on loopback; what it asked of the pages, and its messages.
struct SAccess {
    SAccess(IPinger& pinger, quint16 port, const QString& rescue, int replyTimeoutMs = 400)
        : access(pages, pinger, {port, rescue, 300, replyTimeoutMs, 20}),
          finished(&access, &CEquipmentAccess::OnRescueFinished)
    {
    }
    CRecordingPages pages;
    CMessageCapture messages;
    CEquipmentAccess access;
    QSignalSpy finished;
};

} // namespace

class tst_CEquipmentAccess final : public QObject {
    Q_OBJECT

private slots:
    // Each outcome of an attempt, twice: the first leaves nothing loaded and
    // the address free for the second. A failure is one information message.
    void connect_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("arguments"); // the equipment's; empty: nothing listens
        QTest::addColumn<quint32>("echo");
        QTest::addColumn<QString>("outcome"); // the page asked for, or the message
        const QString lan = "127.0.0.22", home = "open %1/home.html", older = "show %2 %1";
        const QString noAccess = kMsgNoAccess;
        const auto row = [](const char* name, const QString& address, const char* arguments,
                            const QString& outcome, quint32 echo = kIpSuccess) {
            QTest::newRow(name) << address << QString(arguments) << echo << outcome;
        };
        row("newer interface: home page", lan, "--version 4.0.19", home);
        row("newer interface, reply in pieces", lan, "--version 4.0.19 --split", home);
        row("404: older interface", lan, "--older", older);
        row("version ending below 19: older interface", lan, "--version 20.1.3", older);
        row("silent equipment: reply time-out", lan, "--silent", noAccess);
        row("equipment closes at once", lan, "--close", noAccess);
        row("refused connection", lan, "", noAccess);
        row("version that is no number", lan, "--version 20.1.x",
            QString(kMsgUnknownVersion).arg("20.1.x"));
        row("no echo: nothing sent", lan, "", kMsgEquipmentUnreachable, kIpGeneralFailure);
        row("echo not permitted", lan, "", MPing::kNotPermittedText, kIpEchoNotPermitted);
        row("address no socket takes", "127.0.0.300", "", kMsgConnectFailed);
    }
    void connect()
    {
        QFETCH(QString, address);
        QFETCH(QString, arguments);
        QFETCH(quint32, echo);
        QFETCH(QString, outcome);
        CEquipmentSimProcess sim;
        QVERIFY(arguments.isEmpty() || sim.Start("127.0.0.22", arguments.split(' ')));
        CScriptedPinger pinger(echo);
        SAccess a(pinger, arguments.isEmpty() ? ClosedLoopbackPort("127.0.0.22") : sim.Port(),
                  "127.0.0.99");
        const bool page = outcome.startsWith("open ") || outcome.startsWith("show ");
        const QString expected = page ? outcome.arg(Url(sim)).replace("%2", address) : outcome;
        for (int attempt = 1; attempt <= 2; ++attempt) {
            a.access.ConnectToEquipment(address);
            QTRY_COMPARE(a.pages.calls + a.messages.Texts(), QStringList(attempt, expected));
            QVERIFY(a.access.LoadedElements().isEmpty());
        }
        QTRY_VERIFY(!page || sim.Count(Post(address, "Get")) == 2);
        for (const SMessage& message : a.messages.Shown())
            QVERIFY(message.title == "Pelion" && message.icon == EMessageIcon::Information);
    }
    // A second attempt at the same address is refused during its route test
    // and while it waits for its reply; another address goes ahead; the
    // rescue's retries and close leave the waiting attempt's element alone.
    void attemptsSideBySide()
    {
        const QString slow = "127.0.0.24", busy = kMsgAttemptInProgress;
        const QString closed = "connection closed at once";
        CEquipmentSimProcess closing, silent, newer;
        QVERIFY(closing.Start("127.0.0.30", {"--close"}));
        QVERIFY(silent.Start(slow, {"--silent"}, closing.Port()));
        QVERIFY(newer.Start("127.0.0.25", {"--version", "1.19"}, closing.Port()));
        SAccess a(m_answers, closing.Port(), "127.0.0.30", 60000);
        a.access.ConnectToRescueEquipment();
        a.access.ConnectToEquipment(slow);
        a.access.ConnectToEquipment(slow); // its route test is still pending
        QCOMPARE(a.messages.Texts(), QStringList{busy});
        QTRY_COMPARE(silent.Count(Post(slow, "Get")), 1);
        a.access.ConnectToEquipment(slow); // connected, waiting for the reply
        QCOMPARE(a.messages.Texts(), QStringList(2, busy));
        a.access.ConnectToEquipment("127.0.0.25");
        QTRY_COMPARE(a.pages.calls, QStringList{"open " + Url(newer, "/home.html")});
        QList<int> waiting = a.access.LoadedElements();
        QVERIFY(waiting.size() == 2 && waiting.removeOne(gRescueSocketIndex));
        const qsizetype attempts = closing.Count(closed);
        QTRY_VERIFY(closing.Count(closed) >= attempts + 2);
        a.access.CloseRescueSocket();
        QCOMPARE(a.access.LoadedElements(), waiting);
        QVERIFY(a.messages.Shown().size() == 2 && a.pages.calls.size() == 1);
    }
    // The rescue closed at each step: nothing stays loaded or retries. Started
    // again on the same address and port, now answered, it runs once: probe,
    // login, the bridge page (the older interface has no login: its page).
    void rescue_data()
    {
        QTest::addColumn<QString>("fault"); // the first equipment's; empty: nothing listens
        QTest::addColumn<int>("replyTimeoutMs");
        QTest::addColumn<QString>("reached");  // its line that shows the step ...
        QTest::addColumn<int>("times");        // ... at least this often
        QTest::addColumn<QString>("answered"); // the second equipment's
        const auto row = [](const char* name, const char* fault, int replyTimeoutMs,
                            const char* reached, int times, const char* answered) {
            QTest::newRow(name) << QString(fault) << replyTimeoutMs << QString(reached) << times
                                << QString(answered);
        };
        row("refused, retrying; then answered", "", 60000, "", 0, "");
        row("closes at once, retrying; then replies in pieces", "--close", 60000,
            "connection closed at once", 2, "--split");
        row("probe timed out, retrying; then the older interface", "--silent", 200, "Snmp.Get", 3,
            "--older");
    }
    void rescue()
    {
        QFETCH(QString, fault);
        QFETCH(int, replyTimeoutMs);
        QFETCH(QString, reached);
        QFETCH(int, times);
        QFETCH(QString, answered);
        const QString rescue = "127.0.0.26";
        auto sim = std::make_unique<CEquipmentSimProcess>();
        QVERIFY(fault.isEmpty() || sim->Start(rescue, {fault}));
        const quint16 port = fault.isEmpty() ? ClosedLoopbackPort(rescue) : sim->Port();
        SAccess a(m_answers, port, rescue, replyTimeoutMs);
        gRescueUser = "ENGINEER";
        gRescuePassword = "SECRET";
        gRescueProbeDone = true;
        a.access.ConnectToRescueEquipment();
        QCOMPARE(gRescueProbeDone, false);
        QCOMPARE(gRescueSocketIndex, 1);
        // Refused: two retries, each replaces the element by a new socket.
        for (int retry = 0; fault.isEmpty() && retry < 2; ++retry) {
            const QPointer<CTcpSocket> before = a.access.findChild<CTcpSocket*>();
            QVERIFY(before);
            QTRY_VERIFY(before.isNull());
        }
        QTRY_VERIFY(fault.isEmpty() || sim->Count(reached) >= times);
        QCOMPARE(a.access.LoadedElements(), QList<int>{gRescueSocketIndex});
        a.access.ConnectToRescueEquipment(); // while it runs: the dialog is told to go
        QCOMPARE(a.finished.count(), 1);
        QCOMPARE(a.access.LoadedElements(), QList<int>{gRescueSocketIndex});
        a.access.CloseRescueSocket();
        QVERIFY(a.access.LoadedElements().isEmpty());
        a.finished.clear();
        sim.reset();
        CEquipmentSimProcess good;
        QVERIFY(good.Start(rescue,
                           QStringList{"--user", "ENGINEER", "--password", "SECRET"}
                               + answered.split(' ', Qt::SkipEmptyParts),
                           port));
        a.access.ConnectToRescueEquipment();
        const bool older = answered == "--older";
        const QString call = older ? "show 127.0.0.26 " + Url(good)
                                   : "open " + Url(good, "/orvaneBridge.asp?user=ENGINEER");
        QTRY_COMPARE(a.pages.calls, QStringList{call});
        QVERIFY(a.access.LoadedElements().isEmpty() && a.messages.Shown().isEmpty());
        QCOMPARE(a.finished.count(), older ? 0 : 1);
        QCOMPARE(gRescueProbeDone, !older);
        const QStringList posts{Post(rescue, "Get"), Post(rescue, "Login")};
        QTRY_COMPARE(good.Lines().filter("POST"), posts.mid(0, older ? 1 : 2));
        QCOMPARE(good.Count("login accepted for user ENGINEER"), older ? 0 : 1);
    }

private:
    CScriptedPinger m_answers{kIpSuccess};
};

QTEST_GUILESS_MAIN(tst_CEquipmentAccess)
#include "tst_CEquipmentAccess.moc"
