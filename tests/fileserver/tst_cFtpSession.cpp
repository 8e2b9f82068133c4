#include "FtpTestPeer.h"
#include "cFtpSession.h"

#include <QtTest>

// The control dialogue, byte for byte, over real loopback sockets.
class tst_cFtpSession final : public QObject {
    Q_OBJECT

  private:
    // The folder every dialogue runs in:
    //   sub/  sub/inner.txt  empty (0 bytes)  data.txt  .hidden
    //   outlink -> a folder outside, holding "secret"
    void Populate(CFtpTestServer& server) {
        server.Write(QStringLiteral("sub/inner.txt"), "inner");
        server.Write(QStringLiteral("empty"), "");
        server.Write(QStringLiteral("data.txt"), "data");
        server.Write(QStringLiteral(".hidden"), "hidden");
        QFile secret(m_outside.filePath(QStringLiteral("secret")));
        QVERIFY(secret.open(QIODevice::WriteOnly));
        secret.write("secret");
        QVERIFY(QFile::link(m_outside.path(), server.Path(QStringLiteral("outlink"))));
    }

    QTemporaryDir m_outside;

  private slots:
    void greeting() {
        CFtpTestServer server;
        CFtpTestClient client(server.Port());
        QCOMPARE(client.Line(), QByteArray("220 Welcome to the brennor Test Server 1.0"));
    }

    // Commands and the one reply each gets, in order.
    void dialogue_data() {
        QTest::addColumn<bool>("logIn");
        QTest::addColumn<QList<QByteArray>>("commands");
        QTest::addColumn<QList<QByteArray>>("replies");
        const QByteArray notLogged = "530 User not logged";
        const QByteArray notImplemented = "502 Command not implemented ";
        const QByteArray noSuchDir = "553 No such directory";
        const QByteArray cwdOk = "250 CWD command successful.";
        const QByteArray notFound = "550 File not found or open error";
        const QByteArray cannotStore = "553 No such file or directory";

        QTest::newRow("commands before login")
            << false
            << QList<QByteArray>{"PWD", "CWD sub", "RETR data.txt", "ABOR", "NOOP", "user x"}
            << QList<QByteArray>{notLogged, notLogged, notLogged, notLogged, notLogged, notLogged};
        QTest::newRow("USER does not log in")
            << false << QList<QByteArray>{"USER bob", "PWD", "USER", "PASS"}
            << QList<QByteArray>{"331 Password required for bob", notLogged,
                                 "331 Password required for ", "230 User logged in"};
        QTest::newRow("any password, no USER needed")
            << false << QList<QByteArray>{"PASS anything at all", "PWD"}
            << QList<QByteArray>{"230 User logged in", "257 \"/\""};
        QTest::newRow("unimplemented after login")
            << true << QList<QByteArray>{"user x",        "NOOP",
                                         "PASV",          "EPSV",
                                         "FEAT",          "AUTH TLS",
                                         "SIZE data.txt", "EPRT |1|127.0.0.1|2000|",
                                         "MKD x",         "DELE data.txt",
                                         "type i"}
            << QList<QByteArray>(11, notImplemented);
        QTest::newRow("TYPE") << true
                              << QList<QByteArray>{"TYPE I", "TYPE A", "TYPE E", "TYPE A N",
                                                   "TYPE "}
                              << QList<QByteArray>{"200 Type set to I", "200 Type set to A",
                                                   notImplemented, notImplemented, notImplemented};
        QTest::newRow("PORT") << true << QList<QByteArray>{"PORT 127,9,9,9,4,1", "PORT"}
                              << QList<QByteArray>{"200 Port command successful",
                                                   "200 Port command successful"};
        QTest::newRow("CWD and PWD")
            << true << QList<QByteArray>{"PWD", "CWD sub",     "PWD", "CWD",     "PWD", "CWD ..",
                                         "PWD", "CWD \\sub\\", "PWD", "CWD C:/", "PWD"}
            << QList<QByteArray>{"257 \"/\"", cwdOk, "257 \"/sub/\"", cwdOk, "257 \"/sub/\"", cwdOk,
                                 "257 \"/\"", cwdOk, "257 \"/sub/\"", cwdOk, "257 \"/\""};
        QTest::newRow("CWD sub twice: the second names nothing")
            << true << QList<QByteArray>{"CWD sub", "CWD sub", "PWD"}
            << QList<QByteArray>{cwdOk, noSuchDir, "257 \"/sub/\""};
        QTest::newRow("CWD escapes stay inside")
            << true << QList<QByteArray>{"CWD ..",      "PWD",          "CWD ../../..",
                                         "PWD",         "CWD /etc",     "CWD C:\\Windows",
                                         "CWD outlink", "CWD data.txt", "CWD none",
                                         "PWD"}
            << QList<QByteArray>{cwdOk,     "257 \"/\"", cwdOk,     "257 \"/\"", noSuchDir,
                                 noSuchDir, noSuchDir,   noSuchDir, noSuchDir,   "257 \"/\""};
        QTest::newRow("CWD malformed names")
            << true << QList<QByteArray>{QByteArray("CWD a\0b", 7), "CWD " + QByteArray(300, 'n')}
            << QList<QByteArray>{noSuchDir, noSuchDir};
        QTest::newRow("RETR refusals")
            << true << QList<QByteArray>{"RETR none",           "RETR empty",
                                         "RETR .hidden",        "RETR sub",
                                         "RETR outlink/secret", "RETR ../../etc/passwd",
                                         "RETR /etc/passwd",    "RETR",
                                         "retr data.txt"}
            << QList<QByteArray>{notFound, notFound, notFound, notFound,      notFound,
                                 notFound, notFound, notFound, notImplemented};
        QTest::newRow("STOR refusals")
            << true << QList<QByteArray>{"STOR sub", "STOR outlink/new", "STOR none/new", "STOR"}
            << QList<QByteArray>{cannotStore, cannotStore, cannotStore, cannotStore};
        QTest::newRow("LIST of nothing gets one reply")
            << true << QList<QByteArray>{"LIST none", "NLST outlink", "LIST ../../etc", "PWD"}
            << QList<QByteArray>{noSuchDir, noSuchDir, noSuchDir, "257 \"/\""};
        QTest::newRow("QUIT") << true << QList<QByteArray>{"QUIT"}
                              << QList<QByteArray>{"221 Goodbye."};
        QTest::newRow("ABOR without a transfer")
            << true << QList<QByteArray>{"ABOR"}
            << QList<QByteArray>{"221 You could at least say goodbye."};
        QTest::newRow("empty lines get no reply")
            << true << QList<QByteArray>{"", "PWD"} << QList<QByteArray>{"257 \"/\""};
        QTest::newRow("too long line")
            << true << QList<QByteArray>{"CWD " + QByteArray(5000, 'x'), "PWD"}
            << QList<QByteArray>{"500 Command line too long", "257 \"/\""};
    }
    void dialogue() {
        QFETCH(bool, logIn);
        QFETCH(QList<QByteArray>, commands);
        QFETCH(QList<QByteArray>, replies);
        CFtpTestServer server;
        Populate(server);
        CFtpTestClient client(server.Port());
        if (logIn)
            QVERIFY(client.LogIn());
        else
            QVERIFY(client.Line().startsWith("220 "));
        // No data connection is taken: a listing's data connection is refused.
        client.RefuseData();
        client.Port();
        QList<QByteArray> got;
        for (const QByteArray& command : commands) {
            client.Send(command + "\r\n");
            if (!command.isEmpty())
                got << client.Line();
        }
        QCOMPARE(got, replies);
    }

    void pipelinedCommandsAreAnsweredInOrder() {
        CFtpTestServer server;
        Populate(server);
        CFtpTestClient client(server.Port());
        QVERIFY(client.Line().startsWith("220 "));
        client.Send("USER a\r\nPASS b\r\nCWD sub\r\nPWD\nTYPE I\r\n");
        QList<QByteArray> got;
        for (int i = 0; i < 5; ++i)
            got << client.Line();
        QCOMPARE(got, (QList<QByteArray>{"331 Password required for a", "230 User logged in",
                                         "250 CWD command successful.", "257 \"/sub/\"",
                                         "200 Type set to I"}));
    }

    void commandSplitOverArrivalsIsOneCommand() {
        CFtpTestServer server;
        Populate(server);
        CFtpTestClient client(server.Port());
        QVERIFY(client.LogIn());
        const QList<QByteArray> pieces{"CW", "D s", "ub\r", "\nPWD\r\n"};
        for (const QByteArray& piece : pieces) {
            client.Send(piece);
            // On loopback the bytes are in the server's queue once written:
            // letting events run once makes each piece its own arrival.
            QVERIFY(client.Control().flush() || client.Control().bytesToWrite() == 0);
            QCoreApplication::processEvents();
            QCoreApplication::processEvents();
        }
        QCOMPARE(client.Line(), QByteArray("250 CWD command successful."));
        QCOMPARE(client.Line(), QByteArray("257 \"/sub/\""));
    }

    void telnetInterruptBeforeAborIsAnAbort() {
        CFtpTestServer server;
        CFtpTestClient client(server.Port());
        QVERIFY(client.LogIn());
        QSignalSpy closed(&server.sessions, &cFtpSessions::OnCloseFtpSession);
        client.Send("\xFF\xF4\xFF"
                    "ABOR\r\n");
        QCOMPARE(client.Line(), QByteArray("221 You could at least say goodbye."));
        QVERIFY(client.WaitClosed());
        QTRY_COMPARE(closed.count(), 1);
    }

    void quitClosesAndIgnoresWhatFollows() {
        CFtpTestServer server;
        CFtpTestClient client(server.Port());
        QVERIFY(client.LogIn());
        client.Send("QUIT\r\nPWD\r\n");
        QCOMPARE(client.Line(), QByteArray("221 Goodbye."));
        QVERIFY(client.WaitClosed());
        QCOMPARE(client.Line(100), kTimedOut);
    }

    void portSetsDataPortOnly() {
        CFtpTestServer server;
        CFtpTestClient client(server.Port());
        QVERIFY(client.LogIn());
        cFtpSession* session = server.sessions.Item(QStringLiteral("1"));
        QVERIFY(session);
        QCOMPARE(session->DataPort(), qint64(20));
        QCOMPARE(client.Command("PORT 10,0,0,5,4,1"), QByteArray("200 Port command successful"));
        QCOMPARE(session->DataPort(), qint64(1025));
        QCOMPARE(session->RemoteHost(), QStringLiteral("127.0.0.1"));
        QCOMPARE(session->UserName(), QStringLiteral("test"));
        QCOMPARE(client.Command("TYPE A"), QByteArray("200 Type set to A"));
        QCOMPARE(session->TransferType(), 2);
    }
};

QTEST_GUILESS_MAIN(tst_cFtpSession)
#include "tst_cFtpSession.moc"
