#include "fileserver/folder/CServedFolder.h"
#include "platform/system/MRawFiles.h"
#include "tests/kit/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <unistd.h>

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
        row("drive absolute", "C:\\a\\b", "/x", "/a/b", false);
        row("drive relative", "d:a", "/x", "/x/a", false);
        row("drive root", "C:\\", "/x", "/", false);
        row("dots", "./a/../b/.", "/", "/b", false);
        row("parent", "..", "/x/y", "/x", false);
        row("parent at root", "..", "/", "/", true);
        row("escape to a system file", "../../etc/passwd", "/x", "/etc/passwd", true);
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
        QTest::newRow("NUL cuts a name to a link out")
            << QString::fromLatin1("/filelink\0x", 11) << false;
        QTest::newRow("NUL after a dangling link")
            << QString::fromLatin1("/dangling\0", 10) << false;
        QTest::newRow("NUL in a plain name") << QString::fromLatin1("/sub/file\0", 10) << false;
        QTest::newRow("line feed") << "/sub/fi\nle" << false;
        QTest::newRow("escape character") << "/sub/\x1b[2J" << false;
        QTest::newRow("DEL") << "/sub/\x7f" << false;
        QTest::newRow("C1 control") << QString::fromUtf8("/sub/\u0085") << false;
    }
    void hiddenName()
    {
        QVERIFY(CServedFolder::IsHiddenName(".profile"));
        QVERIFY(CServedFolder::IsHiddenName(".."));
        QVERIFY(!CServedFolder::IsHiddenName("a.b"));
        QVERIFY(!CServedFolder::IsHiddenName(""));
    }
    void resolve()
    {
        QFETCH(QString, path);
        QFETCH(bool, inside);
        QTemporaryDir outer;
        const QString served = MakeLayout(outer.path());
        const CServedFolder folder(served);
        const CServedFolder::SResolved resolved = folder.Resolve(path);
        QCOMPARE(resolved.inside, inside);
        QCOMPARE(resolved.localPath,
                 inside ? folder.Root() + CServedFolder::Normalize(path) : QString());
        if (!inside) {
            QVERIFY(!folder.OpenForRead(resolved));
            QVERIFY(!folder.CreateForWrite(resolved));
        }
        RemoveRawName(QFile::encodeName(served) + "/caf\xe9");
    }
    // The opens judge the file they opened: nothing outside is read, written
    // through a link or a hard link, or created; names need not be UTF-8.
    void open_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<bool>("readable");
        QTest::addColumn<bool>("writable");
        QTest::addColumn<bool>("rewritable"); // in place, from an offset
        QTest::newRow("plain file") << QByteArray("sub/file") << true << true << true;
        QTest::newRow("name that is not UTF-8") << QByteArray("caf\xe9") << true << true << true;
        QTest::newRow("link to outside file") << QByteArray("filelink") << false << true << false;
        QTest::newRow("hard link to outside file")
            << QByteArray("hardlink") << true << true << false;
        QTest::newRow("dangling link") << QByteArray("dangling") << false << true << false;
        QTest::newRow("folder") << QByteArray("sub") << false << false << false;
    }
    void open()
    {
        QFETCH(QByteArray, name);
        QFETCH(bool, readable);
        QFETCH(bool, writable);
        QFETCH(bool, rewritable);
        QTemporaryDir outer;
        const QString served = MakeLayout(outer.path());
        const CServedFolder folder(served);
        // Resolve's checks cannot see links with the name as Qt spells it.
        CServedFolder::SResolved target;
        target.inside = true;
        target.localPath = folder.Root() + '/' + FileNameText(name);
        QCOMPARE(bool(folder.OpenForRead(target)), readable);
        QVERIFY(!folder.OpenForRewrite(target, 100)); // beyond the end
        std::unique_ptr<QFile> rewritten = folder.OpenForRewrite(target, 2);
        QCOMPARE(bool(rewritten), rewritable);
        if (rewritten) {
            QCOMPARE(rewritten->write("XY"), 2);
            rewritten.reset();
            QCOMPARE(folder.OpenForRead(target)->readAll(), name == "sub/file" ? "seXY" : "raXY");
        }
        std::unique_ptr<QFile> written = folder.CreateForWrite(target);
        QCOMPARE(bool(written), writable);
        if (written)
            QCOMPARE(written->write("new"), 3);
        QCOMPARE(TestFiles::Read(outer.path() + "/outside/secret"), QByteArray("secret"));
        QVERIFY(!QFileInfo::exists(outer.path() + "/outside/none"));
        QVERIFY(RemoveRawName(QFile::encodeName(served) + "/caf\xe9")); // Qt cannot name it
    }

private:
    static QString MakeLayout(const QString& top)
    {
        QDir dir(top);
        dir.mkpath("served/sub");
        dir.mkpath("outside");
        for (const char* name : {"outside/secret", "served/sub/file"})
            TestFiles::Write(dir.filePath(name), "secret");
        const QString served = dir.filePath("served");
        QFile::link(dir.filePath("outside"), served + "/outlink");
        QFile::link(served + "/sub", served + "/inlink");
        QFile::link(dir.filePath("outside/secret"), served + "/filelink");
        QFile::link(dir.filePath("outside/none"), served + "/dangling");
        const QByteArray top8 = QFile::encodeName(top);
        ::link(top8 + "/outside/secret", top8 + "/served/hardlink");
        std::unique_ptr<QFile> raw = CreateRawForWrite(top8 + "/served/caf\xe9");
        if (raw)
            raw->write("raw");
        return served;
    }
};

QTEST_GUILESS_MAIN(tst_CServedFolder)
#include "tst_CServedFolder.moc"
