#include "console/help/MHttpRequestHead.h"
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

static QByteArray Host(const Wicklow& server)
{
    return "Host: 127.0.0.1:" + QByteArray::number(Port(server)) + "\r\n";
}

// The web root: every file holds its own name. Links: help/escape.html out
// to outside/secret.txt, help/inside.html to index.html, linked out to outside/.
class tst_Wicklow final : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        for (const char* file :
             {"index.html", ".hidden", "help/index.html", "help/guide.css", "help/a b.html",
              "OLD.HTM", "toc.js", "toolbar.png", "logo.svg", "README", "../outside/secret.txt"})
            QVERIFY(TestFiles::Write(Root(file), file));
        QVERIFY(TestFiles::Write(Root("big.bin"), QByteArray(256 * 1024, 'x')));
        QVERIFY(QFile::link(Root("../outside/secret.txt"), Root("help/escape.html")));
        QVERIFY(QFile::link(Root("index.html"), Root("help/inside.html")));
        QVERIFY(QFile::link(Root("../outside"), Root("linked")));
        QCOMPARE(m_server.StartListening(Root(""), 0), Wicklow::kOk);
    }
    // A path is decoded once and judged segment by segment, a link by where it ends: out of the
    // root is 403, nothing there 404. Types are fixed, whatever the desktop's MIME database says.
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
        row("HEAD /help/", 200, html, "help/index.html");
        row("GET /help/a%20b.html", 200, html, "help/a b.html");
        row("GET /help/./guide.css", 200, "text/css; charset=utf-8", "help/guide.css");
        row("GET /help/inside.html", 200, html, "index.html");
        row("GET /OLD.HTM", 200, html, "OLD.HTM");
        row("GET /toc.js", 200, "text/javascript; charset=utf-8", "toc.js");
        row("GET /toolbar.png", 200, "image/png", "toolbar.png");
        row("GET /logo.svg", 200, "image/svg+xml", "logo.svg");
        row("GET /README", 200, bytes, "README");
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
            Port(m_server), request + " HTTP/1.1\r\n" + Host(m_server) + "\r\n", head);
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
        QCOMPARE(RawHttpRequest(Port(server), RequestLine("GET", "/help/", Port(server))).body,
                 "other guide");
        QTcpServer again; // the first listener has gone
        QVERIFY(again.listen(QHostAddress::LocalHost, first));
    }
    // Request heads as they come off the wire, whole or in part.
    void parsesHeads_data()
    {
        QTest::addColumn<QByteArray>("received");
        QTest::addColumn<int>("status"); // EHttpHeadStatus
        QTest::addColumn<QByteArray>("target");
        QTest::addColumn<QByteArray>("host");
        QTest::addColumn<bool>("hasBody");
        QTest::addColumn<bool>("keepAlive");
        const auto row = [](const char* name, const QByteArray& received, EHttpHeadStatus status,
                            const char* target = "", const char* host = "", bool body = false,
                            bool keep = true) {
            QTest::newRow(name) << received << int(status) << QByteArray(target) << QByteArray(host)
                                << body << keep;
        };
        using E = EHttpHeadStatus;
        row("plain", "GET /a HTTP/1.1\r\nHost: h:1\r\n\r\n", E::Complete, "/a", "h:1");
        row("bare LF", "GET /a HTTP/1.1\nHost:h\n\nrest", E::Complete, "/a", "h");
        row("blank lines first", "\r\n\r\nGET / HTTP/1.1\r\nHost: h\r\n\r\n", E::Complete, "/",
            "h");
        row("1.0 no host", "GET / HTTP/1.0\r\n\r\n", E::Complete, "/", "", false, false);
        row("1.0 keep-alive", "GET / HTTP/1.0\r\nConnection: Keep-Alive\r\n\r\n", E::Complete, "/",
            "", false, true);
        row("close", "GET / HTTP/1.1\r\nHost: h\r\nConnection: close\r\n\r\n", E::Complete, "/",
            "h", false, false);
        row("length", "POST / HTTP/1.1\r\nHost: h\r\ncontent-length: 500000000\r\n\r\nxx",
            E::Complete, "/", "h", true);
        row("chunked", "PUT / HTTP/1.1\r\nHost: h\r\nTransfer-Encoding: chunked\r\n\r\n",
            E::Complete, "/", "h", true);
        row("no blank line yet", "GET / HTTP/1.1\r\nHost: h\r\n", E::Incomplete);
        row("empty", "", E::Incomplete);
        row("endless field", "GET / HTTP/1.1\r\nX: " + QByteArray(kMaxHttpHeadBytes, 'a'),
            E::TooLarge);
        row("many fields", "GET / HTTP/1.1\r\n" + QByteArray("A: b\r\n").repeated(2000),
            E::TooLarge);
        int number = 0;
        for (const char* malformed :
             {"GET / HTTP/1.1\r\n\r\n", "GET / HTTP/2.0\r\nHost: h\r\n\r\n",
              "GET /a b HTTP/1.1\r\nHost: h\r\n\r\n", "GET  HTTP/1.1\r\nHost: h\r\n\r\n",
              "G(T / HTTP/1.1\r\nHost: h\r\n\r\n", "GET /\r\n\r\n",
              "GET / HTTP/1.1\r\nHost: h\r\nHost: h\r\n\r\n",
              "GET / HTTP/1.1\r\nHost: h\r\n folded\r\n\r\n",
              "GET / HTTP/1.1\r\nHost: h\r\nNo colon\r\n\r\n",
              "GET / HTTP/1.1\r\nHost: h\r\nX: a\x01b\r\n\r\n",
              "GET / HTTP/1.1\r\nHost: h\r\nContent-Length: -1\r\n\r\n",
              "GET / HTTP/1.1\r\nHost: h\r\nContent-Length: 1\r\nContent-Length: 2\r\n\r\n"})
            QTest::addRow("malformed %d", ++number)
                << QByteArray(malformed) << int(E::Malformed) << QByteArray() << QByteArray()
                << false << true;
    }
    void parsesHeads()
    {
        QFETCH(QByteArray, received);
        const SHttpHeadParse parse = ParseHttpRequestHead(received);
        QTEST(int(parse.status), "status");
        QTEST(parse.head.target, "target");
        QTEST(parse.head.host, "host");
        QTEST(parse.head.hasBody, "hasBody");
        if (parse.status == EHttpHeadStatus::Complete) {
            QTEST(parse.head.keepAlive, "keepAlive");
            const QByteArray head = received.left(parse.length);
            QVERIFY(head.endsWith("\r\n\r\n") || head.endsWith("\n\n"));
            QVERIFY(!received.mid(parse.length).startsWith('\n'));
        }
    }
    void loopbackHosts_data()
    {
        QTest::addColumn<QByteArray>("host");
        QTest::addColumn<bool>("loopback");
        for (const char* host : {"127.0.0.1:8133", "localhost:8133", "LocalHost:8133"})
            QTest::newRow(host) << QByteArray(host) << true;
        for (const char* host : {"127.0.0.1", "localhost", "127.0.0.1:8134",
                                 "127.0.0.1:", "evil.example:8133", "127.0.0.2:8133", "[::1]:8133",
                                 "127.0.0.1:08133x", "localhost:08133", "localhost.:8133", ""})
            QTest::newRow(host) << QByteArray(host) << false;
    }
    void loopbackHosts()
    {
        QFETCH(QByteArray, host);
        QTEST(IsLoopbackHost(host, 8133), "loopback");
    }
    // The status and whether the connection ends (one left open answers a second request).
    void limits_data()
    {
        QTest::addColumn<QByteArray>("request"); // "%h" stands for a right Host field
        QTest::addColumn<int>("status");
        QTest::addColumn<bool>("closes");
        const auto row = [](const char* name, const QByteArray& request, int status, bool closes) {
            QTest::newRow(name) << request << status << closes;
        };
        row("right host", "GET / HTTP/1.1\r\n%h\r\n", 200, false);
        row("rebinding name", "GET / HTTP/1.1\r\nHost: evil.example:%p\r\n\r\n", 421, true);
        row("no host", "GET / HTTP/1.1\r\n\r\n", 400, true);
        row("GET with body", "GET / HTTP/1.1\r\n%hContent-Length: 5\r\n\r\nhello", 413, true);
        row("500 MB POST",
            "POST / HTTP/1.1\r\n%hContent-Length: 500000000\r\n\r\n" + QByteArray(64 * 1024, 'b'),
            405, true);
        row("DELETE", "DELETE / HTTP/1.1\r\n%h\r\n", 405, false);
        row("endless header", "GET / HTTP/1.1\r\nX: " + QByteArray(64 * 1024, 'a'), 431, true);
    }
    void limits()
    {
        QFETCH(QByteArray, request);
        QFETCH(bool, closes);
        request.replace("%h", Host(m_server)).replace("%p", QByteArray::number(Port(m_server)));
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, Port(m_server));
        socket.write(request);
        QByteArray received;
        QVERIFY(QTest::qWaitFor([&] { return (received += socket.readAll()).contains("\r\n\r\n"); },
                                10000));
        QTEST(received.split(' ').value(1).toInt(), "status");
        if (closes) {
            QTRY_COMPARE_WITH_TIMEOUT(socket.state(), QAbstractSocket::UnconnectedState, 10000);
            return;
        }
        const SHttpResponse next =
            RawHttpRequestOn(socket, "GET /README HTTP/1.1\r\n" + Host(m_server) + "\r\n");
        QCOMPARE(next.body, "README");
    }
    // Replies never read: the server stops reading (most requests stay with the client) and the
    // idle time-out ends the connection.
    void unreadPipelineStopsReading()
    {
        Wicklow server(QHostAddress(QHostAddress::LocalHost), ShortLimits());
        QCOMPARE(server.StartListening(Root(""), 0), Wicklow::kOk);
        QTcpSocket socket;
        socket.setReadBufferSize(1024);
        socket.connectToHost(QHostAddress::LocalHost, Port(server));
        const QByteArray one = "GET /big.bin HTTP/1.1\r\n" + Host(server)
                               + "X-Pad: " + QByteArray(1000, 'p') + "\r\n\r\n";
        constexpr int kRequests = 40000; // 40 MB: far more than the system's buffers hold
        qint64 taken = 0;
        connect(&socket, &QTcpSocket::bytesWritten, this, [&](qint64 bytes) { taken += bytes; });
        socket.write(one.repeated(kRequests));
        QTRY_COMPARE_WITH_TIMEOUT(socket.state(), QAbstractSocket::UnconnectedState, 30000);
        QVERIFY2(taken < one.size() * qint64(kRequests) / 2, qPrintable(QString::number(taken)));
    }
    // Half heads: beyond the cap closed at once, the rest by the idle time-out; then served again.
    void halfOpenConnectionsClosed()
    {
        Wicklow server(QHostAddress(QHostAddress::LocalHost), ShortLimits());
        QCOMPARE(server.StartListening(Root(""), 0), Wicklow::kOk);
        std::vector<std::unique_ptr<QTcpSocket>> sockets;
        for (int i = 0; i < 200; ++i) {
            sockets.push_back(std::make_unique<QTcpSocket>());
            sockets.back()->connectToHost(QHostAddress::LocalHost, Port(server));
            sockets.back()->write("GET / HTTP/1.1\r\n");
        }
        QTRY_COMPARE_WITH_TIMEOUT(server.ConnectionCount(), ShortLimits().maxConnections, 10000);
        const auto open = [&] {
            return std::count_if(sockets.begin(), sockets.end(), [](const auto& socket) {
                return socket->state() != QAbstractSocket::UnconnectedState;
            });
        };
        QTRY_COMPARE_WITH_TIMEOUT(open(), 0, 20000);
        QCOMPARE(server.ConnectionCount(), 0);
        QCOMPARE(RawHttpRequest(Port(server), RequestLine("GET", "/README", Port(server))).body,
                 "README");
    }
    // Every built page a copy of the source, linked from the contents, every link to a file.
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
    static SWicklowOptions ShortLimits()
    {
        SWicklowOptions options;
        options.idleTimeoutMs = 500;
        return options;
    }
    QString Root(const QString& file) const { return m_folder.filePath("root/" + file); }

    QTemporaryDir m_folder;
    Wicklow m_server;
};

QTEST_GUILESS_MAIN(tst_Wicklow)
#include "tst_Wicklow.moc"
