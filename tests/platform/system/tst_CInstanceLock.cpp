#include "platform/system/CInstanceLock.h"

#include <QDateTime>
#include <QTemporaryDir>
#include <QtTest>

// Another instance holding the lock, or one killed and leaving its lock file, is the desktop
// scenario's; the default path and the folders made are the console's run-rules tests'.
class tst_CInstanceLock final : public QObject {
    Q_OBJECT

private slots:
    // An instance runs for days: age alone must not make its lock stale.
    void aLiveHolderBlocksWhateverTheAge()
    {
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("holder.lock"));
        CInstanceLock own(path);
        QVERIFY(own.TryLock());
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.setFileTime(QDateTime::currentDateTime().addDays(-1),
                                 QFileDevice::FileModificationTime));
        CInstanceLock next(path);
        QVERIFY(!next.TryLock());
        QVERIFY(!next.IsLocked());
    }
};

QTEST_GUILESS_MAIN(tst_CInstanceLock)
#include "tst_CInstanceLock.moc"
