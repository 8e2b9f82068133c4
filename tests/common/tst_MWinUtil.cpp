#include "common/MWinUtil.h"

#include <QElapsedTimer>
#include <QtTest>

class tst_MWinUtil final : public QObject {
    Q_OBJECT

private slots:
    void versionCodes_data()
    {
        QTest::addColumn<int>("major");
        QTest::addColumn<int>("minor");
        QTest::addColumn<int>("platform");
        QTest::addColumn<int>("code");
        QTest::newRow("NT 3.51") << 3 << 51 << kPlatformNT << 4;
        QTest::newRow("NT 4.0") << 4 << 0 << kPlatformNT << 5;
        QTest::newRow("95") << 4 << 0 << kPlatformWindows << 1;
        QTest::newRow("98") << 4 << 10 << kPlatformWindows << 2;
        QTest::newRow("Me") << 4 << 90 << kPlatformWindows << 3;
        QTest::newRow("2000") << 5 << 0 << kPlatformNT << 6;
        QTest::newRow("XP") << 5 << 1 << kPlatformNT << 7;
        QTest::newRow("Server 2003 is unknown") << 5 << 2 << kPlatformNT << 0;
        QTest::newRow("7") << 6 << 1 << kPlatformNT << 8;
        QTest::newRow("10") << 10 << 0 << kPlatformNT << 0;
    }
    void versionCodes()
    {
        QFETCH(int, major);
        QFETCH(int, minor);
        QFETCH(int, platform);
        QFETCH(int, code);
        QCOMPARE(int(GetWindowsVersion(major, minor, platform)), code);
    }

    void pauseZeroRunsEventsOnce()
    {
        bool ran = false;
        QTimer::singleShot(0, this, [&ran] { ran = true; });
        Pause(0, false);
        QVERIFY(ran);
    }

    void pauseWithoutEventsRunsNothing()
    {
        bool ran = false;
        QTimer::singleShot(0, this, [&ran] { ran = true; });
        Pause(20, true);
        QVERIFY(!ran);
        QTRY_VERIFY(ran);
    }

    void pauseIsNotCutShortByEvents()
    {
        QElapsedTimer clock;
        clock.start();
        QTimer::singleShot(1, this, [] {});
        Pause(60, false);
        QVERIFY(clock.elapsed() >= 59);
    }
};

QTEST_MAIN(tst_MWinUtil)
#include "tst_MWinUtil.moc"
