#include "fileserver/ftp/FTcpDataTransfer.h"
#include "fileserver/ftp/FtpReplies.h"
#include "fileserver/ftp/cFtpSession.h"
#include "tests/fileserver/ftp/FtpTestPeer.h"

#include <QDateTime>
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
const QByteArray kNoStatus = QByteArray("<") + kReplyNoFileStatus;
const QByteArray kBadArgument = QByteArray("<") + kReplyBadArgument;
const QByteArray kAborted = QByteArray("<") + kReplyAborted;
const QByteArray kOnlyEpsv = QByteArray("<") + kReplyDataSetupAfterEpsvAll;
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
        row("unimplemented, lower case and TYPE", {">PASS x",
                                                   kLoggedIn,
                                                   ">user x",
                                                   kNotImplemented,
                                                   ">PASV",
                                                   kNotImplemented,
                                                   ">TYPE E",
                                                   kNotImplemented,
                                                   ">type i",
                                                   kNotImplemented,
                                                   ">EPSV",
                                                   kNotImplemented,
                                                   ">EPRT |1|127.0.0.1|5|",
                                                   kNotImplemented,
                                                   ">FEAT",
                                                   kNotImplemented,
                                                   ">SIZE f1",
                                                   kNotImplemented,
                                                   ">MDTM f1",
                                                   kNotImplemented,
                                                   ">REST 1",
                                                   kNotImplemented,
                                                   ">CDUP",
                                                   kNotImplemented,
                                                   ">NOOP",
                                                   kNotImplemented,
                                                   ">SYST",
                                                   kNotImplemented,
                                                   ">OPTS UTF8 ON",
                                                   kNotImplemented,
                                                   ">TYPE I",
                                                   "<200 Type set to I",
                                                   ">TYPE A",
                                                   "<200 Type set to A",
                                                   ">PORT",
                                                   "<200 Port command successful"});
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
        RunDialogue(steps, events, TestOptions(dataTimeoutMs, idleTimeoutMs));
    }
    // The extended mode. Its own steps: "P" and "E" ask PASV and EPSV, "D"
    // connects to the passive port, "d" does so from 127.0.0.2 and sees it
    // closed, "Z" sees the passive port closed, "e" sends EPRT to the
    // client, "W" stores those bytes, "f" compares name=content, "R" takes
    // size@offset, "T" sets the passive range to a taken port, "N" to one
    // free port, which EPSV must offer.
    void extendedDialogue_data()
    {
        QTest::addColumn<Steps>("steps");
        QTest::addColumn<QStringList>("events"); // empty: not looked at
        QTest::addColumn<int>("dataTimeoutMs");
        const auto row = [](const char* name, const Steps& steps, const QStringList& events = {},
                            int dataTimeoutMs = kFtpDataConnectTimeoutMs) {
            QTest::newRow(name) << steps << events << dataTimeoutMs;
        };
        row("features and the small commands; some before login", {">FEAT",
                                                                   "<211-Features:",
                                                                   "< EPRT",
                                                                   "< EPSV",
                                                                   "< MDTM",
                                                                   "< PASV",
                                                                   "< REST STREAM",
                                                                   "< SIZE",
                                                                   "< UTF8",
                                                                   "<211 End",
                                                                   ">SYST",
                                                                   "<215 UNIX Type: L8",
                                                                   ">NOOP",
                                                                   "<200 NOOP ok.",
                                                                   ">SIZE f1",
                                                                   kNotLogged,
                                                                   ">PASS x",
                                                                   kLoggedIn,
                                                                   ">OPTS utf8 on",
                                                                   "<200 UTF8 set to on",
                                                                   ">OPTS MLST type;",
                                                                   "<501 Option not understood",
                                                                   ">CDUP",
                                                                   "<250 CWD command successful.",
                                                                   ">CWD sub",
                                                                   "<250 CWD command successful.",
                                                                   ">CDUP",
                                                                   "<250 CWD command successful.",
                                                                   ">PWD",
                                                                   "<257 \"/\"",
                                                                   ">SIZE f512",
                                                                   "<213 512",
                                                                   ">SIZE f0",
                                                                   "<213 0",
                                                                   ">SIZE none",
                                                                   kNoStatus,
                                                                   ">SIZE .hidden",
                                                                   kNoStatus,
                                                                   ">SIZE sub",
                                                                   kNoStatus,
                                                                   ">MDTM none",
                                                                   kNoStatus,
                                                                   ">MDTM f1",
                                                                   "<213 20200102030405",
                                                                   ">REST -1",
                                                                   kBadArgument,
                                                                   ">REST 1x",
                                                                   kBadArgument,
                                                                   ">REST",
                                                                   kBadArgument,
                                                                   ">XYZ",
                                                                   kNotImplemented});
        row("PASV retrieve, then the next transfer is active again",
            {"I", "P", "D", ">RETR f512", kRetrieving, "R512", kFileDone, ">RETR f1", kRetrieving,
             "R1", kFileDone});
        row("EPSV: an empty file is retrieved as empty, a listing",
            {"I", "E", ">RETR f0", kRetrieving, "D", "R0", kFileDone, "E", ">NLST sub", kListing,
             "D", "L", "<226 Transfer complete."},
            {kGreeted, "OnSessionStatusChange(1,127.0.0.1,1)", "OnInitRetrive(1,127.0.0.1,1,/f0)",
             "OnSessionStatusChange(1,127.0.0.1,0)", "OnTransferTerminate(1,0)"});
        row("REST: the retrieve starts there and counts the whole file",
            {"I", ">REST 100", "<350 Restarting at 100. Send STORE or RETRIEVE.", ">RETR f512",
             kRetrieving, "R512@100", kFileDone, ">RETR f1", kRetrieving, "R1@0", kFileDone},
            {kGreeted, "OnSessionStatusChange(1,127.0.0.1,1)", "OnInitRetrive(1,127.0.0.1,1,/f512)",
             "OnNewDataBlockSent(1,127.0.0.1,356,512)", "OnNewDataBlockSent(1,127.0.0.1,512,512)",
             "OnSessionStatusChange(1,127.0.0.1,0)", "OnTransferTerminate(1,0)",
             "OnSessionStatusChange(1,127.0.0.1,1)", "OnInitRetrive(1,127.0.0.1,1,/f1)",
             "OnNewDataBlockSent(1,127.0.0.1,1,1)", "OnSessionStatusChange(1,127.0.0.1,0)",
             "OnTransferTerminate(1,0)"});
        row("REST: beyond the end, and a store that keeps the head",
            {"I",
             ">REST 513",
             "<350 Restarting at 513. Send STORE or RETRIEVE.",
             ">RETR f512",
             "<554 Restart offset beyond the end of the file",
             ">REST 3",
             "<350 Restarting at 3. Send STORE or RETRIEVE.",
             ">STOR g",
             kStoring,
             "Wxyz",
             kFileDone,
             "fg=abcxyz",
             ">REST 9",
             "<350 Restarting at 9. Send STORE or RETRIEVE.",
             ">STOR g",
             "<553 No such file or directory",
             ">STOR g",
             kStoring,
             "Wnew",
             kFileDone,
             "fg=new"});
        row("a passive connection from another address is closed; the client's is taken",
            {"I", "P", "d", ">RETR f1", kRetrieving, "D", "R1", kFileDone, "Z"});
        row("nobody connects: the time-out, and the port goes",
            {"I", "E", ">RETR f1", kRetrieving, kCannotOpen, "Z"}, {kGreeted}, 50);
        row("nobody connects: ABOR", {"I", "P", ">LIST", kListing, ">ABOR", kAborted, "Z"},
            {kGreeted, "OnTransferTerminate(1,0)"});
        row("QUIT closes the passive port", {"I", "P", ">QUIT", "<221 Goodbye.", "C", "Z"});
        row("PORT after PASV: active again", {"I", "P", "O", "Z"});
        row("EPRT: the port only, to the control peer",
            {"I", "e", ">RETR f1", kRetrieving, "R1", kFileDone, ">EPRT |3|x|1|",
             "<522 Network protocol not supported, use (1,2)", ">EPRT |1|::1|5|", kBadArgument,
             ">EPRT 127,0,0,1,4,1", kBadArgument, ">EPSV 2",
             "<522 Network protocol not supported, use (1)"});
        row("EPSV ALL: then EPSV only",
            {"I", ">EPSV ALL", "<200 EPSV ALL ok.", ">PASV", kOnlyEpsv, ">PORT 1,2,3,4,5,6",
             kOnlyEpsv, ">EPRT |1|127.0.0.1|5|", kOnlyEpsv, "E", "D", ">NLST sub", kListing, "L",
             "<226 Transfer complete."});
        row("passive range: a taken port, then a free one", {"I", "T", "N"});
    }
    void extendedDialogue()
    {
        QFETCH(Steps, steps);
        QFETCH(QStringList, events);
        QFETCH(int, dataTimeoutMs);
        SFtpOptions options = TestOptions(dataTimeoutMs);
        options.extended = true;
        RunDialogue(steps, events, options);
    }
    // An IPv6 client: EPSV and EPRT name no address, PASV cannot.
    void extendedOverIpv6()
    {
        SFtpOptions options = TestOptions();
        options.extended = true;
        CFtpTestServer server(options, QHostAddress::LocalHostIPv6);
        if (server.Port() == 0)
            QSKIP("no IPv6 loopback here");
        TestFiles::Write(server.Path("f"), "six");
        CFtpTestClient client(server.Port(), QHostAddress::LocalHostIPv6,
                              QHostAddress::LocalHostIPv6);
        QVERIFY(client.LogIn());
        QCOMPARE(client.Command("PASV"), "425 PASV names IPv4 addresses only; use EPSV");
        QCOMPARE(client.Command("EPSV 1"), "522 Network protocol not supported, use (2)");
        QVERIFY(client.AskPassive("EPSV 2"));
        QVERIFY(client.ConnectPassive()->state() == QAbstractSocket::ConnectedState);
        QCOMPARE(client.Command("RETR f"), kRetrieving.mid(1));
        QCOMPARE(client.ReceiveData(), "six");
        QCOMPARE(client.Line(), kFileDone.mid(1));
        QCOMPARE(client.Command("EPRT |2|::1|" + QByteArray::number(client.DataListenPort()) + '|'),
                 "200 EPRT command successful");
        QCOMPARE(client.Command("RETR f"), kRetrieving.mid(1));
        QCOMPARE(client.ReceiveData(), "six");
        QCOMPARE(client.Line(), kFileDone.mid(1));
        QCOMPARE(server.events.first(), QStringLiteral("OnNewFtpSession(1,::1,0,1)"));
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
    static void RunDialogue(const Steps& steps, const QStringList& events, SFtpOptions options)
    {
        QTcpServer probe; // a port that is free: the server's own data port
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        const quint16 ownPort = probe.serverPort();
        probe.close();
        options.localDataPort = steps.contains("O") ? ownPort : 0;
        QTcpServer taken; // "T": the whole passive range is this port, taken
        QVERIFY(taken.listen(QHostAddress::LocalHost, 0));
        options.firstPassivePort = options.lastPassivePort =
            steps.contains("T") ? taken.serverPort() : 0;
        CFtpTestServer server(options);
        for (const qsizetype size : {qsizetype(0), qsizetype(1), qsizetype(512), kLarge})
            TestFiles::Write(server.Path(QStringLiteral("f%1").arg(size)),
                             TestFiles::Pattern(size));
        QFile f1(server.Path("f1"));
        QVERIFY(f1.open(QIODevice::ReadOnly)
                && f1.setFileTime(QDateTime(QDate(2020, 1, 2), QTime(3, 4, 5), Qt::UTC),
                                  QFileDevice::FileModificationTime));
        TestFiles::Write(server.Path("g"), "abcdef");
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
            case 'R': {
                const QByteArrayList sizes = rest.split('@');
                QCOMPARE(
                    client.ReceiveData(),
                    TestFiles::Pattern(sizes.at(0).toLongLong()).mid(sizes.value(1).toLongLong()));
                break;
            }
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
            case 'P': QVERIFY(client.AskPassive("PASV")); break;
            case 'E': QVERIFY(client.AskPassive("EPSV")); break;
            case 'D':
                QCOMPARE(client.ConnectPassive()->state(), QAbstractSocket::ConnectedState);
                break;
            case 'd': {
                QTcpSocket* other = client.ConnectPassive(QHostAddress("127.0.0.2"));
                QVERIFY(WaitUntil(
                    [other] { return other->state() == QAbstractSocket::UnconnectedState; }));
                QCOMPARE(other->readAll(), QByteArray());
                break;
            }
            case 'Z': QVERIFY(WaitUntil([&client] { return !Listens(client.passivePort); })); break;
            case 'e':
                QCOMPARE(client.Command("EPRT |1|127.0.0.1|"
                                        + QByteArray::number(client.DataListenPort()) + '|'),
                         "200 EPRT command successful");
                break;
            case 'W': client.SendData(rest); break;
            case 'f': {
                const QByteArrayList file = rest.split('=');
                QCOMPARE(TestFiles::Read(server.Path(file.at(0))), file.at(1));
                break;
            }
            case 'T':
                QCOMPARE(client.Command("PASV"), "425 Cannot open a passive data port");
                break;
            case 'N': {
                QTcpServer free;
                QVERIFY(free.listen(QHostAddress::LocalHost, 0));
                const quint16 port = free.serverPort();
                free.close();
                options.firstPassivePort = options.lastPassivePort = port;
                CFtpTestServer ranged(options);
                CFtpTestClient other(ranged.Port());
                QVERIFY(other.LogIn() && other.AskPassive("EPSV"));
                QCOMPARE(other.passivePort, port);
                break;
            }
            default: QFAIL(step.constData());
            }
        }
        WAIT_COMPARE(server.sessions->TransferCount(), 0);
        if (!events.isEmpty())
            WAIT_COMPARE(server.events, events);
    }
    // Whether something listens on the loopback port.
    static bool Listens(quint16 port)
    {
        QTcpSocket probe;
        probe.connectToHost(QHostAddress::LocalHost, port);
        return probe.waitForConnected(kWaitMs);
    }
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
