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
