#include "fileserver/ftp/cFtpSession.h"
#include "tests/fileserver/ftp/FtpTestPeer.h"

#include <QtTest>

#include <utility>

// Command lines and the reply each gets.
using Exchanges = QList<std::pair<QByteArray, QByteArray>>;

// The control dialogue, byte for byte, over real loopback sockets.
class tst_cFtpSession final : public QObject {
    Q_OBJECT

private:
    // The folder every dialogue runs in:
    //   sub/  sub/inner.txt  empty (0 bytes)  data.txt  .hidden
    //   outlink -> a folder outside, holding "secret"
    void Populate(CFtpTestServer& server)
    {
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
    void greeting()
    {
        CFtpTestServer server;
        CFtpTestClient client(server.Port());
        QCOMPARE(client.Line(), QByteArray("220 Welcome to the brennor Test Server 1.0"));
    }

    // Commands and the one reply each gets, in order; an empty command gets none.
    void dialogue_data()
    {
        QTest::addColumn<bool>("logIn");
        QTest::addColumn<Exchanges>("exchanges");
        const QByteArray notLogged = "530 User not logged";
        const QByteArray notImplemented = "502 Command not implemented ";
        const QByteArray noSuchDir = "553 No such directory";
        const QByteArray cwdOk = "250 CWD command successful.";
        const QByteArray notFound = "550 File not found or open error";
        const QByteArray cannotStore = "553 No such file or directory";
        const QByteArray atRoot = "257 \"/\"";
        const QByteArray inSub = "257 \"/sub/\"";

        QTest::newRow("commands before login") << false
                                               << Exchanges{{"PWD", notLogged},
                                                            {"RETR data.txt", notLogged},
                                                            {"ABOR", notLogged},
                                                            {"NOOP", notLogged},
                                                            {"user x", notLogged}};
        QTest::newRow("USER does not log in")
            << false
            << Exchanges{{"USER bob", "331 Password required for bob"},
                         {"PWD", notLogged},
                         {"USER", "331 Password required for "},
                         {"PASS", "230 User logged in"}};
        QTest::newRow("any password, no USER needed")
            << false << Exchanges{{"PASS anything at all", "230 User logged in"}, {"PWD", atRoot}};
        QTest::newRow("unimplemented after login")
            << true
            << Exchanges{{"user x", notImplemented}, {"NOOP", notImplemented},
                         {"PASV", notImplemented},   {"EPSV", notImplemented},
                         {"FEAT", notImplemented},   {"AUTH TLS", notImplemented},
                         {"SIZE f", notImplemented}, {"EPRT |1|127.0.0.1|2000|", notImplemented},
                         {"CDUP", notImplemented},   {"type i", notImplemented}};
        QTest::newRow("TYPE") << true
                              << Exchanges{{"TYPE I", "200 Type set to I"},
                                           {"TYPE A", "200 Type set to A"},
                                           {"TYPE E", notImplemented},
                                           {"TYPE A N", notImplemented},
                                           {"TYPE ", notImplemented}};
        QTest::newRow("PORT") << true
                              << Exchanges{{"PORT 127,9,9,9,4,1", "200 Port command successful"},
                                           {"PORT", "200 Port command successful"}};
        QTest::newRow("CWD and PWD")
            << true << Exchanges{{"PWD", atRoot},    {"CWD sub", cwdOk},     {"PWD", inSub},
                                 {"CWD", cwdOk},     {"PWD", inSub},         {"CWD ..", cwdOk},
                                 {"PWD", atRoot},    {"CWD \\sub\\", cwdOk}, {"PWD", inSub},
                                 {"CWD C:/", cwdOk}, {"PWD", atRoot}};
        QTest::newRow("CWD sub twice: the second names nothing")
            << true << Exchanges{{"CWD sub", cwdOk}, {"CWD sub", noSuchDir}, {"PWD", inSub}};
        QTest::newRow("CWD escapes stay inside")
            << true << Exchanges{{"CWD ../..", cwdOk},        {"PWD", atRoot},
                                 {"CWD /etc", noSuchDir},     {"CWD outlink", noSuchDir},
                                 {"CWD data.txt", noSuchDir}, {"PWD", atRoot}};
        QTest::newRow("CWD malformed names")
            << true
            << Exchanges{{QByteArray("CWD a\0b", 7), noSuchDir},
                         {"CWD " + QByteArray(300, 'n'), noSuchDir}};
        QTest::newRow("RETR refusals")
            << true << Exchanges{{"RETR none", notFound},           {"RETR empty", notFound},
                                 {"RETR .hidden", notFound},        {"RETR sub", notFound},
                                 {"RETR outlink/secret", notFound}, {"RETR", notFound},
                                 {"retr data.txt", notImplemented}};
        QTest::newRow("STOR refusals") << true
                                       << Exchanges{{"STOR sub", cannotStore},
                                                    {"STOR outlink/new", cannotStore},
                                                    {"STOR none/new", cannotStore},
                                                    {"STOR", cannotStore}};
        QTest::newRow("LIST of nothing gets one reply") << true
                                                        << Exchanges{{"LIST none", noSuchDir},
                                                                     {"NLST outlink", noSuchDir},
                                                                     {"LIST ../../etc", noSuchDir},
                                                                     {"PWD", atRoot}};
        QTest::newRow("QUIT") << true << Exchanges{{"QUIT", "221 Goodbye."}};
        QTest::newRow("ABOR without a transfer")
            << true << Exchanges{{"ABOR", "221 You could at least say goodbye."}};
        QTest::newRow("empty lines get no reply") << true << Exchanges{{"", ""}, {"PWD", atRoot}};
        QTest::newRow("too long line")
            << true
            << Exchanges{{"CWD " + QByteArray(5000, 'x'), "500 Command line too long"},
                         {"PWD", atRoot}};
    }
    void dialogue()
    {
        QFETCH(bool, logIn);
        QFETCH(Exchanges, exchanges);
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
        for (const auto& [command, reply] : exchanges) {
            client.Send(command + "\r\n");
            if (!command.isEmpty())
                QCOMPARE(client.Line(), reply);
        }
    }

    void pipelinedCommandsAreAnsweredInOrder()
    {
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

    void commandSplitOverArrivalsIsOneCommand()
    {
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

    void telnetInterruptBeforeAborIsAnAbort()
    {
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

    void quitClosesAndIgnoresWhatFollows()
    {
        CFtpTestServer server;
        CFtpTestClient client(server.Port());
        QVERIFY(client.LogIn());
        client.Send("QUIT\r\nPWD\r\n");
        QCOMPARE(client.Line(), QByteArray("221 Goodbye."));
        QVERIFY(client.WaitClosed());
        QCOMPARE(client.Line(100), kTimedOut);
    }

    void portSetsDataPortOnly()
    {
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
