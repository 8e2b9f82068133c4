#include "fileserver/ftp/CFtpListing.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// A day-month-year locale with a fixed short date format.
const QLocale kLocale(QLocale::English, QLocale::UnitedKingdom);

void WriteFile(const QString& path, const QByteArray& content, const QDateTime& modified)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
    QVERIFY(file.flush());
    QVERIFY(file.setFileTime(modified, QFileDevice::FileModificationTime));
}

} // namespace

class tst_CFtpListing final : public QObject {
    Q_OBJECT

private slots:
    void line_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("isDir");
        QTest::addColumn<qint64>("size");
        QTest::addColumn<QDateTime>("modified");
        QTest::addColumn<QByteArray>("line");
        const QDate day(2026, 12, 5);
        QTest::newRow("file") << "data.bin" << false << qint64(1536)
                              << QDateTime(day, QTime(17, 28, 34))
                              << QByteArray("05/12/2026 17:28:34         \tdata.bin\t1536\r\n");
        QTest::newRow("folder") << "sub" << true << qint64(4096) << QDateTime(day, QTime(9, 5, 7))
                                << QByteArray("05/12/2026 09:05:07    <DIR>\tsub\t\r\n");
        QTest::newRow("midnight has no time")
            << "a" << false << qint64(0) << QDateTime(day, QTime(0, 0, 0))
            << QByteArray("05/12/2026         \ta\t0\r\n");
        QTest::newRow("one second past midnight")
            << "a" << false << qint64(1) << QDateTime(day, QTime(0, 0, 1))
            << QByteArray("05/12/2026 00:00:01         \ta\t1\r\n");
        QTest::newRow("large file")
            << "big" << false << qint64(5'000'000'000) << QDateTime(day, QTime(23, 59, 59))
            << QByteArray("05/12/2026 23:59:59         \tbig\t5000000000\r\n");
        QTest::newRow("name in UTF-8")
            << QString::fromUtf8("r\xC3\xA9sum\xC3\xA9") << false << qint64(2)
            << QDateTime(day, QTime(1, 2, 3))
            << QByteArray("05/12/2026 01:02:03         \tr\xC3\xA9sum\xC3\xA9\t2\r\n");
    }
    void line()
    {
        QFETCH(QString, name);
        QFETCH(bool, isDir);
        QFETCH(qint64, size);
        QFETCH(QDateTime, modified);
        QFETCH(QByteArray, line);
        QCOMPARE(CFtpListing::Line({name, isDir, size, modified}, kLocale), line);
    }

    void build_data()
    {
        // Each expected line as "<size field>TAB<name>TAB<size text>".
        QTest::addColumn<QString>("path");
        QTest::addColumn<QStringList>("entries");
        const QString dir = QString::fromLatin1(CFtpListing::kDirField);
        const QString file = QString::fromLatin1(CFtpListing::kFileField);
        QTest::newRow("root: folder, file and inner link; no hidden file, no link out")
            << "/"
            << QStringList{dir + "\tsub\t", dir + "\tempty\t", file + "\tfile.txt\t5",
                           file + "\tinlink\t5"};
        QTest::newRow("subfolder") << "/sub" << QStringList{file + "\tinner\t0"};
        QTest::newRow("one file") << "/file.txt" << QStringList{file + "\tfile.txt\t5"};
        QTest::newRow("hidden file alone") << "/.hidden" << QStringList{};
        QTest::newRow("nothing there") << "/none" << QStringList{};
        QTest::newRow("link out of the folder") << "/outlink" << QStringList{};
        QTest::newRow("empty folder") << "/empty" << QStringList{};
    }
    void build()
    {
        QFETCH(QString, path);
        QFETCH(QStringList, entries);
        QTemporaryDir outer;
        QVERIFY(outer.isValid());
        QDir top(outer.path());
        QVERIFY(top.mkpath(QStringLiteral("served/sub")));
        QVERIFY(top.mkpath(QStringLiteral("served/empty")));
        QVERIFY(top.mkpath(QStringLiteral("outside")));
        const QDateTime modified(QDate(2026, 3, 4), QTime(5, 6, 7));
        WriteFile(top.filePath(QStringLiteral("served/file.txt")), "12345", modified);
        WriteFile(top.filePath(QStringLiteral("served/.hidden")), "h", modified);
        WriteFile(top.filePath(QStringLiteral("served/sub/inner")), "", modified);
        WriteFile(top.filePath(QStringLiteral("outside/secret")), "s", modified);
        QVERIFY(QFile::link(top.filePath(QStringLiteral("outside")),
                            top.filePath(QStringLiteral("served/outlink"))));
        QVERIFY(QFile::link(top.filePath(QStringLiteral("served/file.txt")),
                            top.filePath(QStringLiteral("served/inlink"))));

        const CServedFolder folder(top.filePath(QStringLiteral("served")));
        const QByteArray listing = CFtpListing::Build(folder, path, kLocale);

        const QString file = QString::fromLatin1(CFtpListing::kFileField);
        QSet<QString> got;
        for (const QByteArray& line : listing.split('\n')) {
            if (line.isEmpty())
                continue;
            QVERIFY(line.endsWith('\r'));
            const QString text = QString::fromUtf8(line.chopped(1));
            const qsizetype tab = text.indexOf(QLatin1Char('\t'));
            QVERIFY(tab >= 9);
            const QString entry = text.mid(tab - 9);
            // Files carry the time they were given; folders the time of their last change.
            if (entry.startsWith(file))
                QCOMPARE(text.left(tab - 9), CFtpListing::DateTimeText(modified, kLocale));
            got.insert(entry);
        }
        QCOMPARE(got, QSet<QString>(entries.cbegin(), entries.cend()));
        QCOMPARE(listing.count("\r\n"), entries.size());
    }
};

QTEST_APPLESS_MAIN(tst_CFtpListing)
#include "tst_CFtpListing.moc"
