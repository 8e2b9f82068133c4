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
    // The newer interface's home page is the main window's dial-up test.
    void connect_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("arguments"); // the equipment's; empty: nothing listens
        QTest::addColumn<quint32>("echo");
        QTest::addColumn<QString>("outcome"); // the page asked for, or the message
        const auto row = [](const char* name, const char* address, const char* arguments,
                            const QString& outcome, quint32 echo = kIpSuccess) {
            QTest::newRow(name) << QString(address) << QString(arguments) << echo << outcome;
        };
        const QString home = "open %1/home.html";
        row("404: older interface", "127.0.0.22", "--older", "show %2 %1");
        row("chunks of 3 bytes, the connection kept", "127.0.0.22", "--chunked 3 --keep-alive",
            home);
        row("HTTP/1.0: the close ends it", "127.0.0.22", "--http10", home);
        const QString wide = "1." + QString(60000, 'x');
        row("a wide version, quoted cut short", "127.0.0.22",
            QString("--version " + wide).toLatin1().constData(),
            QString(kMsgUnknownVersion).arg(wide.left(200) + "..."));
        row("a version beyond the cap", "127.0.0.22",
            QString("--version " + QString(100000, '9')).toLatin1().constData(), kMsgNoAccess);
        row("markup in the version, quoted as it is", "127.0.0.22", "--version 4.0.<b>19</b>",
            QString(kMsgUnknownVersion).arg("4.0.<b>19</b>"));
        row("a reply without end", "127.0.0.22", "--endless --chunked 1", kMsgNoAccess);
        row("refused connection", "127.0.0.22", "", kMsgNoAccess);
        row("silent equipment: reply time-out", "127.0.0.22", "--silent", kMsgNoAccess);
        row("no echo: nothing sent", "127.0.0.22", "", kMsgEquipmentUnreachable, kIpGeneralFailure);
        row("echo not permitted", "127.0.0.22", "", MPing::kNotPermittedText, kIpEchoNotPermitted);
        // The leading zero and the blanks are the main window's test.
        row("not dotted, refused before the echo", "127.0.0.300", "",
            QString(kMsgNotAnAddress).arg("127.0.0.300"));
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
        const bool page = outcome.startsWith("show ") || outcome.startsWith("open ");
        const QString expected = page ? outcome.arg(Url(sim)).replace("%2", address) : outcome;
        for (int attempt = 1; attempt <= 2; ++attempt) {
            a.access.ConnectToEquipment(address);
            QTRY_COMPARE(a.pages.calls + a.messages.Texts(), QStringList(attempt, expected));
            QVERIFY(a.access.LoadedElements().isEmpty());
        }
        QTRY_VERIFY(!page || sim.Count(Post(address, "Get")) == 2);
        for (const SMessage& message : a.messages.Shown())
            QVERIFY(message.title == "Pelion" && message.icon == EMessageIcon::Information
                    && message.text.size() < 300);
        // An endless reply is dropped at the cap, long before the equipment
        // would stop sending.
        if (arguments.contains("--endless")) {
            QTRY_COMPARE(sim.Count("endless reply ended after"), 2);
            for (const QString& line : sim.Lines().filter("endless reply ended after"))
                QVERIFY2(line.section(' ', 4, 4).toLongLong() < 32 * 1024 * 1024, qPrintable(line));
        }
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
    // Refused, the rescue retries, each time on a new socket, until it is
    // closed, and nothing stays loaded. Started again on the same address
    // and port, now answered by the older interface, which has no login: its
    // page. The newer interface's login is the main window's rescue test.
    void rescue()
    {
        const QString rescue = "127.0.0.26";
        const quint16 port = ClosedLoopbackPort(rescue);
        SAccess a(m_answers, port, rescue, 60000);
        gRescueProbeDone = true;
        a.access.ConnectToRescueEquipment();
        QCOMPARE(gRescueProbeDone, false);
        QCOMPARE(gRescueSocketIndex, 1);
        for (int retry = 0; retry < 2; ++retry) {
            const QPointer<CTcpSocket> before = a.access.findChild<CTcpSocket*>();
            QVERIFY(before);
            QTRY_VERIFY(before.isNull());
        }
        QCOMPARE(a.access.LoadedElements(), QList<int>{gRescueSocketIndex});
        a.access.ConnectToRescueEquipment(); // while it runs: the dialog is told to go
        QCOMPARE(a.finished.count(), 1);
        QCOMPARE(a.access.LoadedElements(), QList<int>{gRescueSocketIndex});
        a.access.CloseRescueSocket();
        QVERIFY(a.access.LoadedElements().isEmpty());
        CEquipmentSimProcess older;
        QVERIFY(older.Start(rescue, {"--older"}, port));
        a.access.ConnectToRescueEquipment();
        QTRY_COMPARE(a.pages.calls, QStringList{"show 127.0.0.26 " + Url(older)});
        QVERIFY(a.access.LoadedElements().isEmpty() && a.messages.Shown().isEmpty());
        QCOMPARE(a.finished.count(), 1);
        QVERIFY(!gRescueProbeDone);
        QCOMPARE(older.Lines().filter("POST"), QStringList{Post(rescue, "Get")});
    }

private:
    CScriptedPinger m_answers{kIpSuccess};
};

QTEST_GUILESS_MAIN(tst_CEquipmentAccess)
#include "tst_CEquipmentAccess.moc"
