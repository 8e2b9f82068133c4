#include "fileserver/ftp/cFtpSession.h"
#include "tests/fileserver/ftp/FtpTestPeer.h"

#include <QtTest>

#include <utility>

// What is sent and the reply line expected next; an empty send only reads.
using Exchanges = QList<std::pair<QByteArray, QByteArray>>;

// The control dialogue, byte for byte, over real loopback sockets. Paths that
// try to leave the served folder get one row per command here; the full
// table of such paths is CServedFolder's.
class tst_cFtpSession final : public QObject {
    Q_OBJECT

private slots:
    void dialogue_data()
    {
        QTest::addColumn<Exchanges>("exchanges");
        QTest::addColumn<bool>("closes"); // the server ends the session after the last reply
        const QByteArray loggedIn = "230 User logged in";
        const QByteArray notLogged = "530 User not logged";
        const QByteArray notImplemented = "502 Command not implemented ";
        const QByteArray cwdOk = "250 CWD command successful.";
        const QByteArray noSuchDir = "553 No such directory";
        const QByteArray notFound = "550 File not found or open error";
        const QByteArray cannotStore = "553 No such file or directory";
        const QByteArray atRoot = "257 \"/\"";

        QTest::newRow("login: only USER, PASS and QUIT before it; any password")
            << Exchanges{{"PWD", notLogged},
                         {"NOOP", notLogged},
                         {"user x", notLogged},
                         {"USER bob", "331 Password required for bob"},
                         {"USER \xe9\x80", "331 Password required for \xe9\x80"},
                         {"RETR data.txt", notLogged},
                         {"PASS", loggedIn},
                         {"PWD", atRoot}}
            << false;
        QTest::newRow("unimplemented, lower case and TYPE")
            << Exchanges{{"PASS x", loggedIn},
                         {"user x", notImplemented},
                         {"NOOP", notImplemented},
                         {"PASV", notImplemented},
                         {"TYPE E", notImplemented},
                         {"type i", notImplemented},
                         {"TYPE I", "200 Type set to I"},
                         {"TYPE A", "200 Type set to A"},
                         {"PORT", "200 Port command successful"}}
            << false;
        QTest::newRow("CWD and PWD") << Exchanges{{"PASS x", loggedIn},
                                                  {"CWD sub", cwdOk},
                                                  {"PWD", "257 \"/sub/\""},
                                                  {"CWD", cwdOk},
                                                  {"CWD sub", noSuchDir},
                                                  {"CWD ..", cwdOk},
                                                  {"CWD \\sub\\", cwdOk},
                                                  {"CWD C:/", cwdOk},
                                                  {"PWD", atRoot},
                                                  {"CWD data.txt", noSuchDir},
                                                  {QByteArray("CWD a\0b", 7), noSuchDir}}
                                     << false;
        QTest::newRow("nothing outside the served folder")
            << Exchanges{{"PASS x", loggedIn},
                         {"CWD ../..", cwdOk},
                         {"PWD", atRoot},
                         {"CWD outlink", noSuchDir},
                         {"RETR outlink/secret", notFound},
                         {"STOR outlink/new", cannotStore},
                         {"LIST outlink", noSuchDir}}
            << false;
        QTest::newRow("RETR and STOR refusals")
            << Exchanges{{"PASS x", loggedIn},      {"RETR none", notFound},
                         {"RETR empty", notFound},  {"RETR .hidden", notFound},
                         {"RETR sub", notFound},    {"RETR", notFound},
                         {"STOR sub", cannotStore}, {"STOR none/new", cannotStore}}
            << false;
        QTest::newRow("pipelined lines, an empty one, a line too long")
            << Exchanges{{"USER a\r\n\r\nPASS b", "331 Password required for a"},
                         {"", loggedIn},
                         {"CWD " + QByteArray(5000, 'x'), "500 Command line too long"},
                         {"PWD", atRoot}}
            << false;
        QTest::newRow("QUIT ends it; what follows is not answered")
            << Exchanges{{"QUIT\r\nPWD", "221 Goodbye."}} << true;
        QTest::newRow("ABOR before any transfer, after a Telnet interrupt")
            << Exchanges{{"PASS x", loggedIn},
                         {"\xFF\xF4\xFF"
                          "ABOR",
                          "221 You could at least say goodbye."}}
            << true;
    }
    void dialogue()
    {
        QFETCH(Exchanges, exchanges);
        QFETCH(bool, closes);
        CFtpTestServer server;
        QTemporaryDir outside;
        WriteFile(server.Path("sub/inner.txt"), "inner");
        WriteFile(server.Path("empty"), "");
        WriteFile(server.Path("data.txt"), "data");
        WriteFile(server.Path(".hidden"), "hidden");
        WriteFile(outside.filePath("secret"), "secret");
        QVERIFY(QFile::link(outside.path(), server.Path("outlink")));

        CFtpTestClient client(server.Port());
        QCOMPARE(client.Line(), QByteArray("220 Welcome to the brennor Test Server 1.0"));
        for (const auto& [sent, reply] : exchanges) {
            if (!sent.isEmpty())
                client.Send(sent + "\r\n");
            QCOMPARE(client.Line(), reply);
        }
        if (closes) {
            QVERIFY(client.WaitClosed());
            QCOMPARE(client.Line(0), kTimedOut);
            WAIT_COMPARE(server.events.last(), QStringLiteral("OnCloseFtpSession(1,127.0.0.1,0)"));
        }
    }

    void idleClientIsTimedOut()
    {
        CFtpTestServer server(0, kFtpDataConnectTimeoutMs, 50);
        CFtpTestClient client(server.Port());
        QVERIFY(client.Line().startsWith("220 "));
        QCOMPARE(client.Line(), QByteArray("421 Timeout."));
        QVERIFY(client.WaitClosed());
        WAIT_COMPARE(server.events.last(), QStringLiteral("OnCloseFtpSession(1,127.0.0.1,0)"));
    }

    // A client that sends commands and never reads a reply: the session stops
    // reading once its replies pile up, and memory stays bounded.
    void clientThatNeverReadsStaysBounded()
    {
        CFtpTestServer server;
        QTcpSocket client;
        client.setReadBufferSize(1); // Qt takes nothing more from the system
        client.connectToHost(QHostAddress::LocalHost, server.Port());
        QVERIFY(WaitUntil([&server] { return server.sessions.Count() == 1; }));
        cFtpSession* session = server.sessions.Item("1");
        QVERIFY(WaitUntil([session] { return session->IsGreeted(); }));
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

private:
    static qint64 ResidentKiB()
    {
        QFile status(QStringLiteral("/proc/self/status"));
        if (!status.open(QIODevice::ReadOnly))
            return -1;
        for (const QByteArray& line : status.readAll().split('\n')) {
            if (line.startsWith("VmRSS:"))
                return line.mid(6).trimmed().split(' ').value(0).toLongLong();
        }
        return -1;
    }
};

QTEST_GUILESS_MAIN(tst_cFtpSession)
#include "tst_cFtpSession.moc"
