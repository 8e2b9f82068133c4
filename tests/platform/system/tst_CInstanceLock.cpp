#include "platform/system/CInstanceChannel.h"
#include "platform/system/CInstanceLock.h"
#include "tests/kit/TestFiles.h"

#include <QDateTime>
#include <QLocalSocket>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <unistd.h>

// Another instance holding the lock, or one killed and leaving its lock file, is the desktop
// scenario's; the folders made for the product's own places are the console's run-rules tests'.
class tst_CInstanceLock final : public QObject {
    Q_OBJECT

private slots:
    // An instance runs for days: age alone must not make its lock stale.
    void aLiveHolderBlocksWhateverTheAge()
    {
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("holder.lock"));
        CInstanceLock own({path});
        QVERIFY(own.TryLock());
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.setFileTime(QDateTime::currentDateTime().addDays(-1),
                                 QFileDevice::FileModificationTime));
        CInstanceLock next({path});
        QVERIFY(!next.TryLock());
        QVERIFY(!next.IsLocked());
        QCOMPARE(next.Path(), path);
    }

    // Two sessions of one user meet whatever their runtime folders say.
    void theUsersPlaceIsTheSameInEverySession()
    {
        const QByteArray kept = qgetenv("XDG_RUNTIME_DIR");
        QTemporaryDir a, b;
        qputenv("XDG_RUNTIME_DIR", a.path().toUtf8());
        const QStringList first = CInstanceLock::DefaultPaths("pelion");
        qputenv("XDG_RUNTIME_DIR", b.path().toUtf8());
        const QStringList second = CInstanceLock::DefaultPaths("pelion");
        qputenv("XDG_RUNTIME_DIR", kept);
        QCOMPARE(first.value(0), QStringLiteral("/tmp/pelion-%1/pelion.lock").arg(::getuid()));
        QCOMPARE(second.value(0), first.value(0));
        QCOMPARE(first.value(1), a.filePath(QStringLiteral("pelion-%1.lock").arg(::getuid())));
    }

    // What the first place is made into before the lock is tried; the lock is then held at
    // place 0 or 1, or nowhere (-1). "linked folder", "linked file": links to the test's own.
    void unsafePlacesArePassedOver_data()
    {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("second");
        QTest::addColumn<int>("held");
        const auto row = [](const char* name, const char* first, const char* second, int held) {
            QTest::newRow(name) << QString(first) << QString(second) << held;
        };
        row("missing folder: made, private", "", "", 0);
        row("folder a link", "linked folder", "", 1);
        row("lock file a link", "linked file", "", 1);
        row("folder others may write to", "shared folder", "", 1);
        row("folder of another user", "other's folder", "", 1);
        row("lock file of another user", "other's file", "", 1);
        row("no safe place: refused", "linked folder", "shared folder", -1);
    }
    void unsafePlacesArePassedOver()
    {
        QFETCH(QString, first);
        QFETCH(QString, second);
        QFETCH(int, held);
        if ((first + second).contains("other's") && ::geteuid() != 0)
            QSKIP("Giving a file to another user needs root.");
        QTemporaryDir root;
        const QStringList places{root.filePath("one/pelion.lock"), root.filePath("two/p.lock")};
        const QString target = root.filePath("target");
        QVERIFY(TestFiles::Write(target + "/pelion.lock", "kept"));
        QVERIFY(Prepare(places[0], first, target) && Prepare(places[1], second, target));
        CInstanceLock lock(places);
        QCOMPARE(lock.TryLock(), held >= 0);
        QCOMPARE(lock.Path(), places.value(held));
        QCOMPARE(TestFiles::Read(target + "/pelion.lock"), QByteArray("kept"));
        QCOMPARE(QDir(target).entryList(QDir::Files), QStringList{"pelion.lock"});
        if (held >= 0) {
            QVERIFY(QFileInfo(places[held]).isFile() && !QFileInfo(places[held]).isSymLink());
            QVERIFY(CInstanceLock::IsSafePlace(places[held]));
        }
        if (first.isEmpty()) // no bits for the group and others
            QCOMPARE(int(QFileInfo(root.filePath("one")).permissions() & 0x00ff), 0);
    }

    // Only the request to show makes the instance act, and its answer lets the caller go.
    void theChannelTakesOnlyTheShowRequest_data()
    {
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<bool>("taken");
        QTest::newRow("show") << QByteArray("show\n") << true;
        QTest::newRow("another word") << QByteArray("shoe\n") << false;
        QTest::newRow("nothing") << QByteArray() << false;
    }
    void theChannelTakesOnlyTheShowRequest()
    {
        QFETCH(QByteArray, sent);
        QFETCH(bool, taken);
        QTemporaryDir folder;
        const QString path = CInstanceChannel::PathBeside(folder.filePath("pelion.lock"));
        QCOMPARE(path, folder.filePath("pelion.socket"));
        QVERIFY(TestFiles::Write(path, "a dead instance's socket"));
        CInstanceChannel channel;
        QVERIFY(channel.Listen(path));
        QSignalSpy shown(&channel, &CInstanceChannel::ShowRequested);
        QLocalSocket peer;
        peer.connectToServer(path);
        QVERIFY(peer.waitForConnected(5000));
        peer.write(sent);
        peer.flush();
        if (sent.isEmpty())
            peer.disconnectFromServer();
        QTRY_COMPARE(peer.state(), QLocalSocket::UnconnectedState);
        QCOMPARE(shown.size(), taken ? 1 : 0);
        QCOMPARE(peer.readAll(), taken ? QByteArray("ok\n") : QByteArray());
        // What a refused start does, from its own thread while this one runs the channel.
        bool asked = false;
        std::unique_ptr<QThread> start(
            QThread::create([&] { asked = CInstanceChannel::AskToShow(path, 10000); }));
        start->start();
        QTRY_VERIFY(start->isFinished());
        QVERIFY(asked);
        QCOMPARE(shown.size(), taken ? 2 : 1);
        QVERIFY(!CInstanceChannel::AskToShow(folder.filePath("none.socket"), 10000));
    }

private:
    // Makes the lock file's place what the step says (see the table above).
    static bool Prepare(const QString& lockFile, const QString& step, const QString& target)
    {
        const QString folder = QFileInfo(lockFile).absolutePath();
        if (step.isEmpty())
            return true;
        if (step == "linked folder")
            return QFile::link(target, folder);
        if (!QDir().mkpath(folder))
            return false;
        if (step == "linked file")
            return QFile::link(target + "/pelion.lock", lockFile);
        if (step == "shared folder")
            return QFile::setPermissions(folder, QFileDevice::Permissions(0x7777));
        const QString given = step == "other's folder" ? folder : lockFile;
        if (given == lockFile && !TestFiles::Write(lockFile, {}))
            return false;
        return ::chown(QFile::encodeName(given).constData(), 65534, 65534) == 0;
    }
};

QTEST_GUILESS_MAIN(tst_CInstanceLock)
#include "tst_CInstanceLock.moc"
