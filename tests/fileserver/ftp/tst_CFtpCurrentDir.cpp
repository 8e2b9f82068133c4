#include "fileserver/ftp/CFtpCurrentDir.h"
#include "tests/kit/TestFiles.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

// How CWD, RETR, STOR and LIST take their paths from the current directory.
// Which paths stay inside the served folder is CServedFolder's table.
//   served/sub/deeper/  served/sub/file  served/top.txt
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

    // Each CWD argument in turn, whether it was taken, and the directory after them.
    void change_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QList<bool>>("taken");
        QTest::addColumn<QString>("current");
        const auto row = [](const char* name, const QStringList& arguments,
                            const QList<bool>& taken, const char* current) {
            QTest::newRow(name) << arguments << taken << QString(current);
        };
        row("start at the root", {}, {}, "/");
        row("empty changes nothing", {""}, {true}, "/");
        row("appended to the current one", {"sub", "deeper"}, {true, true}, "/sub/deeper/");
        row("same name twice: the second names nothing", {"sub", "sub"}, {true, false}, "/sub/");
        row("absolute from below", {"sub/deeper", "\\sub"}, {true, true}, "/sub/");
        row("parent", {"sub/deeper", ".."}, {true, true}, "/sub/");
        row("a file is no directory", {"top.txt"}, {false}, "/");
        row("malformed name", {QString::fromLatin1("a\0b", 3)}, {false}, "/");
    }
    void change()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QList<bool>, taken);
        QFETCH(QString, current);
        CFtpCurrentDir dir(Folder());
        QList<bool> got;
        for (const QString& argument : arguments)
            got << dir.Change(argument);
        QCOMPARE(got, taken);
        QCOMPARE(dir.Path(), current);
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
