#include "console/help/Wicklow.h"
#include "tests/console/help/HttpTestClient.h"
#include "tests/kit/TestFiles.h"

#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QByteArray kPage = "<!DOCTYPE html><html><body>Address book</body></html>\n";
const QByteArray kHtml = "text/html; charset=utf-8";
const QByteArray kPlain = "text/plain; charset=utf-8";
const QByteArray kCss = "body { margin: 0; }\n";

quint16 Port(const Wicklow& server)
{
    return quint16(server.BaseUrl().port());
}

} // namespace

class tst_Wicklow final : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(TestFiles::Write(Root() + "/help/index.html", kPage));
        QVERIFY(TestFiles::Write(Root() + "/help/guide.css", kCss));
        QVERIFY(TestFiles::Write(m_folder.filePath("secret.txt"), "secret\n"));
        QVERIFY(QFile::link(m_folder.filePath("secret.txt"), Root() + "/help/escape.html"));
        QCOMPARE(m_server.StartListening(Root(), 0), Wicklow::kOk);
    }

    // GET and HEAD only (a HEAD gets the length without the body); a path
    // the web root refuses is 403, a missing one 404.
    void serves_data()
    {
        QTest::addColumn<QByteArray>("request"); // method and path
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("type");
        QTest::addColumn<QByteArray>("body"); // what a GET gets
        const QByteArray css = "text/css; charset=utf-8", forbidden = "403 Forbidden\n";
        QTest::newRow("page") << QByteArray("GET /help/index.html") << 200 << kHtml << kPage;
        QTest::newRow("folder") << QByteArray("GET /help/") << 200 << kHtml << kPage;
        QTest::newRow("style sheet") << QByteArray("GET /help/guide.css") << 200 << css << kCss;
        QTest::newRow("HEAD") << QByteArray("HEAD /help/") << 200 << kHtml << kPage;
        QTest::newRow("out of the root")
            << QByteArray("GET /../secret.txt") << 403 << kPlain << forbidden;
        QTest::newRow("link out of the root")
            << QByteArray("GET /help/escape.html") << 403 << kPlain << forbidden;
        QTest::newRow("missing page")
            << QByteArray("GET /help/none.html") << 404 << kPlain << QByteArray("404 Not Found\n");
        for (const char* method : {"POST", "PUT", "DELETE", "OPTIONS", "PATCH", "TRACE"})
            QTest::newRow(method) << method + QByteArray(" /help/index.html") << 405 << kPlain
                                  << QByteArray("405 Method Not Allowed\n");
    }
    void serves()
    {
        QFETCH(QByteArray, request);
        QFETCH(int, status);
        QFETCH(QByteArray, type);
        QFETCH(QByteArray, body);
        const bool head = request.startsWith("HEAD");
        const SHttpResponse response = RawHttpRequest(
            Port(m_server),
            request + " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 4\r\n\r\nbody", head);
        QCOMPARE(response.status, status);
        QCOMPARE(response.headers.value("content-type"), type);
        QCOMPARE(response.headers.value("content-length"), QByteArray::number(body.size()));
        QCOMPARE(response.body, head ? QByteArray() : body);
        QCOMPARE(response.headers.value("allow"), QByteArray(status == 405 ? "GET, HEAD" : ""));
    }

    void listensOnLoopbackOnly()
    {
        QVERIFY(m_server.IsListening());
        QCOMPARE(m_server.BaseUrl(),
                 QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(Port(m_server))));
        QTcpSocket other;
        other.connectToHost(QHostAddress(QStringLiteral("127.0.0.2")), Port(m_server));
        QVERIFY(!other.waitForConnected(5000));
    }

    void portHeldByAnotherSocket()
    {
        Wicklow server;
        QSignalSpy status(&server, &Wicklow::OnStatusChange);
        QCOMPARE(server.StartListening(Root(), Port(m_server)), Wicklow::kAddressInUse);
        QCOMPARE(status.count(), 1);
        QCOMPARE(status.at(0).at(0).value<long>(), Wicklow::kStatusPortInUse);
        QVERIFY(!server.IsListening());
        QVERIFY(server.BaseUrl().isEmpty());
    }

    // Empty, missing, or a file: no folder to serve.
    void missingRootFolder()
    {
        for (const QString& folder : {QString(), Root() + "/none", Root() + "/help/guide.css"}) {
            Wicklow server;
            QSignalSpy status(&server, &Wicklow::OnStatusChange);
            QCOMPARE(server.OpenRootFolder(folder), Wicklow::kPathNotFound);
            QCOMPARE(server.StartListening(folder, 0), Wicklow::kPathNotFound);
            QVERIFY(!server.IsListening() && status.isEmpty());
        }
    }

    void restartServesTheNewFolder()
    {
        QTemporaryDir other;
        QVERIFY(TestFiles::Write(other.filePath("help/index.html"), "other guide"));
        Wicklow server;
        QCOMPARE(server.StartListening(Root(), 0), Wicklow::kOk);
        const quint16 first = Port(server);
        QCOMPARE(server.StartListening(other.path(), 0), Wicklow::kOk);
        QCOMPARE(RawHttpRequest(Port(server), RequestLine("GET", "/help/")).body, "other guide");
        QTcpServer again; // the first listener has gone
        QVERIFY(again.listen(QHostAddress::LocalHost, first));
    }

    // The guide as the build puts it beside the executables: a copy of the
    // source, every page linked from the contents, every link leading to a file.
    void guide()
    {
        const QDir built(PELION_BUILT_WWWROOT "/help");
        const QStringList pages = built.entryList({"*.html"}, QDir::Files);
        QVERIFY(pages.contains("index.html"));
        const QString contents = TestFiles::ReadText(built.filePath("index.html"));
        const QRegularExpression link(R"((?:href|src)="([^"#:]+)(?:#[^"]*)?")");
        for (const QString& page : pages) {
            const QString html = TestFiles::ReadText(built.filePath(page));
            QCOMPARE(html, TestFiles::ReadText(PELION_SOURCE_WWWROOT "/help/" + page));
            QVERIFY(html.startsWith("<!DOCTYPE html>")
                    && html.contains("<meta charset=\"utf-8\">"));
            QVERIFY(html.contains(QRegularExpression("<title>[^<]+</title>")));
            QVERIFY2(contents.contains("href=\"" + page + '"'), qPrintable(page));
            for (auto it = link.globalMatch(html); it.hasNext();) {
                const QString target = it.next().captured(1);
                QVERIFY2(built.exists(target), qPrintable(page + ": " + target));
            }
        }
    }

private:
    QString Root() const { return m_folder.filePath("root"); }

    QTemporaryDir m_folder;
    Wicklow m_server;
};

QTEST_GUILESS_MAIN(tst_Wicklow)
#include "tst_Wicklow.moc"
