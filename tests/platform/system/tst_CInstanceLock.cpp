// The one-instance lock between real processes: this test program starts
// copies of itself that take the lock (see HolderMain).

#include "platform/system/CInstanceLock.h"
#include "tests/kit/TestFiles.h"

#include <QDateTime>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <cstring>
#include <iostream>
#include <string>

namespace {

const char* const kHolderSwitch = "--hold-lock";

// A holder process: takes the lock, says whether it has it, and keeps it
// until its standard input closes.
int HolderMain(const char* path)
{
    CInstanceLock lock(QString::fromLocal8Bit(path));
    std::cout << (lock.TryLock() ? "locked" : "refused") << std::endl;
    for (std::string line; std::getline(std::cin, line);) {
    }
    return 0;
}

} // namespace

class tst_CInstanceLock final : public QObject {
    Q_OBJECT

private slots:
    // A live holder, whatever the age of its lock file, blocks; a lock file
    // without a live holder of this program is taken over.
    void onlyALiveHolderBlocks_data()
    {
        QTest::addColumn<QString>("holder");
        QTest::addColumn<bool>("taken");
        QTest::newRow("another process") << "process" << false;
        QTest::newRow("another process, lock file a day old") << "old" << false;
        QTest::newRow("another object of this process") << "object" << false;
        QTest::newRow("holder killed, lock file left") << "killed" << true;
        QTest::newRow("holder ended normally") << "ended" << true;
        QTest::newRow("lock file naming a recycled process number") << "recycled" << true;
    }
    void onlyALiveHolderBlocks()
    {
        QFETCH(QString, holder);
        QFETCH(bool, taken);
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("holder.lock"));
        QProcess process;
        CInstanceLock own(path);
        if (holder == "object") {
            QVERIFY(own.TryLock());
        } else if (holder == "recycled") {
            // Process 1 runs, but it is no instance of this program.
            QVERIFY(TestFiles::Write(path, "1\ntst_CInstanceLock\n\n"));
        } else {
            process.start(QCoreApplication::applicationFilePath(), {kHolderSwitch, path});
            QVERIFY(process.waitForReadyRead(20000));
            QCOMPARE(process.readLine().trimmed(), QByteArray("locked"));
        }
        QFile file(path);
        if (holder == "old") { // an instance runs for days: age alone must not make it stale
            QVERIFY(file.open(QIODevice::ReadWrite));
            QVERIFY(file.setFileTime(QDateTime::currentDateTime().addDays(-1),
                                     QFileDevice::FileModificationTime));
        } else if (holder == "killed") {
            process.kill();
            QVERIFY(process.waitForFinished(10000));
            QVERIFY2(QFileInfo::exists(path), "a killed holder leaves its lock file");
        } else if (holder == "ended") {
            process.closeWriteChannel();
            QVERIFY(process.waitForFinished(10000));
        }
        CInstanceLock next(path);
        QCOMPARE(next.TryLock(), taken);
        QCOMPARE(next.IsLocked(), taken);
        process.closeWriteChannel();
        QVERIFY(process.state() == QProcess::NotRunning || process.waitForFinished(10000));
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

int main(int argc, char* argv[])
{
    if (argc == 3 && std::strcmp(argv[1], kHolderSwitch) == 0)
        return HolderMain(argv[2]);
    QCoreApplication app(argc, argv);
    tst_CInstanceLock test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_CInstanceLock.moc"
