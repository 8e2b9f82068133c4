#include "platform/system/CTerminationWatcher.h"

#include <QSignalSpy>
#include <QtTest>

#include <csignal>

// SIGTERM is the interop host's, which must end cleanly on it.
class tst_CTerminationWatcher final : public QObject {
    Q_OBJECT

private slots:
    void signalBecomesAnEvent()
    {
        CTerminationWatcher watcher;
        QSignalSpy requested(&watcher, &CTerminationWatcher::TerminationRequested);
        std::raise(SIGINT); // the process survives: the watcher took the signal
        QTRY_COMPARE(requested.count(), 1);
        QCOMPARE(requested.at(0).at(0).toInt(), SIGINT);
    }
};

QTEST_GUILESS_MAIN(tst_CTerminationWatcher)
#include "tst_CTerminationWatcher.moc"
