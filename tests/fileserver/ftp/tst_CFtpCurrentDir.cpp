#include "fileserver/ftp/CFtpCurrentDir.h"
#include "tests/kit/TestFiles.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

// served/sub/deeper/, served/sub/file, served/top.txt
class tst_CFtpCurrentDir final : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QDir top(m_outer.path());
        QVERIFY(top.mkpath("served/sub/deeper"));
        QVERIFY(TestFiles::Write(top.filePath("served/sub/file"), {}));
        QVERIFY(TestFiles::Write(top.filePath("served/top.txt"), {}));
    }
    // RETR and STOR (File) and LIST (ListTarget) from /sub/; empty: refused or nothing.
    void paths_data()
    {
        QTest::addColumn<QString>("argument");
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("listed");
        const auto row = [](const char* name, const char* argument, const char* file,
                            const char* listed) {
            QTest::newRow(name) << QString(argument) << QString(file) << QString(listed);
        };
        row("from the current one", "file", "/sub/file", "/sub/file");
        row("absolute", "/top.txt", "/top.txt", "/top.txt");
        row("new name", "new", "/sub/new", "");
        row("listing options", "-la", "/sub/-la", "/sub");
    }
    void paths()
    {
        QFETCH(QString, argument);
        QFETCH(QString, file);
        QFETCH(QString, listed);
        CFtpCurrentDir dir(Folder());
        QVERIFY(dir.Change("sub"));
        const CServedFolder::SResolved target = dir.File(argument);
        QCOMPARE(target.localPath, file.isEmpty() ? QString() : dir.Folder().Root() + file);
        QCOMPARE(dir.ListTarget(argument).value_or(QString()), listed);
        QCOMPARE(dir.ListTarget(QString()).value_or(QString()), QStringLiteral("/sub"));
    }

private:
    CServedFolder Folder() const { return CServedFolder(m_outer.filePath("served")); }
    QTemporaryDir m_outer;
};

QTEST_APPLESS_MAIN(tst_CFtpCurrentDir)
#include "tst_CFtpCurrentDir.moc"
