#include "platform/system/CTerminationWatcher.h"

#include <QSignalSpy>
#include <QtTest>

#include <csignal>

class tst_CTerminationWatcher final : public QObject {
    Q_OBJECT

private slots:
    void signalsBecomeEvents_data()
    {
        QTest::addColumn<int>("signalNumber");
        QTest::newRow("SIGTERM") << SIGTERM;
        QTest::newRow("SIGINT") << SIGINT;
    }
    void signalsBecomeEvents()
    {
        QFETCH(int, signalNumber);
        CTerminationWatcher watcher;
        QSignalSpy requested(&watcher, &CTerminationWatcher::TerminationRequested);
        std::raise(signalNumber); // the process survives: the watcher took the signal
        QTRY_COMPARE(requested.count(), 1);
        QCOMPARE(requested.at(0).at(0).toInt(), signalNumber);
    }
};

QTEST_GUILESS_MAIN(tst_CTerminationWatcher)
#include "tst_CTerminationWatcher.moc"
