#include "fileserver/ftp/CFtpCurrentDir.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

// How CWD, RETR, STOR and LIST take their paths from the current directory.
// Which paths stay inside the served folder is CServedFolder's table; here
// one row per operation shows that it asks.
//   outside/secret     served/sub/deeper/  served/sub/file
//   served/top.txt     served/outlink -> outside
class tst_CFtpCurrentDir final : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QDir top(m_outer.path());
        QVERIFY(top.mkpath("served/sub/deeper") && top.mkpath("outside"));
        for (const char* name : {"served/sub/file", "served/top.txt", "outside/secret"}) {
            QFile file(top.filePath(name));
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        QFile::link(top.filePath("outside"), top.filePath("served/outlink"));
    }

    // Each CWD argument in turn, whether it was taken, and the directory after them.
    void change_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QList<bool>>("taken");
        QTest::addColumn<QString>("current");
        QTest::newRow("start at the root") << QStringList{} << QList<bool>{} << "/";
        QTest::newRow("empty changes nothing") << QStringList{""} << QList<bool>{true} << "/";
        QTest::newRow("appended to the current one")
            << QStringList{"sub", "deeper"} << QList<bool>{true, true} << "/sub/deeper/";
        QTest::newRow("same name twice: the second names nothing")
            << QStringList{"sub", "sub"} << QList<bool>{true, false} << "/sub/";
        QTest::newRow("absolute from below")
            << QStringList{"sub/deeper", "\\sub"} << QList<bool>{true, true} << "/sub/";
        QTest::newRow("parent") << QStringList{"sub/deeper", ".."} << QList<bool>{true, true}
                                << "/sub/";
        QTest::newRow("a file is no directory")
            << QStringList{"top.txt"} << QList<bool>{false} << "/";
        QTest::newRow("link out refused") << QStringList{"outlink"} << QList<bool>{false} << "/";
        QTest::newRow("malformed name")
            << QStringList{QString::fromLatin1("a\0b", 3)} << QList<bool>{false} << "/";
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
        QTest::newRow("from the current one") << "file"
                                              << "/sub/file"
                                              << "/sub/file";
        QTest::newRow("absolute") << "/top.txt"
                                  << "/top.txt"
                                  << "/top.txt";
        QTest::newRow("new name") << "new"
                                  << "/sub/new"
                                  << "";
        QTest::newRow("no argument, options") << "-la"
                                              << "/sub/-la"
                                              << "/sub";
        QTest::newRow("link out") << "/outlink/secret"
                                  << ""
                                  << "";
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
