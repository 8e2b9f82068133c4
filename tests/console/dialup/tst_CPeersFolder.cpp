#include "console/dialup/CPeersFolder.h"
#include "tests/kit/TestFiles.h"

#include <QTemporaryDir>
#include <QtTest>

class tst_CPeersFolder final : public QObject {
    Q_OBJECT

private slots:
    void createEditRead()
    {
        QTemporaryDir dir;
        const CPeersFolder folder(dir.path());
        QVERIFY(!folder.Exists(QStringLiteral("Modem")));
        CPeerEntry created = CPeerEntry::FromTemplate();
        SPeerSettings settings;
        settings.device = QStringLiteral("/dev/ttyUSB0");
        created.SetSettings(settings);
        QString error;
        QVERIFY(folder.Write(QStringLiteral("Modem"), created, error));
        QVERIFY(folder.Exists(QStringLiteral("Modem")));
        const std::optional<CPeerEntry> read = folder.Read(QStringLiteral("Modem"), error);
        QVERIFY(read);
        QCOMPARE(read->Settings(), settings);
        QVERIFY(TestFiles::ReadText(folder.FilePath(QStringLiteral("Modem"))).contains("lock\n"));
        QVERIFY(!folder.Read(QStringLiteral("Missing"), error));
        QVERIFY(!error.isEmpty());
    }

    // Where the folder cannot be written (here a file stands in its place,
    // which refuses root too), the write fails with a reason and loses nothing.
    void refusedWriteLosesNothing()
    {
        QTemporaryDir dir;
        const QString original = QStringLiteral("# mine\n/dev/ttyS0\n115200\nlocal\nnoauth\n");
        const QString path = dir.filePath(QStringLiteral("peers"));
        QVERIFY(TestFiles::WriteText(path, original));
        CPeerEntry entry = CPeerEntry::Parse(original);
        SPeerSettings changed = entry.Settings();
        changed.speed = 9600;
        entry.SetSettings(changed);
        QString error;
        QVERIFY(!CPeersFolder(path).Write(QStringLiteral("TarnDirectPPP"), entry, error));
        QVERIFY(!error.isEmpty());
        QCOMPARE(TestFiles::ReadText(path), original);
    }
};

QTEST_GUILESS_MAIN(tst_CPeersFolder)
#include "tst_CPeersFolder.moc"
