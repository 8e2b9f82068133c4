#include "console/dialup/CPeersFolder.h"
#include "tests/console/dialup/ReadOnlyFolder.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString kOriginal = QStringLiteral("# mine\n/dev/ttyS0\n115200\nlocal\nnoauth\n");

bool WriteText(const QString& path, const QString& text)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(text.toUtf8()) > 0;
}

QString ReadText(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

} // namespace

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

        std::optional<CPeerEntry> read = folder.Read(QStringLiteral("Modem"), error);
        QVERIFY(read);
        QCOMPARE(read->Settings(), settings);
        QVERIFY(
            ReadText(folder.FilePath(QStringLiteral("Modem"))).contains(QStringLiteral("lock\n")));

        QVERIFY(!folder.Read(QStringLiteral("Missing"), error));
        QVERIFY(!error.isEmpty());
    }

    // Where the folder cannot be written, the write fails with a reason and
    // the old file is as it was.
    void refusedWriteLosesNothing_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("read-only mount") << "mount";
        QTest::newRow("a file where the folder should be") << "file";
    }
    void refusedWriteLosesNothing()
    {
        QFETCH(QString, how);
        QTemporaryDir dir;
        std::unique_ptr<ReadOnlyFolder> readOnly;
        QString path;
        if (how == QStringLiteral("mount")) {
            QVERIFY(WriteText(dir.filePath(QStringLiteral("TarnDirectPPP")), kOriginal));
            readOnly = std::make_unique<ReadOnlyFolder>(dir.path());
            if (readOnly->Path().isEmpty())
                QSKIP("no mount namespace of our own here");
            path = readOnly->Path();
        } else {
            path = dir.filePath(QStringLiteral("peers"));
            QVERIFY(WriteText(path, kOriginal));
        }
        const CPeersFolder folder(path);
        CPeerEntry entry = CPeerEntry::Parse(kOriginal);
        SPeerSettings changed = entry.Settings();
        changed.speed = 9600;
        entry.SetSettings(changed);
        QString error;
        QVERIFY(!folder.Write(QStringLiteral("TarnDirectPPP"), entry, error));
        QVERIFY(!error.isEmpty());
        if (how == QStringLiteral("mount"))
            QCOMPARE(ReadText(dir.filePath(QStringLiteral("TarnDirectPPP"))), kOriginal);
        else
            QCOMPARE(ReadText(path), kOriginal);
    }
};

QTEST_GUILESS_MAIN(tst_CPeersFolder)
#include "tst_CPeersFolder.moc"
