#include "fileserver/ftp/CFtpCurrentDir.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

// The layout every case runs in:
//   outside/secret                 (next to the served folder)
//   served/sub/deeper/  served/sub/file  served/top.txt  served/a/
//   served/outlink -> outside      served/inlink -> served/sub
class tst_CFtpCurrentDir final : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        m_outer = std::make_unique<QTemporaryDir>();
        QVERIFY(m_outer->isValid());
        QDir top(m_outer->path());
        QVERIFY(top.mkpath(QStringLiteral("served/sub/deeper")));
        QVERIFY(top.mkpath(QStringLiteral("served/a")));
        QVERIFY(top.mkpath(QStringLiteral("outside")));
        for (const char* name : {"served/sub/file", "served/top.txt", "outside/secret"}) {
            QFile file(top.filePath(QString::fromLatin1(name)));
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        QVERIFY(QFile::link(top.filePath(QStringLiteral("outside")),
                            top.filePath(QStringLiteral("served/outlink"))));
        QVERIFY(QFile::link(top.filePath(QStringLiteral("served/sub")),
                            top.filePath(QStringLiteral("served/inlink"))));
        m_folder = std::make_unique<CServedFolder>(top.filePath(QStringLiteral("served")));
    }
    void cleanup()
    {
        m_folder.reset();
        m_outer.reset();
    }

    // Each CWD argument in turn, with the expected reply (true: 250) and
    // the current directory after it.
    void change_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QList<bool>>("accepted");
        QTest::addColumn<QString>("current");
        QTest::newRow("start at root") << QStringList{} << QList<bool>{} << "/";
        QTest::newRow("empty argument changes nothing")
            << QStringList{""} << QList<bool>{true} << "/";
        QTest::newRow("relative") << QStringList{"sub"} << QList<bool>{true} << "/sub/";
        QTest::newRow("appended to current")
            << QStringList{"sub", "deeper"} << QList<bool>{true, true} << "/sub/deeper/";
        QTest::newRow("same name twice: second names nothing")
            << QStringList{"sub", "sub"} << QList<bool>{true, false} << "/sub/";
        QTest::newRow("trailing separators")
            << QStringList{"sub\\deeper\\"} << QList<bool>{true} << "/sub/deeper/";
        QTest::newRow("absolute from below")
            << QStringList{"sub", "/a"} << QList<bool>{true, true} << "/a/";
        QTest::newRow("backslash absolute")
            << QStringList{"sub", "\\a"} << QList<bool>{true, true} << "/a/";
        QTest::newRow("drive letter is ignored")
            << QStringList{"sub", "C:\\a"} << QList<bool>{true, true} << "/a/";
        QTest::newRow("parent") << QStringList{"sub/deeper", ".."} << QList<bool>{true, true}
                                << "/sub/";
        QTest::newRow("parent at root stays at root")
            << QStringList{"..", "../.."} << QList<bool>{true, true} << "/";
        QTest::newRow("climbing out lands inside")
            << QStringList{"sub", "../../../a"} << QList<bool>{true, true} << "/a/";
        QTest::newRow("system path names nothing inside")
            << QStringList{"/etc"} << QList<bool>{false} << "/";
        QTest::newRow("drive root is the served root")
            << QStringList{"sub", "C:\\"} << QList<bool>{true, true} << "/";
        QTest::newRow("a file is no directory")
            << QStringList{"top.txt"} << QList<bool>{false} << "/";
        QTest::newRow("link out refused") << QStringList{"outlink"} << QList<bool>{false} << "/";
        QTest::newRow("link inside followed")
            << QStringList{"inlink"} << QList<bool>{true} << "/inlink/";
        QTest::newRow("malformed name")
            << QStringList{QString::fromLatin1("a\0b", 3)} << QList<bool>{false} << "/";
        QTest::newRow("name too long")
            << QStringList{QString(5000, QLatin1Char('n'))} << QList<bool>{false} << "/";
    }
    void change()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QList<bool>, accepted);
        QFETCH(QString, current);
        CFtpCurrentDir dir(*m_folder);
        QList<bool> got;
        for (const QString& argument : arguments)
            got << dir.Change(argument);
        QCOMPARE(got, accepted);
        QCOMPARE(dir.Path(), current);
    }

    void file_data()
    {
        QTest::addColumn<QString>("cwd");
        QTest::addColumn<QString>("argument");
        QTest::addColumn<QString>("local"); // relative to the served folder; empty: refused
        QTest::newRow("in current") << "sub"
                                    << "file"
                                    << "/sub/file";
        QTest::newRow("relative path from current") << "sub"
                                                    << "deeper/new"
                                                    << "/sub/deeper/new";
        QTest::newRow("absolute") << "sub"
                                  << "/top.txt"
                                  << "/top.txt";
        QTest::newRow("drive and backslashes") << "sub"
                                               << "C:\\sub\\file"
                                               << "/sub/file";
        QTest::newRow("dots cannot climb out") << ""
                                               << "../../outside/secret"
                                               << "/outside/secret";
        QTest::newRow("absolute system path stays inside") << ""
                                                           << "/etc/passwd"
                                                           << "/etc/passwd";
        QTest::newRow("behind a link out") << ""
                                           << "outlink/secret"
                                           << "";
        QTest::newRow("new file behind a link out") << ""
                                                    << "outlink/new"
                                                    << "";
    }
    void file()
    {
        QFETCH(QString, cwd);
        QFETCH(QString, argument);
        QFETCH(QString, local);
        CFtpCurrentDir dir(*m_folder);
        QVERIFY(dir.Change(cwd));
        const CServedFolder::SResolved target = dir.File(argument);
        QCOMPARE(target.inside, !local.isEmpty());
        QCOMPARE(target.localPath, local.isEmpty() ? QString() : m_folder->Root() + local);
    }

    void listTarget_data()
    {
        QTest::addColumn<QString>("cwd");
        QTest::addColumn<QString>("argument");
        QTest::addColumn<QString>("target"); // empty: names nothing
        QTest::newRow("no argument") << "sub"
                                     << ""
                                     << "/sub";
        QTest::newRow("options") << "sub"
                                 << "-la"
                                 << "/sub";
        QTest::newRow("folder") << ""
                                << "sub"
                                << "/sub";
        QTest::newRow("file") << "sub"
                              << "file"
                              << "/sub/file";
        QTest::newRow("nothing") << ""
                                 << "none"
                                 << "";
        QTest::newRow("link out") << ""
                                  << "outlink"
                                  << "";
        QTest::newRow("outside by dots") << ""
                                         << "../outside"
                                         << "";
    }
    void listTarget()
    {
        QFETCH(QString, cwd);
        QFETCH(QString, argument);
        QFETCH(QString, target);
        CFtpCurrentDir dir(*m_folder);
        QVERIFY(dir.Change(cwd));
        QCOMPARE(dir.ListTarget(argument).value_or(QString()), target);
    }

private:
    std::unique_ptr<QTemporaryDir> m_outer;
    std::unique_ptr<CServedFolder> m_folder;
};

QTEST_APPLESS_MAIN(tst_CFtpCurrentDir)
#include "tst_CFtpCurrentDir.moc"
