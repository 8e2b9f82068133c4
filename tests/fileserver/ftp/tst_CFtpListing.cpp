#include "fileserver/ftp/CFtpListing.h"
#include "tests/kit/TestFiles.h"

#include <QTemporaryDir>

#include <QtTest>

namespace {

// A day-month-year locale with a fixed short date format.
const QLocale kLocale(QLocale::English, QLocale::UnitedKingdom);
} // namespace

class tst_CFtpListing final : public QObject {
    Q_OBJECT
private slots:
    void line_data()
    {
        QTest::addColumn<CFtpListing::SEntry>("entry");
        QTest::addColumn<QByteArray>("line");
        const auto row = [](const char* name, const QString& file, bool isDir, qint64 size,
                            QTime time, const QByteArray& line) {
            QTest::newRow(name) << CFtpListing::SEntry{file, isDir, size,
                                                       QDateTime(QDate(2026, 12, 5), time)}
                                << line;
        };
        row("folder", "sub", true, 4096, QTime(9, 5, 7), "05/12/2026 09:05:07    <DIR>\tsub\t\r\n");
        row("midnight has no time", "a", false, 0, QTime(0, 0), "05/12/2026         \ta\t0\r\n");
        row("size past 32 bits", "big", false, 5'000'000'000, QTime(23, 59, 59),
            "05/12/2026 23:59:59         \tbig\t5000000000\r\n");
        row("name in UTF-8", QString::fromUtf8("r\xC3\xA9sum\xC3\xA9"), false, 2, QTime(1, 2, 3),
            "05/12/2026 01:02:03         \tr\xC3\xA9sum\xC3\xA9\t2\r\n");
    }
    void line()
    {
        QFETCH(CFtpListing::SEntry, entry);
        QFETCH(QByteArray, line);
        QCOMPARE(CFtpListing::Line(entry, kLocale), line);
    }
    // Which entries a listing holds; the lines themselves are line()'s.
    void build()
    {
        QTemporaryDir outer;
        const QDir top(outer.path());
        QVERIFY(top.mkpath("served/sub") && top.mkpath("outside"));
        for (const char* name : {"served/file.txt", "served/.hidden", "outside/secret"})
            QVERIFY(TestFiles::Write(top.filePath(name), "12345"));
        QVERIFY(QFile::link(top.filePath("outside"), top.filePath("served/outlink")));
        QVERIFY(QFile::link(top.filePath("served/file.txt"), top.filePath("served/inlink")));
        const auto names = [&top](const QString& path) {
            QStringList names;
            for (const QByteArray& line :
                 CFtpListing::Build(CServedFolder(top.filePath("served")), path, kLocale)
                     .split('\n'))
                names << QString::fromUtf8(line.split('\t').value(1));
            names.sort();
            return names;
        };
        QCOMPARE(names("/"), (QStringList{"", "file.txt", "inlink", "sub"}));
        QCOMPARE(names("/file.txt"), (QStringList{"", "file.txt"}));
        QCOMPARE(names("/.hidden") + names("/none"), (QStringList{"", ""}));
    }
};

QTEST_APPLESS_MAIN(tst_CFtpListing)
#include "tst_CFtpListing.moc"
