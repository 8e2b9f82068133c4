#include "platform/system/CInstanceLock.h"
#include "tests/kit/TestFiles.h"

#include <QDateTime>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

// Another instance holding the lock, or one killed and leaving its lock file, is the desktop
// scenario's; the default path and the folders made are the console's run-rules tests'.
class tst_CInstanceLock final : public QObject {
    Q_OBJECT

private slots:
    // A live holder blocks whatever the file's age; a file without one is taken over.
    void onlyALiveHolderBlocks_data()
    {
        QTest::addColumn<QString>("holder");
        QTest::addColumn<bool>("taken");
        QTest::newRow("another object, lock file a day old") << "old" << false;
        QTest::newRow("lock file naming a recycled process number") << "recycled" << true;
    }
    void onlyALiveHolderBlocks()
    {
        QFETCH(QString, holder);
        QFETCH(bool, taken);
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("holder.lock"));
        CInstanceLock own(path);
        if (holder == "recycled") { // process 1 runs, but as another program
            QVERIFY(TestFiles::Write(path, "1\ntst_CInstanceLock\n\n"));
        } else { // an instance runs for days: age alone must not make it stale
            QVERIFY(own.TryLock());
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadWrite));
            QVERIFY(file.setFileTime(QDateTime::currentDateTime().addDays(-1),
                                     QFileDevice::FileModificationTime));
        }
        CInstanceLock next(path);
        QCOMPARE(next.TryLock(), taken);
        QCOMPARE(next.IsLocked(), taken);
        if (taken) {
            next.Unlock();
            QVERIFY(!QFileInfo::exists(path));
        }
    }
};

QTEST_GUILESS_MAIN(tst_CInstanceLock)
#include "tst_CInstanceLock.moc"
