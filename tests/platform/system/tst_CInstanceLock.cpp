#include "platform/system/CInstanceLock.h"
#include "tests/kit/TestFiles.h"

#include <QDateTime>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

// Another instance holding the lock, or one killed and leaving its lock
// file, is the desktop scenario's; here the rules of the lock file itself.
class tst_CInstanceLock final : public QObject {
    Q_OBJECT

private slots:
    // A live holder, whatever the age of its lock file, blocks; a lock file
    // without a live holder of this program is taken over.
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
        if (holder == "recycled") {
            // Process 1 runs, but it is no instance of this program.
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

    // The default lock lives in the runtime folder; a missing folder is made.
    void defaultPathIsInTheRuntimeFolderAndFoldersAreMade()
    {
        QTemporaryDir folder;
        const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(folder.path()));
        const QString path = CInstanceLock::DefaultPath(QStringLiteral("pelion"));
        qputenv("XDG_RUNTIME_DIR", saved);
        QCOMPARE(path, folder.filePath(QStringLiteral("pelion.lock")));
        CInstanceLock lock(folder.filePath(QStringLiteral("a/b/made.lock")));
        QVERIFY(lock.TryLock());
        QVERIFY(QFileInfo::exists(folder.filePath(QStringLiteral("a/b/made.lock"))));
    }
};

QTEST_GUILESS_MAIN(tst_CInstanceLock)
#include "tst_CInstanceLock.moc"
