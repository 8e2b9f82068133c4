#include "console/help/Wicklow.h"
#include "tests/console/help/HttpTestClient.h"
#include "tests/kit/TestFiles.h"

#include <QRegularExpression>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

static quint16 Port(const Wicklow& server)
{
    return quint16(server.BaseUrl().port());
}

// The web root: every file holds its own name. Links: help/escape.html out
// to outside/secret.txt, help/inside.html to index.html, linked out to outside/.
class tst_Wicklow final : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        for (const char* file : {"index.html", ".hidden", "help/index.html", "help/guide.css",
                                 "help/a b.html", "OLD.HTM", "toc.js", "toolbar.png", "logo.svg",
                                 "README", "image.bin", "../outside/secret.txt"})
            QVERIFY(TestFiles::Write(Root(file), file));
        QVERIFY(QFile::link(Root("../outside/secret.txt"), Root("help/escape.html")));
        QVERIFY(QFile::link(Root("index.html"), Root("help/inside.html")));
        QVERIFY(QFile::link(Root("../outside"), Root("linked")));
        QCOMPARE(m_server.StartListening(Root(""), 0), Wicklow::kOk);
    }
    // GET and HEAD only (a HEAD gets the length without the body). A path is
    // decoded once and judged segment by segment, a link by where it ends:
    // out of the root is 403, nothing there 404. Types are fixed here,
    // whatever the desktop's MIME database says.
    void serves_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("type");
        QTest::addColumn<QByteArray>("body"); // a file's name, or the status text
        const auto row = [](const char* request, int status, const char* type = "",
                            const char* body = "") {
            const char* const texts[] = {"403 Forbidden\n", "404 Not Found\n",
                                         "405 Method Not Allowed\n"};
            QTest::newRow(request) << QByteArray(request) << status
                                   << QByteArray(status == 200 ? type : "text/plain; charset=utf-8")
                                   << QByteArray(status == 200 ? body : texts[status - 403]);
        };
        const char *html = "text/html; charset=utf-8", *bytes = "application/octet-stream";
        row("GET /help/index.html", 200, html, "help/index.html");
        row("GET /help/", 200, html, "help/index.html");
        row("GET /help", 200, html, "help/index.html");
        row("GET /", 200, html, "index.html");
        row("HEAD /help/", 200, html, "help/index.html");
        row("GET /help/a%20b.html", 200, html, "help/a b.html");
        row("GET /help/./guide.css", 200, "text/css; charset=utf-8", "help/guide.css");
        row("GET /help/inside.html", 200, html, "index.html");
        row("GET /OLD.HTM", 200, html, "OLD.HTM");
        row("GET /toc.js", 200, "text/javascript; charset=utf-8", "toc.js");
        row("GET /toolbar.png", 200, "image/png", "toolbar.png");
        row("GET /logo.svg", 200, "image/svg+xml", "logo.svg");
        row("GET /README", 200, bytes, "README");
        row("GET /image.bin", 200, bytes, "image.bin");
        row("GET /help/none.html", 404);
        row("GET /%252e%252e/outside/secret.txt", 404);
        for (const char* refused :
             {"GET /../outside/secret.txt", "GET /help/../index.html",
              "GET /%2e%2e/outside/secret.txt", "GET /help/%2E%2E/%2E%2E/outside/secret.txt",
              "GET /help/..%2f..%2foutside/secret.txt", "GET /help/..%5c..%5coutside%5csecret.txt",
              "GET /help/index.html%00.css", "GET /.hidden", "GET /help/escape.html",
              "GET /linked/secret.txt", "GET /help/..\\..\\outside\\secret.txt",
              "GET help/index.html"})
            row(refused, 403);
        row("POST /", 405);
    }
    void serves()
    {
        QFETCH(QByteArray, request);
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        const bool head = request.startsWith("HEAD");
        const SHttpResponse response = RawHttpRequest(
            Port(m_server),
            request + " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 4\r\n\r\nbody", head);
        QCOMPARE(response.status, status);
        QTEST(response.headers.value("content-type"), "type");
        QCOMPARE(response.headers.value("content-length"), QByteArray::number(body.size()));
        QCOMPARE(response.body, head ? QByteArray() : body);
        QCOMPARE(response.headers.value("allow"), QByteArray(status == 405 ? "GET, HEAD" : ""));
    }
    // A path no HTTP client sends (it reads "//help" as a host).
    void doubledSlashes()
    {
        QCOMPARE(CWebRoot(Root("")).Resolve("//help//guide.css").filePath,
                 QFileInfo(Root("help/guide.css")).canonicalFilePath());
    }
    void listensOnLoopbackOnly()
    {
        QCOMPARE(m_server.BaseUrl(),
                 QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(Port(m_server))));
        QTcpSocket other;
        other.connectToHost(QHostAddress(QStringLiteral("127.0.0.2")), Port(m_server));
        QVERIFY(!other.waitForConnected(5000));
    }
    void restartServesTheNewFolder()
    {
        QTemporaryDir other;
        QVERIFY(TestFiles::Write(other.filePath("help/index.html"), "other guide"));
        Wicklow server;
        QCOMPARE(server.StartListening(Root(""), 0), Wicklow::kOk);
        const quint16 first = Port(server);
        QCOMPARE(server.StartListening(other.path(), 0), Wicklow::kOk);
        QCOMPARE(RawHttpRequest(Port(server), RequestLine("GET", "/help/")).body, "other guide");
        QTcpServer again; // the first listener has gone
        QVERIFY(again.listen(QHostAddress::LocalHost, first));
    }
    // The guide beside the executables: every page a copy of the source,
    // linked from the contents, every link leading to a file.
    void guide()
    {
        const QDir built(PELION_BUILT_WWWROOT "/help");
        const QString contents = TestFiles::ReadText(built.filePath("index.html"));
        const QRegularExpression link(R"((?:href|src)="([^"#:]+)(?:#[^"]*)?")");
        for (const QString& page : built.entryList({"*.html"}, QDir::Files)) {
            const QString html = TestFiles::ReadText(built.filePath(page));
            QCOMPARE(html, TestFiles::ReadText(PELION_SOURCE_WWWROOT "/help/" + page));
            QVERIFY2(contents.contains("href=\"" + page + '"'), qPrintable(page));
            for (auto it = link.globalMatch(html); it.hasNext();)
                QVERIFY2(built.exists(it.next().captured(1)), qPrintable(page));
        }
        QVERIFY(!contents.isEmpty());
    }

private:
    QString Root(const QString& file) const { return m_folder.filePath("root/" + file); }

    QTemporaryDir m_folder;
    Wicklow m_server;
};

QTEST_GUILESS_MAIN(tst_Wicklow)
#include "tst_Wicklow.moc"
