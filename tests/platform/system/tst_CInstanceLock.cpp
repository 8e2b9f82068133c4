// The one-instance lock between real processes: this test program starts
// copies of itself that take the lock (see HolderMain).

#include "platform/system/CInstanceLock.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdio>
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
    std::string line;
    while (std::getline(std::cin, line)) {
    }
    return 0;
}

} // namespace

class tst_CInstanceLock final : public QObject {
    Q_OBJECT

private slots:
    void init() { QVERIFY(m_folder.isValid()); }

    void aLiveHolderBlocks_data()
    {
        QTest::addColumn<bool>("holderIsAnotherProcess");
        QTest::addColumn<bool>("holderLockIsOld");
        QTest::newRow("another process") << true << false;
        QTest::newRow("another process, lock file a day old") << true << true;
        QTest::newRow("another object of this process") << false << false;
    }
    void aLiveHolderBlocks()
    {
        QFETCH(bool, holderIsAnotherProcess);
        QFETCH(bool, holderLockIsOld);
        const QString path = m_folder.filePath(QStringLiteral("blocks.lock"));

        QProcess holder;
        CInstanceLock ownHolder(path);
        if (holderIsAnotherProcess)
            QCOMPARE(StartHolder(holder, path), QByteArray("locked"));
        else
            QVERIFY(ownHolder.TryLock());
        if (holderLockIsOld) {
            // An instance runs for days: age alone must not make its lock stale.
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadWrite));
            QVERIFY(file.setFileTime(QDateTime::currentDateTime().addDays(-1),
                                     QFileDevice::FileModificationTime));
        }

        CInstanceLock second(path);
        QVERIFY(!second.TryLock());
        QVERIFY(!second.IsLocked());
        StopHolder(holder);
    }

    void aLockWithoutLiveHolderIsTaken_data()
    {
        QTest::addColumn<QString>("howTheHolderWent");
        QTest::newRow("holder killed, lock file left") << QStringLiteral("kill");
        QTest::newRow("holder ended normally") << QStringLiteral("end");
        QTest::newRow("lock file naming a recycled process number") << QStringLiteral("recycled");
    }
    void aLockWithoutLiveHolderIsTaken()
    {
        QFETCH(QString, howTheHolderWent);
        const QString path = m_folder.filePath(QStringLiteral("stale.lock"));

        if (howTheHolderWent == QLatin1String("recycled")) {
            // Process 1 runs, but it is no instance of this program.
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("1\ntst_CInstanceLock\n\n");
        } else {
            QProcess holder;
            QCOMPARE(StartHolder(holder, path), QByteArray("locked"));
            if (howTheHolderWent == QLatin1String("kill")) {
                holder.kill();
                QVERIFY(holder.waitForFinished(10000));
                QVERIFY2(QFileInfo::exists(path), "a killed holder leaves its lock file");
            } else {
                StopHolder(holder);
                QCOMPARE(holder.exitCode(), 0);
            }
        }

        CInstanceLock next(path);
        QVERIFY(next.TryLock());
        QVERIFY(next.IsLocked());
        next.Unlock();
        QVERIFY(!QFileInfo::exists(path));
    }

    void aMissingFolderIsMade()
    {
        const QString path = m_folder.filePath(QStringLiteral("a/b/made.lock"));
        CInstanceLock lock(path);
        QVERIFY(lock.TryLock());
        QVERIFY(QFileInfo::exists(path));
    }

    void defaultPathIsInTheRuntimeFolder()
    {
        const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_folder.path()));
        const QString path = CInstanceLock::DefaultPath(QStringLiteral("pelion"));
        qputenv("XDG_RUNTIME_DIR", saved);
        QCOMPARE(path, m_folder.filePath(QStringLiteral("pelion.lock")));
    }

private:
    // Starts a holder process and returns its first line.
    static QByteArray StartHolder(QProcess& holder, const QString& path)
    {
        holder.start(QCoreApplication::applicationFilePath(),
                     {QString::fromLatin1(kHolderSwitch), path});
        if (!holder.waitForStarted(10000))
            return "not started";
        if (!holder.canReadLine() && !holder.waitForReadyRead(20000))
            return "no answer";
        return holder.readLine().trimmed();
    }

    static void StopHolder(QProcess& holder)
    {
        if (holder.state() == QProcess::NotRunning)
            return;
        holder.closeWriteChannel();
        if (!holder.waitForFinished(10000))
            holder.kill();
    }

    QTemporaryDir m_folder;
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
