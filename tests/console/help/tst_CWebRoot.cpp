#include "console/help/CWebRoot.h"
#include "tests/kit/TestFiles.h"

#include <QTemporaryDir>
#include <QtTest>

Q_DECLARE_METATYPE(EWebTarget)

class tst_CWebRoot final : public QObject {
    Q_OBJECT

private slots:
    // root/{index.html,.hidden,help/{index.html,guide.css,a b.html}}, and
    // links: help/escape.html out to outside/secret.txt, help/inside.html to
    // root/index.html, linked out to outside/.
    void initTestCase()
    {
        for (const char* file : {"root/index.html", "root/.hidden", "root/help/index.html",
                                 "root/help/guide.css", "root/help/a b.html", "outside/secret.txt"})
            QVERIFY(TestFiles::Write(m_folder.filePath(file), file));
        QVERIFY(QFile::link(m_folder.filePath("outside/secret.txt"), Root("help/escape.html")));
        QVERIFY(QFile::link(Root("index.html"), Root("help/inside.html")));
        QVERIFY(QFile::link(m_folder.filePath("outside"), Root("linked")));
    }

    // Decoded once, judged segment by segment; a link counts by where it ends.
    void resolve_data()
    {
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<EWebTarget>("target");
        QTest::addColumn<QString>("file"); // in the root
        const EWebTarget F = EWebTarget::File, N = EWebTarget::NotFound, X = EWebTarget::Forbidden;
        const char* const index = "help/index.html";
        const struct {
            const char* name;
            const char* path;
            EWebTarget target;
            const char* file;
        } rows[] = {{"guide page", "/help/index.html", F, index},
                    {"folder gives its index", "/help/", F, index},
                    {"folder without slash", "/help", F, index},
                    {"root", "/", F, "index.html"},
                    {"encoded blank", "/help/a%20b.html", F, "help/a b.html"},
                    {"dot segment", "/help/./guide.css", F, "help/guide.css"},
                    {"doubled slashes", "//help//guide.css", F, "help/guide.css"},
                    {"link inside the root", "/help/inside.html", F, "index.html"},
                    {"missing", "/help/none.html", N, ""},
                    {"double encoded dots", "/%252e%252e/secret.txt", N, ""},
                    {"parent", "/../outside/secret.txt", X, ""},
                    {"parent inside", "/help/../index.html", X, ""},
                    {"encoded dots", "/%2e%2e/outside/secret.txt", X, ""},
                    {"upper-case encoded dots", "/help/%2E%2E/%2E%2E/outside/secret.txt", X, ""},
                    {"encoded slash", "/help/..%2f..%2foutside/secret.txt", X, ""},
                    {"backslash", "/help/..\\..\\outside\\secret.txt", X, ""},
                    {"encoded backslash", "/help/..%5c..%5csecret.txt", X, ""},
                    {"encoded NUL", "/help/index.html%00.css", X, ""},
                    {"hidden file", "/.hidden", X, ""},
                    {"file link out", "/help/escape.html", X, ""},
                    {"folder link out", "/linked/secret.txt", X, ""},
                    {"relative path", "help/index.html", X, ""}};
        for (const auto& row : rows)
            QTest::newRow(row.name) << QByteArray(row.path) << row.target << QString(row.file);
    }
    void resolve()
    {
        QFETCH(QByteArray, path);
        QFETCH(EWebTarget, target);
        QFETCH(QString, file);
        const SWebResolution resolution = CWebRoot(Root("")).Resolve(path);
        QCOMPARE(resolution.target, target);
        QCOMPARE(resolution.filePath,
                 file.isEmpty() ? QString() : QFileInfo(Root(file)).canonicalFilePath());
    }

    // Fixed here, whatever the desktop's MIME database says.
    void contentType_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("type");
        const QByteArray html = "text/html; charset=utf-8", bytes = "application/octet-stream";
        QTest::newRow("html") << "index.html" << html;
        QTest::newRow("upper-case htm") << "OLD.HTM" << html;
        QTest::newRow("css") << "guide.css" << QByteArray("text/css; charset=utf-8");
        QTest::newRow("script") << "toc.js" << QByteArray("text/javascript; charset=utf-8");
        QTest::newRow("png") << "toolbar.png" << QByteArray("image/png");
        QTest::newRow("svg") << "logo.svg" << QByteArray("image/svg+xml");
        QTest::newRow("no extension") << "README" << bytes;
        QTest::newRow("other extension") << "image.bin" << bytes;
    }
    void contentType()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, type);
        QCOMPARE(CWebRoot::ContentType(name), type);
    }

private:
    QString Root(const QString& file) const { return m_folder.filePath("root/" + file); }

    QTemporaryDir m_folder;
};

QTEST_GUILESS_MAIN(tst_CWebRoot)
#include "tst_CWebRoot.moc"
