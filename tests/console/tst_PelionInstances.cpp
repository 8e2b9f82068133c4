// Real pelion processes, offscreen, sharing one home: a second instance is
// refused with its message, a lock left by an instance that died does not
// block the next start, and SIGTERM ends an instance cleanly.

#include "tests/console/PelionProcessKit.h"

#include <QtTest>

class tst_PelionInstances final : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(m_home.IsValid()); }

    void cleanup()
    {
        // A check that failed halfway leaves no process behind.
        EndProcess(m_first);
        EndProcess(m_second);
        QFile::remove(m_home.LockPath());
    }

    void secondInstanceIsRefused()
    {
        m_home.WriteBook(3);
        StartPelion(m_first, m_home.Environment(QStringLiteral("first")));
        QVERIFY(m_first.waitForStarted());
        QTRY_COMPARE_WITH_TIMEOUT(m_home.LockHolder(), m_first.processId(), 30000);

        StartPelion(m_second, m_home.Environment(QStringLiteral("second")));
        QVERIFY(m_second.waitForFinished(60000));
        QCOMPARE(m_second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(m_second.exitCode(), 1);
        const QList<SMessage> refused = m_home.Messages(QStringLiteral("second"));
        QCOMPARE(refused.size(), 1);
        QCOMPARE(refused.first().text,
                 QStringLiteral("Impossible to run Pelion\r\n(Application already running)"));
        QCOMPARE(refused.first().title, QStringLiteral("Pelion"));
        QCOMPARE(refused.first().icon, EMessageIcon::Critical);
        QCOMPARE(refused.first().buttons, EMessageButtons::Ok);

        // The first instance runs on, untroubled, and ends cleanly when asked.
        QCOMPARE(m_first.state(), QProcess::Running);
        QCOMPARE(m_home.LockHolder(), m_first.processId());
        QVERIFY(EndProcess(m_first));
        QCOMPARE(m_first.exitStatus(), QProcess::NormalExit);
        QCOMPARE(m_first.exitCode(), 0);
        QVERIFY(m_home.Messages(QStringLiteral("first")).isEmpty());
        QVERIFY(!QFile::exists(m_home.LockPath()));
    }

    void lockOfAnInstanceThatDiedDoesNotBlock()
    {
        StartPelion(m_first, m_home.Environment(QStringLiteral("crashed")));
        QVERIFY(m_first.waitForStarted());
        QTRY_COMPARE_WITH_TIMEOUT(m_home.LockHolder(), m_first.processId(), 30000);
        m_first.kill();
        QVERIFY(m_first.waitForFinished(30000));
        // The dead instance's lock is still there.
        QVERIFY(QFile::exists(m_home.LockPath()));

        StartPelion(m_second, m_home.Environment(QStringLiteral("next")));
        QVERIFY(m_second.waitForStarted());
        QTRY_COMPARE_WITH_TIMEOUT(m_home.LockHolder(), m_second.processId(), 30000);
        QCOMPARE(m_second.state(), QProcess::Running);
        QVERIFY(EndProcess(m_second));
        QCOMPARE(m_second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(m_second.exitCode(), 0);
        QVERIFY(m_home.Messages(QStringLiteral("next")).isEmpty());
    }

private:
    CPelionHome m_home;
    QProcess m_first;
    QProcess m_second;
};

QTEST_GUILESS_MAIN(tst_PelionInstances)
#include "tst_PelionInstances.moc"
