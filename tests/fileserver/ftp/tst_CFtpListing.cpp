#include "fileserver/ftp/CFtpListing.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// A day-month-year locale with a fixed short date format.
const QLocale kLocale(QLocale::English, QLocale::UnitedKingdom);
const QDateTime kModified(QDate(2026, 3, 4), QTime(5, 6, 7));

} // namespace

class tst_CFtpListing final : public QObject {
    Q_OBJECT

private slots:
    void line_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("isDir");
        QTest::addColumn<qint64>("size");
        QTest::addColumn<QTime>("time");
        QTest::addColumn<QByteArray>("line");
        QTest::newRow("file") << "data.bin" << false << qint64(1536) << QTime(17, 28, 34)
                              << QByteArray("05/12/2026 17:28:34         \tdata.bin\t1536\r\n");
        QTest::newRow("folder") << "sub" << true << qint64(4096) << QTime(9, 5, 7)
                                << QByteArray("05/12/2026 09:05:07    <DIR>\tsub\t\r\n");
        QTest::newRow("midnight has no time") << "a" << false << qint64(0) << QTime(0, 0)
                                              << QByteArray("05/12/2026         \ta\t0\r\n");
        QTest::newRow("one second past midnight")
            << "a" << false << qint64(1) << QTime(0, 0, 1)
            << QByteArray("05/12/2026 00:00:01         \ta\t1\r\n");
        QTest::newRow("size past 32 bits")
            << "big" << false << qint64(5'000'000'000) << QTime(23, 59, 59)
            << QByteArray("05/12/2026 23:59:59         \tbig\t5000000000\r\n");
        QTest::newRow("name in UTF-8")
            << QString::fromUtf8("r\xC3\xA9sum\xC3\xA9") << false << qint64(2) << QTime(1, 2, 3)
            << QByteArray("05/12/2026 01:02:03         \tr\xC3\xA9sum\xC3\xA9\t2\r\n");
    }
    void line()
    {
        QFETCH(QString, name);
        QFETCH(bool, isDir);
        QFETCH(qint64, size);
        QFETCH(QTime, time);
        QFETCH(QByteArray, line);
        const QDateTime modified(QDate(2026, 12, 5), time);
        QCOMPARE(CFtpListing::Line({name, isDir, size, modified}, kLocale), line);
    }

    // Each expected line as "<size field>TAB<name>TAB<size text>", in any order.
    void build_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QStringList>("entries");
        const QString dir = QString::fromLatin1(CFtpListing::kDirField);
        const QString file = QString::fromLatin1(CFtpListing::kFileField);
        QTest::newRow("root: no hidden file, no link out")
            << "/" << QStringList{dir + "\tsub\t", file + "\tfile.txt\t5", file + "\tinlink\t5"};
        QTest::newRow("one file") << "/file.txt" << QStringList{file + "\tfile.txt\t5"};
        QTest::newRow("empty folder") << "/sub" << QStringList{};
        QTest::newRow("hidden file alone") << "/.hidden" << QStringList{};
        QTest::newRow("nothing there") << "/none" << QStringList{};
    }
    void build()
    {
        QFETCH(QString, path);
        QFETCH(QStringList, entries);
        QTemporaryDir outer;
        QDir top(outer.path());
        QVERIFY(top.mkpath("served/sub") && top.mkpath("outside"));
        for (const char* name : {"served/file.txt", "served/.hidden", "outside/secret"}) {
            QFile file(top.filePath(name));
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write("12345") == 5 && file.flush());
            QVERIFY(file.setFileTime(kModified, QFileDevice::FileModificationTime));
        }
        QVERIFY(QFile::link(top.filePath("outside"), top.filePath("served/outlink")));
        QVERIFY(QFile::link(top.filePath("served/file.txt"), top.filePath("served/inlink")));

        const QByteArray listing =
            CFtpListing::Build(CServedFolder(top.filePath("served")), path, kLocale);
        QStringList got;
        for (const QByteArray& line : listing.split('\n')) {
            if (line.isEmpty())
                continue;
            QVERIFY(line.endsWith('\r'));
            const QString text = QString::fromUtf8(line.chopped(1));
            const qsizetype sizeField = text.indexOf(QLatin1Char('\t')) - 9;
            if (!text.contains(QLatin1String("<DIR>")))
                QCOMPARE(text.left(sizeField), CFtpListing::DateTimeText(kModified, kLocale));
            got << text.mid(sizeField);
        }
        got.sort();
        entries.sort();
        QCOMPARE(got, entries);
    }
};

QTEST_APPLESS_MAIN(tst_CFtpListing)
#include "tst_CFtpListing.moc"
