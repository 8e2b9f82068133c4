#include "fileserver/folder/CServedFolder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

// The one table of paths that try to leave the served folder; the FTP and
// TFTP tests check only that they go through here.
class tst_CServedFolder final : public QObject {
    Q_OBJECT

private slots:
    void normalize_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("current");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<bool>("climbed");
        const auto row = [](const char* name, const char* path, const char* current,
                            const char* expected, bool climbed) {
            QTest::newRow(name) << QString(path) << QString(current) << QString(expected)
                                << climbed;
        };
        row("relative", "a/b", "/x", "/x/a/b", false);
        row("backslashes", "a\\b\\", "/", "/a/b", false);
        row("absolute", "/a", "/x/y", "/a", false);
        row("absolute backslash", "\\a", "/x", "/a", false);
        row("drive absolute", "C:\\a\\b", "/x", "/a/b", false);
        row("drive relative", "d:a", "/x", "/x/a", false);
        row("drive root", "C:\\", "/x", "/", false);
        row("dots", "./a/../b/.", "/", "/b", false);
        row("parent", "..", "/x/y", "/x", false);
        row("parent at root", "..", "/", "/", true);
        row("escape to a system file", "../../etc/passwd", "/x", "/etc/passwd", true);
        row("climbing out lands inside", "../../../a", "/x", "/a", true);
        row("empty", "", "/x", "/x", false);
    }
    void normalize()
    {
        QFETCH(QString, path);
        QFETCH(QString, current);
        QFETCH(QString, expected);
        QFETCH(bool, climbed);
        bool climbedAboveRoot = !climbed;
        QCOMPARE(CServedFolder::Normalize(path, current, &climbedAboveRoot), expected);
        QCOMPARE(climbedAboveRoot, climbed);
    }

    // Layout: outside/secret next to served/, which holds sub/file and links.
    void resolve_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("inside");
        QTest::newRow("plain file") << "/sub/file" << true;
        QTest::newRow("new file") << "/sub/new" << true;
        QTest::newRow("new file in new folder") << "/nothere/new" << true;
        QTest::newRow("system path stays inside") << "/etc/passwd" << true;
        QTest::newRow("link to inside") << "/inlink/file" << true;
        QTest::newRow("file behind link out") << "/outlink/secret" << false;
        QTest::newRow("new file behind link out") << "/outlink/new" << false;
        QTest::newRow("link to outside file") << "/filelink" << false;
        QTest::newRow("dangling link") << "/dangling" << false;
        QTest::newRow("dots through a link out") << "/sub/../outlink/secret" << false;
    }
    void resolve()
    {
        QFETCH(QString, path);
        QFETCH(bool, inside);
        QTemporaryDir outer;
        QDir top(outer.path());
        QVERIFY(top.mkpath("served/sub") && top.mkpath("outside"));
        for (const char* name : {"outside/secret", "served/sub/file"}) {
            QFile file(top.filePath(name));
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        const QString served = top.filePath("served");
        QVERIFY(QFile::link(top.filePath("outside"), served + "/outlink"));
        QVERIFY(QFile::link(served + "/sub", served + "/inlink"));
        QVERIFY(QFile::link(top.filePath("outside/secret"), served + "/filelink"));
        QVERIFY(QFile::link(top.filePath("outside/none"), served + "/dangling"));

        const CServedFolder folder(served);
        const CServedFolder::SResolved resolved = folder.Resolve(path);
        QCOMPARE(resolved.inside, inside);
        QCOMPARE(resolved.localPath,
                 inside ? folder.Root() + CServedFolder::Normalize(path) : QString());
    }
};

QTEST_GUILESS_MAIN(tst_CServedFolder)
#include "tst_CServedFolder.moc"
