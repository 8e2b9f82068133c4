#include "fileserver/ftp/cFtpSession.h"
#include "tests/fileserver/ftp/FtpTestPeer.h"

#include <QPointer>
#include <QtTest>

#include <limits>

class tst_cFtpSessions final : public QObject {
    Q_OBJECT

private slots:
    void sessionsComeAndGoInOrder()
    {
        CFtpTestServer server;
        QSignalSpy opened(&server.sessions, &cFtpSessions::OnNewFtpSession);
        QSignalSpy closed(&server.sessions, &cFtpSessions::OnCloseFtpSession);

        CFtpTestClient first(server.Port());
        QVERIFY(first.LogIn());
        CFtpTestClient second(server.Port());
        QVERIFY(second.LogIn());
        QCOMPARE(opened.count(), 2);
        QCOMPARE(opened.at(0), (QList<QVariant>{QStringLiteral("1"), 1}));
        QCOMPARE(opened.at(1), (QList<QVariant>{QStringLiteral("2"), 2}));
        QCOMPARE(server.sessions.Count(), 2);
        QCOMPARE(server.sessions.Sessions().at(0)->SessionID(), QStringLiteral("1"));
        QCOMPARE(server.sessions.Sessions().at(1)->SessionID(), QStringLiteral("2"));

        QCOMPARE(first.Command("QUIT"), QByteArray("221 Goodbye."));
        QTRY_COMPARE(closed.count(), 1);
        QCOMPARE(closed.at(0),
                 (QList<QVariant>{QStringLiteral("1"), QStringLiteral("127.0.0.1"), 1}));
        QCOMPARE(server.sessions.Item(QStringLiteral("1")), nullptr);
        QVERIFY(server.sessions.Item(QStringLiteral("2")));
        // The other session goes on.
        QCOMPARE(second.Command("PWD"), QByteArray("257 \"/\""));

        // Identifiers are not reused.
        CFtpTestClient third(server.Port());
        QVERIFY(third.LogIn());
        QCOMPARE(opened.at(2), (QList<QVariant>{QStringLiteral("3"), 2}));
    }

    void clientClosingEndsTheSession()
    {
        CFtpTestServer server;
        QSignalSpy closed(&server.sessions, &cFtpSessions::OnCloseFtpSession);
        QPointer<cFtpSession> session;
        {
            CFtpTestClient client(server.Port());
            QVERIFY(client.LogIn());
            session = server.sessions.Item(QStringLiteral("1"));
            QVERIFY(session);
        }
        QTRY_COMPARE(closed.count(), 1);
        QCOMPARE(closed.at(0),
                 (QList<QVariant>{QStringLiteral("1"), QStringLiteral("127.0.0.1"), 0}));
        QCOMPARE(server.sessions.Count(), 0);
        // Nothing of the session outlives its connection.
        QTRY_VERIFY(session.isNull());
    }

    void controlErrorRemovesTheSessionSilently()
    {
        CFtpTestServer server;
        QSignalSpy opened(&server.sessions, &cFtpSessions::OnNewFtpSession);
        QSignalSpy closed(&server.sessions, &cFtpSessions::OnCloseFtpSession);
        // A handle that is no connection fails at once.
        QPointer<cFtpSession> session = server.sessions.Add(-1);
        QVERIFY(session);
        QCOMPARE(server.sessions.Count(), 1);
        QTRY_COMPARE(server.sessions.Count(), 0);
        QTRY_VERIFY(session.isNull());
        QCOMPARE(opened.count(), 0);
        QCOMPARE(closed.count(), 0);
    }

    void activeTransferCountCountsSendingAndStoring()
    {
        CFtpTestServer server;
        server.Write(QStringLiteral("big"), Pattern(8 * 1024 * 1024));
        CFtpTestClient sending(server.Port());
        CFtpTestClient storing(server.Port());
        CFtpTestClient idle(server.Port());
        QVERIFY(sending.LogIn() && storing.LogIn() && idle.LogIn());
        QVERIFY(sending.Port() && storing.Port());
        QCOMPARE(server.sessions.ActiveTransferCount(), 0);

        QVERIFY(sending.Command("RETR big").startsWith("150 "));
        QVERIFY(sending.AcceptData());
        QTRY_COMPARE(server.sessions.ActiveTransferCount(), 1);
        QVERIFY(storing.Command("STOR up").startsWith("150 "));
        QVERIFY(storing.AcceptData());
        QTRY_COMPARE(server.sessions.ActiveTransferCount(), 2);
        QCOMPARE(server.sessions.Item(QStringLiteral("1"))->SessionStatus(),
                 cFtpSession::kStatusSending);
        QCOMPARE(server.sessions.Item(QStringLiteral("2"))->SessionStatus(),
                 cFtpSession::kStatusStoring);
        QCOMPARE(server.sessions.Item(QStringLiteral("3"))->SessionStatus(),
                 cFtpSession::kStatusWaiting);

        QVERIFY(storing.SendData("x"));
        QTRY_COMPARE(server.sessions.ActiveTransferCount(), 1);
        QCOMPARE(sending.Command("ABOR"), QByteArray("226 Closing data connection"));
        QTRY_COMPARE(server.sessions.ActiveTransferCount(), 0);
    }

    void itemAndRemoveIgnoreUnknownKeys()
    {
        CFtpTestServer server;
        QCOMPARE(server.sessions.Item(QStringLiteral("1")), nullptr);
        server.sessions.Remove(QStringLiteral("1"));
        CFtpTestClient client(server.Port());
        QVERIFY(client.LogIn());
        QCOMPARE(server.sessions.Item(QStringLiteral("x")), nullptr);
        server.sessions.Remove(QStringLiteral("x"));
        QCOMPARE(server.sessions.Count(), 1);
    }

    void followingSessionId_data()
    {
        QTest::addColumn<qint32>("last");
        QTest::addColumn<qint32>("next");
        QTest::newRow("first") << 0 << 1;
        QTest::newRow("counting") << 41 << 42;
        QTest::newRow("wraps to 1 after the largest value")
            << std::numeric_limits<qint32>::max() << 1;
    }
    void followingSessionId()
    {
        QFETCH(qint32, last);
        QFETCH(qint32, next);
        QCOMPARE(cFtpSessions::FollowingSessionId(last), next);
    }

    void countersArePerCollection()
    {
        CFtpTestServer one;
        CFtpTestServer two;
        CFtpTestClient a(one.Port());
        QVERIFY(a.LogIn());
        CFtpTestClient b(two.Port());
        QVERIFY(b.LogIn());
        QVERIFY(one.sessions.Item(QStringLiteral("1")));
        QVERIFY(two.sessions.Item(QStringLiteral("1")));
    }
};

QTEST_GUILESS_MAIN(tst_cFtpSessions)
#include "tst_cFtpSessions.moc"
