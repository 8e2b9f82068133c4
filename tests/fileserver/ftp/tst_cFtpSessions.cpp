#include "fileserver/ftp/cFtpSession.h"
#include "tests/fileserver/ftp/FtpTestPeer.h"

#include <QPointer>
#include <QtTest>

#include <limits>

class tst_cFtpSessions final : public QObject {
    Q_OBJECT

private slots:
    void sessionsComeAndGo()
    {
        CFtpTestServer server;
        auto first = std::make_unique<CFtpTestClient>(server.Port());
        QVERIFY(first->LogIn());
        CFtpTestClient second(server.Port());
        QVERIFY(second.LogIn());
        QCOMPARE(server.sessions.Sessions().at(1)->SessionID(), QStringLiteral("2"));
        QPointer<cFtpSession> firstSession = server.sessions.Item("1");

        QCOMPARE(second.Command("QUIT"), QByteArray("221 Goodbye."));
        WAIT_COMPARE(server.sessions.Count(), 1);
        QCOMPARE(first->Command("PWD"), QByteArray("257 \"/\"")); // the other one goes on
        first.reset(); // the client's close ends its session
        WAIT_COMPARE(server.sessions.Count(), 0);
        QVERIFY(WaitUntil([&firstSession] { return firstSession.isNull(); }));

        // Identifiers are not reused, and each collection counts on its own.
        CFtpTestClient third(server.Port());
        CFtpTestServer other;
        CFtpTestClient fourth(other.Port());
        QVERIFY(third.LogIn() && fourth.LogIn());
        QCOMPARE(server.events,
                 (QStringList{"OnNewFtpSession(1,1)", "OnNewFtpSession(2,2)",
                              "OnCloseFtpSession(2,127.0.0.1,1)",
                              "OnCloseFtpSession(1,127.0.0.1,0)", "OnNewFtpSession(3,1)"}));
        QCOMPARE(other.events, QStringList{"OnNewFtpSession(1,1)"});
        QCOMPARE(server.sessions.Item("x"), nullptr);
        server.sessions.Remove("x"); // ignored
        QCOMPARE(server.sessions.Count(), 1);
    }

    void controlErrorRemovesTheSessionSilently()
    {
        CFtpTestServer server;
        // A handle that is no connection fails at once.
        QPointer<cFtpSession> session = server.sessions.Add(-1);
        QCOMPARE(server.sessions.Count(), 1);
        WAIT_COMPARE(server.sessions.Count(), 0);
        QVERIFY(WaitUntil([&session] { return session.isNull(); }));
        QCOMPARE(server.events, QStringList());
    }

    void activeTransferCountCountsSendingAndStoring()
    {
        CFtpTestServer server;
        WriteFile(server.Path("big"), Pattern(8 * 1024 * 1024));
        CFtpTestClient sending(server.Port());
        CFtpTestClient storing(server.Port());
        CFtpTestClient idle(server.Port());
        QVERIFY(sending.LogIn() && storing.LogIn() && idle.LogIn());
        QVERIFY(sending.Command("RETR big").startsWith("150 ") && sending.AcceptData());
        WAIT_COMPARE(server.sessions.ActiveTransferCount(), 1);
        QVERIFY(storing.Command("STOR up").startsWith("150 ") && storing.AcceptData());
        WAIT_COMPARE(server.sessions.ActiveTransferCount(), 2);
        QCOMPARE(server.sessions.Item("1")->SessionStatus(), essSending);
        QCOMPARE(server.sessions.Item("2")->SessionStatus(), essStoring);

        QVERIFY(storing.SendData("x"));
        WAIT_COMPARE(server.sessions.ActiveTransferCount(), 1);
        QCOMPARE(sending.Command("ABOR"), QByteArray("226 Closing data connection"));
        WAIT_COMPARE(server.sessions.ActiveTransferCount(), 0);
    }

    void followingSessionId_data()
    {
        QTest::addColumn<qint32>("last");
        QTest::addColumn<qint32>("next");
        QTest::newRow("counting") << 41 << 42;
        QTest::newRow("1 after the largest value") << std::numeric_limits<qint32>::max() << 1;
    }
    void followingSessionId()
    {
        QFETCH(qint32, last);
        QFETCH(qint32, next);
        QCOMPARE(cFtpSessions::FollowingSessionId(last), next);
    }
};

QTEST_GUILESS_MAIN(tst_cFtpSessions)
#include "tst_cFtpSessions.moc"
