#include "fileserver/ftp/FTcpDataTransfer.h"
#include "fileserver/ftp/FtpReplies.h"
#include "fileserver/ftp/cFtpSession.h"
#include "tests/fileserver/ftp/FtpTestPeer.h"

#include <QPointer>
#include <QtTest>

#include <limits>

namespace {

// The steps of a dialogue after the greeting: "I" logs in with PORT to the
// client, ">" sends a line, "<" reads the next reply, "R" receives a file of
// that many pattern bytes, "L" an empty listing, "X" refuses data
// connections, "B" and "O" send PORT to a port that never accepts and to the
// server's own data port, "C" sees the server close.
using Steps = QByteArrayList;

const QByteArray kLoggedIn = "<230 User logged in";
const QByteArray kNotLogged = "<530 User not logged";
const QByteArray kNotImplemented = QByteArray("<") + kReplyNotImplemented;
const QByteArray kRetrieving = QByteArray("<") + kReplyRetrieveOpening;
const QByteArray kStoring = QByteArray("<") + kReplyStoreOpening;
const QByteArray kListing = QByteArray("<") + kReplyListOpening + "/";
const QByteArray kFileDone = QByteArray("<") + kReplyFileDone;
const QByteArray kCannotOpen = QByteArray("<") + kReplyCannotOpen;
const QString kGreeted = QStringLiteral("OnNewFtpSession(1,127.0.0.1,0,1)");
const qsizetype kLarge =
    std::max(CTcpSocket::kSendHighWater, FTcpDataTransfer::kReadChunkSize) * 3 + 100;

QStringList RetrieveEvents(qsizetype size)
{
    QStringList events{kGreeted, "OnSessionStatusChange(1,127.0.0.1,1)",
                       QStringLiteral("OnInitRetrive(1,127.0.0.1,1,/f%1)").arg(size)};
    for (qsizetype total = 256; total < size + 256; total += 256)
        events << QStringLiteral("OnNewDataBlockSent(1,127.0.0.1,%1,%2)")
                      .arg(std::min(total, size))
                      .arg(size);
    return events << "OnSessionStatusChange(1,127.0.0.1,0)"
                  << "OnTransferTerminate(1,0)";
}
} // namespace

class tst_cFtpSession final : public QObject {
    Q_OBJECT
private slots:
    void dialogue_data()
    {
        QTest::addColumn<Steps>("steps");
        QTest::addColumn<QStringList>("events"); // empty: not looked at
        QTest::addColumn<int>("dataTimeoutMs");
        QTest::addColumn<int>("idleTimeoutMs");
        const auto row = [](const char* name, const Steps& steps, const QStringList& events = {},
                            int dataTimeoutMs = kFtpDataConnectTimeoutMs,
                            int idleTimeoutMs = kFtpIdleTimeoutMs) {
            QTest::newRow(name) << steps << events << dataTimeoutMs << idleTimeoutMs;
        };
        row("login: only USER, PASS and QUIT before it; any password",
            {">PWD", kNotLogged, ">NOOP", kNotLogged, ">user x", kNotLogged, ">USER bob",
             "<331 Password required for bob", ">USER \xe9\x80",
             "<331 Password required for \xe9\x80", ">RETR f1", kNotLogged, ">PASS", kLoggedIn,
             ">PWD", "<257 \"/\""});
        row("unimplemented, lower case and TYPE",
            {">PASS x", kLoggedIn, ">user x", kNotImplemented, ">PASV", kNotImplemented, ">TYPE E",
             kNotImplemented, ">type i", kNotImplemented, ">TYPE I", "<200 Type set to I",
             ">TYPE A", "<200 Type set to A", ">PORT", "<200 Port command successful"});
        row("RETR and STOR refusals",
            {">PASS x", kLoggedIn, ">RETR none", "<550 File not found or open error", ">RETR f0",
             "<550 File not found or open error", ">RETR .hidden",
             "<550 File not found or open error", ">RETR sub", "<550 File not found or open error",
             ">STOR sub", "<553 No such file or directory", ">STOR none/new",
             "<553 No such file or directory"});
        row("pipelined lines, an empty one, a line too long",
            {">USER a\r\n\r\nPASS b", "<331 Password required for a", kLoggedIn,
             ">CWD " + QByteArray(5000, 'x'), "<500 Command line too long", ">PWD", "<257 \"/\""});
        row("QUIT ends it; what follows is not answered", {">QUIT\r\nPWD", "<221 Goodbye.", "C"},
            {kGreeted, "OnCloseFtpSession(1,127.0.0.1,0)"});
        row("ABOR before any transfer, after a Telnet interrupt",
            {">PASS x", kLoggedIn,
             ">\xFF\xF4\xFF"
             "ABOR",
             "<221 You could at least say goodbye.", "C"});
        row("a silent client is timed out", {"<421 Timeout.", "C"},
            {kGreeted, "OnCloseFtpSession(1,127.0.0.1,0)"}, kFtpDataConnectTimeoutMs, 50);
        row("512 bytes: an empty read ends it", {"I", ">RETR f512", kRetrieving, "R512", kFileDone},
            RetrieveEvents(512));
        row("beyond the socket's queue and the read chunk, a short last block",
            {"I", ">RETR f" + QByteArray::number(kLarge), kRetrieving,
             "R" + QByteArray::number(kLarge), kFileDone},
            RetrieveEvents(kLarge));
        row("NLST of an empty folder; ABOR after it says nothing",
            {"I", ">NLST sub", kListing, "L", "<226 Transfer complete.", ">ABOR", ">PWD",
             "<257 \"/\""},
            {kGreeted});
        row("a refused data connection",
            {"I", "X", ">RETR f1", kRetrieving, kCannotOpen, ">STOR g", kStoring, kCannotOpen,
             ">LIST", kListing, kCannotOpen},
            {kGreeted});
        row("a port outside the range",
            {"I", ">PORT 127,0,0,1,256,0", "<200 Port command successful", ">RETR f1", kRetrieving,
             kCannotOpen},
            {kGreeted});
        row("the server's own data port: it does not connect to itself",
            {"I", "O", ">STOR g", kStoring, kCannotOpen, ">PWD", "<257 \"/\""}, {kGreeted});
        row("a data port that never accepts: the time-out",
            {"I", "B", ">LIST", kListing, kCannotOpen, ">RETR f1", kRetrieving, kCannotOpen},
            {kGreeted}, 50);
        row("a data port that never accepts: ABOR ends a listing",
            {"I", "B", ">LIST", kListing, ">ABOR", "<226 Closing data connection", ">PWD",
             "<257 \"/\""},
            {kGreeted, "OnTransferTerminate(1,0)"});
    }
    void dialogue()
    {
        QFETCH(Steps, steps);
        QFETCH(QStringList, events);
        QFETCH(int, dataTimeoutMs);
        QFETCH(int, idleTimeoutMs);
        QTcpServer probe; // a port that is free: the server's own data port
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        const quint16 ownPort = probe.serverPort();
        probe.close();
        SFtpOptions options = TestOptions(dataTimeoutMs, idleTimeoutMs);
        options.localDataPort = steps.contains("O") ? ownPort : 0;
        CFtpTestServer server(options);
        for (const qsizetype size : {qsizetype(0), qsizetype(1), qsizetype(512), kLarge})
            TestFiles::Write(server.Path(QStringLiteral("f%1").arg(size)),
                             TestFiles::Pattern(size));
        TestFiles::Write(server.Path(".hidden"), "hidden");
        QVERIFY(QDir(server.Path(QString())).mkdir("sub"));
        const CBlockedPort blocked;
        CFtpTestClient client(server.Port());
        QCOMPARE(client.Line(), QByteArray("220 Welcome to the brennor Test Server 1.0"));
        for (const QByteArray& step : steps) {
            const QByteArray rest = step.mid(1);
            switch (step.at(0)) {
            case 'I': QVERIFY(client.LogIn(false)); break;
            case '>': client.Send(rest + "\r\n"); break;
            case '<': QCOMPARE(client.Line(), rest); break;
            case 'R': QCOMPARE(client.ReceiveData(), TestFiles::Pattern(rest.toLongLong())); break;
            case 'X': client.RefuseData(); break;
            case 'C':
                QVERIFY(client.WaitClosed());
                QCOMPARE(client.Line(0), kTimedOut);
                break;
            case 'B':
                QCOMPARE(client.Command(blocked.Command()), "200 Port command successful");
                break;
            case 'O':
                QCOMPARE(client.Command(PortArgument(ownPort)), "200 Port command successful");
                break;
            case 'L': QCOMPARE(client.ReceiveData(), QByteArray()); break;
            default: QFAIL(step.constData());
            }
        }
        WAIT_COMPARE(server.sessions->TransferCount(), 0);
        if (!events.isEmpty())
            WAIT_COMPARE(server.events, events);
    }
    void clientThatNeverReadsStaysBounded()
    {
        CFtpTestServer server;
        QTcpSocket client;
        client.setReadBufferSize(1); // Qt takes nothing more from the system
        client.connectToHost(QHostAddress::LocalHost, server.Port());
        QVERIFY(WaitUntil([&server] { return server.events.size() == 1; }));
        cFtpSession* session = server.sessions->Item("1");
        const qint64 before = ResidentKiB();
        client.write(QByteArray("X\n").repeated(4 * 1024 * 1024));
        QVERIFY(WaitUntil([session] { return !session->IsReading(); }));
        qint64 growth = ResidentKiB() - before;
        CFtpTestClient other(server.Port()); // others are still served
        QVERIFY(other.Line().startsWith("220 "));
        growth = std::max(growth, ResidentKiB() - before);
        // The burst itself is 8 MiB here; unread, its replies would be 120 MiB.
        QVERIFY2(growth < 40 * 1024, qPrintable(QString::number(growth)));
    }
    void pipelinedListingsHoldOneConnection()
    {
        const auto descriptors = [] { return QDir("/proc/self/fd").entryList(QDir::Files).size(); };
        const CBlockedPort blocked;
        CFtpTestServer server(TestOptions(20));
        CFtpTestClient client(server.Port());
        QVERIFY(client.LogIn());
        QCOMPARE(client.Command(blocked.Command()), "200 Port command successful");
        const qsizetype before = descriptors();
        client.Send(QByteArray("LIST\r\n").repeated(3000));
        qsizetype most = before;
        for (int i = 0; i < 5; ++i) {
            QCOMPARE(client.Line().left(4), QByteArray("150 "));
            most = std::max(most, descriptors());
            QVERIFY(server.sessions->TransferCount() <= 1);
            QCOMPARE(client.Line(), kCannotOpen.mid(1));
        }
        QVERIFY2(most <= before + 2, qPrintable(QStringLiteral("%1 -> %2").arg(before).arg(most)));
    }
    void sessionsComeAndGo()
    {
        CFtpTestServer server;
        auto first = std::make_unique<CFtpTestClient>(server.Port());
        QVERIFY(first->LogIn());
        CFtpTestClient second(server.Port());
        QVERIFY(second.LogIn());
        QCOMPARE(server.sessions->Sessions().at(1)->SessionID(), QStringLiteral("2"));
        QPointer<cFtpSession> firstSession = server.sessions->Item("1");
        QCOMPARE(second.Command("QUIT"), QByteArray("221 Goodbye."));
        WAIT_COMPARE(server.sessions->Count(), 1);
        QCOMPARE(first->Command("PWD"), QByteArray("257 \"/\"")); // the other one goes on
        first.reset(); // the client's close ends its session
        WAIT_COMPARE(server.sessions->Count(), 0);
        QVERIFY(WaitUntil([&firstSession] { return firstSession.isNull(); }));
        CFtpTestClient third(server.Port());
        CFtpTestServer other;
        CFtpTestClient fourth(other.Port());
        QVERIFY(third.LogIn() && fourth.LogIn());
        QCOMPARE(
            server.events,
            (QStringList{"OnNewFtpSession(1,127.0.0.1,0,1)", "OnNewFtpSession(2,127.0.0.1,0,2)",
                         "OnCloseFtpSession(2,127.0.0.1,1)", "OnCloseFtpSession(1,127.0.0.1,0)",
                         "OnNewFtpSession(3,127.0.0.1,0,1)"}));
        QCOMPARE(other.events, QStringList{"OnNewFtpSession(1,127.0.0.1,0,1)"});
        QCOMPARE(server.sessions->Item("x"), nullptr);
        server.sessions->Remove("x"); // ignored
        QCOMPARE(server.sessions->Count(), 1);
        QCOMPARE(cFtpSessions::FollowingSessionId(std::numeric_limits<qint32>::max()), 1);
    }

private:
    static qint64 ResidentKiB()
    {
        for (const QByteArray& line : TestFiles::Read("/proc/self/status").split('\n')) {
            if (line.startsWith("VmRSS:"))
                return line.mid(6).trimmed().split(' ').value(0).toLongLong();
        }
        return -1;
    }
};

QTEST_GUILESS_MAIN(tst_cFtpSession)
#include "tst_cFtpSession.moc"
