#include "console/help/CWebRoot.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {

void WriteFile(const QString& path, const QByteArray& content)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(content);
}

} // namespace

// Layout of the test folder:
//   root/index.html, root/help/index.html, root/help/guide.css, root/.hidden,
//   root/help/escape.html -> outside/secret.txt (a link out of the root),
//   root/help/inside.html -> root/index.html (a link that stays inside),
//   root/linked -> outside (a folder link out of the root),
//   outside/secret.txt
class tst_CWebRoot final : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_folder.isValid());
        WriteFile(Root() + "/index.html", "<html>root</html>");
        WriteFile(Root() + "/help/index.html", "<html>guide</html>");
        WriteFile(Root() + "/help/guide.css", "body{}");
        WriteFile(Root() + "/help/a b.html", "<html>blank</html>");
        WriteFile(Root() + "/.hidden", "hidden");
        WriteFile(Outside() + "/secret.txt", "secret");
        QVERIFY(QFile::link(Outside() + "/secret.txt", Root() + "/help/escape.html"));
        QVERIFY(QFile::link(Root() + "/index.html", Root() + "/help/inside.html"));
        QVERIFY(QFile::link(Outside(), Root() + "/linked"));
    }

    void resolve_data()
    {
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<int>("target");
        QTest::addColumn<QString>("file"); // relative to the root
        const int file = int(EWebTarget::File);
        const int notFound = int(EWebTarget::NotFound);
        const int forbidden = int(EWebTarget::Forbidden);
        QTest::newRow("guide page") << QByteArray("/help/index.html") << file << "help/index.html";
        QTest::newRow("folder gives its index")
            << QByteArray("/help/") << file << "help/index.html";
        QTest::newRow("folder without slash") << QByteArray("/help") << file << "help/index.html";
        QTest::newRow("root") << QByteArray("/") << file << "index.html";
        QTest::newRow("encoded blank") << QByteArray("/help/a%20b.html") << file << "help/a b.html";
        QTest::newRow("dot segment") << QByteArray("/help/./guide.css") << file << "help/guide.css";
        QTest::newRow("doubled slashes")
            << QByteArray("//help//guide.css") << file << "help/guide.css";
        QTest::newRow("link inside the root")
            << QByteArray("/help/inside.html") << file << "index.html";
        QTest::newRow("missing") << QByteArray("/help/none.html") << notFound << "";
        QTest::newRow("double encoded dots")
            << QByteArray("/%252e%252e/secret.txt") << notFound << "";
        QTest::newRow("parent") << QByteArray("/../outside/secret.txt") << forbidden << "";
        QTest::newRow("parent inside") << QByteArray("/help/../index.html") << forbidden << "";
        QTest::newRow("encoded dots")
            << QByteArray("/%2e%2e/outside/secret.txt") << forbidden << "";
        QTest::newRow("upper-case encoded dots")
            << QByteArray("/help/%2E%2E/%2E%2E/outside/secret.txt") << forbidden << "";
        QTest::newRow("encoded slash")
            << QByteArray("/help/..%2f..%2foutside/secret.txt") << forbidden << "";
        QTest::newRow("backslash")
            << QByteArray("/help/..\\..\\outside\\secret.txt") << forbidden << "";
        QTest::newRow("encoded backslash")
            << QByteArray("/help/..%5c..%5csecret.txt") << forbidden << "";
        QTest::newRow("encoded NUL") << QByteArray("/help/index.html%00.css") << forbidden << "";
        QTest::newRow("hidden file") << QByteArray("/.hidden") << forbidden << "";
        QTest::newRow("file link out") << QByteArray("/help/escape.html") << forbidden << "";
        QTest::newRow("folder link out") << QByteArray("/linked/secret.txt") << forbidden << "";
        QTest::newRow("relative path") << QByteArray("help/index.html") << forbidden << "";
    }
    void resolve()
    {
        QFETCH(QByteArray, path);
        QFETCH(int, target);
        QFETCH(QString, file);
        const CWebRoot root(Root());
        QVERIFY(root.Exists());
        const SWebResolution resolution = root.Resolve(path);
        QCOMPARE(int(resolution.target), target);
        if (target == int(EWebTarget::File))
            QCOMPARE(resolution.filePath, QFileInfo(Root() + "/" + file).canonicalFilePath());
        else
            QVERIFY(resolution.filePath.isEmpty());
    }

    void missingFolder_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::newRow("empty") << QString();
        QTest::newRow("missing") << m_folder.filePath("none");
        QTest::newRow("a file") << m_folder.filePath("outside/secret.txt");
    }
    void missingFolder()
    {
        QFETCH(QString, folder);
        const CWebRoot root(folder);
        QVERIFY(!root.Exists());
        QCOMPARE(root.Resolve("/index.html").target, EWebTarget::NotFound);
    }

    void contentType_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("type");
        QTest::newRow("html") << "index.html" << QByteArray("text/html; charset=utf-8");
        QTest::newRow("upper-case htm") << "OLD.HTM" << QByteArray("text/html; charset=utf-8");
        QTest::newRow("css") << "guide.css" << QByteArray("text/css; charset=utf-8");
        QTest::newRow("script") << "toc.js" << QByteArray("text/javascript; charset=utf-8");
        QTest::newRow("png") << "toolbar.png" << QByteArray("image/png");
        QTest::newRow("svg") << "logo.svg" << QByteArray("image/svg+xml");
        QTest::newRow("no extension") << "README" << QByteArray("application/octet-stream");
        QTest::newRow("other extension") << "image.bin" << QByteArray("application/octet-stream");
    }
    void contentType()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, type);
        QCOMPARE(CWebRoot::ContentType(name), type);
    }

private:
    QString Root() const { return m_folder.filePath("root"); }
    QString Outside() const { return m_folder.filePath("outside"); }

    QTemporaryDir m_folder;
};

QTEST_GUILESS_MAIN(tst_CWebRoot)
#include "tst_CWebRoot.moc"
