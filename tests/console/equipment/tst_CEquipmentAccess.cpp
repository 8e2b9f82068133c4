#include "console/equipment/CEquipmentAccess.h"
#include "console/equipment/MRescueGlobals.h"
#include "platform/sockets/CTcpSocket.h"
#include "tests/console/EquipmentSimProcess.h"
#include "tests/console/EquipmentTestDoubles.h"
#include "tests/kit/MessageCapture.h"
#include "tests/platform/TestNamespaces.h"

#include <QPointer>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

namespace {

QString Url(const CEquipmentSimProcess& sim, const QString& path = QString())
{
    return QStringLiteral("http://%1:%2%3").arg(sim.Address()).arg(sim.Port()).arg(path);
}

QString Post(const QString& address, const char* path)
{
    return QStringLiteral("POST http://%1/Snmp.%2 HTTP/1.1").arg(address, path);
}

QStringList Arguments(const QString& line)
{
    return line.split(' ', Qt::SkipEmptyParts);
}

// An equipment access on loopback (the rescue address too), with what it
// asked of the pages and the messages it showed.
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
    void initTestCase() { m_pinger = LoopbackPinger(); }

    // Each outcome of an attempt, twice: the first leaves nothing loaded and
    // the address free for the second. A failure is one information message.
    void connect_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("arguments"); // the equipment's; empty: nothing listens
        QTest::addColumn<quint32>("echo");      // 1: the real route test
        QTest::addColumn<QString>("outcome");   // the page asked for, or the message
        const QString lan = QStringLiteral("127.0.0.22");
        const QString home = QStringLiteral("open %1/home.html"), older = "show %2 %1";
        const QString noAccess = kMsgNoAccess, unreachable = kMsgEquipmentUnreachable;
        const struct {
            const char* name;
            QString address;
            const char* arguments;
            quint32 echo;
            QString outcome;
        } rows[] = {
            {"newer interface: home page", lan, "--version 4.0.19", 1, home},
            {"newer interface, reply in pieces", lan, "--version 4.0.19 --split", 1, home},
            {"404: older interface", lan, "--older", 1, older},
            {"version ending below 19: older interface", lan, "--version 20.1.3", 1, older},
            {"silent equipment: reply time-out", lan, "--silent", 1, noAccess},
            {"equipment closes at once", lan, "--close", 1, noAccess},
            {"refused connection", lan, "", 1, noAccess},
            {"version that is no number", lan, "--version 20.1.x", 1,
             QString(kMsgUnknownVersion).arg("20.1.x")},
            {"three-part address: route test fails, nothing sent", "10.0.1", "", 1, unreachable},
            {"echo ignored in a namespace", CTestNamespaces::kFarAddress, "", 1, unreachable},
            {"part above 255: echo to its low byte, no connection", "127.0.0.300", "", 1,
             kMsgConnectFailed},
            {"echo not permitted", lan, "", kIpEchoNotPermitted, MPing::kNotPermittedText}};
        for (const auto& row : rows)
            QTest::newRow(row.name)
                << row.address << QString(row.arguments) << row.echo << row.outcome;
    }
    void connect()
    {
        QFETCH(QString, address);
        QFETCH(QString, arguments);
        QFETCH(quint32, echo);
        QFETCH(QString, outcome);
        std::unique_ptr<CTestNamespaces> spaces;
        std::unique_ptr<CEnteredNamespace> inside;
        if (address == QLatin1String(CTestNamespaces::kFarAddress)) {
            spaces = std::make_unique<CTestNamespaces>(QStringLiteral("access"));
            if (!spaces->IsReady())
                QSKIP(qPrintable(spaces->Reason()));
            inside = std::make_unique<CEnteredNamespace>(spaces->Near());
        }
        CEquipmentSimProcess sim;
        QVERIFY(arguments.isEmpty() || sim.Start("127.0.0.22", Arguments(arguments)));
        CScriptedPinger scripted(echo);
        SAccess a(echo == 1 ? *m_pinger : scripted,
                  arguments.isEmpty() ? ClosedLoopbackPort("127.0.0.22") : sim.Port(),
                  "127.0.0.99");
        for (int attempt = 1; attempt <= 2; ++attempt) {
            a.access.ConnectToEquipment(address);
            QTRY_COMPARE(a.pages.calls.size() + a.messages.Shown().size(), attempt);
            QVERIFY(a.access.LoadedElements().isEmpty());
        }
        if (outcome.startsWith("open ") || outcome.startsWith("show ")) {
            QCOMPARE(a.pages.calls, QStringList(2, outcome.arg(Url(sim)).replace("%2", address)));
            QTRY_COMPARE(sim.Count(Post(address, "Get")), 2);
            return;
        }
        QCOMPARE(a.messages.Texts(), QStringList(2, outcome));
        for (const SMessage& message : a.messages.Shown())
            QVERIFY(message.title == "Pelion" && message.icon == EMessageIcon::Information);
    }

    // Attempts side by side: a second one to the same address is refused
    // during its route test and while it waits for its reply; another address
    // goes ahead; the rescue's retries and its close leave the waiting
    // attempt's element alone, though it was loaded after the rescue's.
    void attemptsSideBySide()
    {
        const QString slow = QStringLiteral("127.0.0.24"), busy = kMsgAttemptInProgress;
        const QString closed = QStringLiteral("connection closed at once");
        CEquipmentSimProcess closing, silent, newer;
        QVERIFY(closing.Start("127.0.0.30", {"--close"}));
        QVERIFY(silent.Start(slow, {"--silent"}, closing.Port()));
        QVERIFY(newer.Start("127.0.0.25", {"--version", "1.19"}, closing.Port()));
        SAccess a(*m_pinger, closing.Port(), "127.0.0.30", 60000);
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
        QTRY_VERIFY(closing.Count(closed) >= attempts + 2); // the rescue retried beside it
        a.access.CloseRescueSocket();
        QCOMPARE(a.access.LoadedElements(), waiting);
        QVERIFY(a.messages.Shown().size() == 2 && a.pages.calls.size() == 1);
    }

    // The rescue closed at each step (Abort and Close both close the socket):
    // nothing stays loaded or retries. Started again on the same address and
    // port, now answered, it runs once: probe, login, the bridge page (the
    // older interface has no login: its page, and the sequence ends there).
    void rescue_data()
    {
        QTest::addColumn<QString>("fault"); // the first equipment's; empty: nothing listens
        QTest::addColumn<int>("replyTimeoutMs");
        QTest::addColumn<QString>("reached"); // its line that shows the step, at least
        QTest::addColumn<int>("times");       // ... this often
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("answered"); // the second equipment's
        QTest::addColumn<QString>("call");
        const QString bridge = QStringLiteral("open %1/orvaneBridge.asp?user=SYSTEM");
        const QString s = "SYSTEM", k = "KORVELAN", silent = "--silent", get = "Snmp.Get";
        QTest::newRow("refused, retrying; then the defaults")
            << "" << 60000 << "" << 0 << s << k << "" << bridge;
        QTest::newRow("closes at once, retrying; then replies in pieces")
            << "--close" << 60000 << "connection closed at once" << 2 << s << k << "--split"
            << bridge;
        QTest::newRow("probe unanswered; then quote, backslash, ampersand")
            << silent << 60000 << get << 1 << "A\"B\\C&D"
            << "P\"W\\"
            << ""
            << "open %1/orvaneBridge.asp?user=A%22B%5CC%26D";
        QTest::newRow("probe timed out, retrying; then the older interface")
            << silent << 200 << get << 3 << s << k << "--older"
            << "show 127.0.0.26 %1";
        QTest::newRow("login unanswered; then the defaults")
            << "--silent-login" << 60000 << "Snmp.Login" << 1 << s << k << "" << bridge;
    }
    void rescue()
    {
        QFETCH(QString, fault);
        QFETCH(int, replyTimeoutMs);
        QFETCH(QString, reached);
        QFETCH(int, times);
        QFETCH(QString, user);
        QFETCH(QString, password);
        QFETCH(QString, answered);
        QFETCH(QString, call);
        const QString rescue = QStringLiteral("127.0.0.26");
        auto sim = std::make_unique<CEquipmentSimProcess>();
        QVERIFY(fault.isEmpty() || sim->Start(rescue, {fault}));
        const quint16 port = fault.isEmpty() ? ClosedLoopbackPort(rescue) : sim->Port();
        SAccess a(*m_pinger, port, rescue, replyTimeoutMs);
        gRescueUser = user;
        gRescuePassword = password;
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
        // Started again while it runs: nothing starts, the dialog is told to go.
        a.access.ConnectToRescueEquipment();
        QCOMPARE(a.finished.count(), 1);
        QCOMPARE(a.access.LoadedElements(), QList<int>{gRescueSocketIndex});
        a.access.CloseRescueSocket();
        QVERIFY(a.access.LoadedElements().isEmpty());
        a.finished.clear();

        sim.reset();
        CEquipmentSimProcess good;
        QVERIFY(good.Start(
            rescue, QStringList{"--user", user, "--password", password} + Arguments(answered),
            port));
        a.access.ConnectToRescueEquipment();
        QTRY_COMPARE(a.pages.calls, QStringList{call.arg(Url(good))});
        QVERIFY(a.access.LoadedElements().isEmpty());
        QVERIFY(a.messages.Shown().isEmpty());
        const bool older = answered == "--older";
        QCOMPARE(a.finished.count(), older ? 0 : 1);
        QCOMPARE(gRescueProbeDone, !older);
        const QStringList posts{Post(rescue, "Get"), Post(rescue, "Login")};
        QTRY_COMPARE(good.Lines().filter("POST"), posts.mid(0, older ? 1 : 2));
        QCOMPARE(good.Count("login accepted for user " + user), older ? 0 : 1);
    }

private:
    std::unique_ptr<IPinger> m_pinger;
};

QTEST_GUILESS_MAIN(tst_CEquipmentAccess)
#include "tst_CEquipmentAccess.moc"
