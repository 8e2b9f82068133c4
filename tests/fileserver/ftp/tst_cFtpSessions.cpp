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
        QCOMPARE(cFtpSessions::FollowingSessionId(41), 42);
        QCOMPARE(cFtpSessions::FollowingSessionId(std::numeric_limits<qint32>::max()), 1);
    }
    void controlErrorRemovesTheSessionSilently()
    {
        CFtpTestServer server;
        QPointer<cFtpSession> session = server.sessions->Add(-1);
        QCOMPARE(server.sessions->Count(), 1);
        WAIT_COMPARE(server.sessions->Count(), 0);
        QVERIFY(WaitUntil([&session] { return session.isNull(); }));
        QCOMPARE(server.events, QStringList());
    }
};

QTEST_GUILESS_MAIN(tst_cFtpSessions)
#include "tst_cFtpSessions.moc"
