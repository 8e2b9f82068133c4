#include "console/help/Wicklow.h"
#include "tests/console/help/HttpTestClient.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTcpServer>
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

const QByteArray kGuidePage = "<!DOCTYPE html><html><body>Address book</body></html>\n";

} // namespace

class tst_Wicklow final : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_folder.isValid());
        WriteFile(Root() + "/help/index.html", kGuidePage);
        WriteFile(Root() + "/help/guide.css", "body { margin: 0; }\n");
        WriteFile(m_folder.filePath("secret.txt"), "secret\n");
        QVERIFY(QFile::link(m_folder.filePath("secret.txt"), Root() + "/help/escape.html"));
    }

    void servesGuidePages_data()
    {
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<QByteArray>("type");
        QTest::addColumn<QByteArray>("body");
        QTest::newRow("page") << QByteArray("/help/index.html")
                              << QByteArray("text/html; charset=utf-8") << kGuidePage;
        QTest::newRow("folder") << QByteArray("/help/") << QByteArray("text/html; charset=utf-8")
                                << kGuidePage;
        QTest::newRow("style sheet")
            << QByteArray("/help/guide.css") << QByteArray("text/css; charset=utf-8")
            << QByteArray("body { margin: 0; }\n");
    }
    void servesGuidePages()
    {
        QFETCH(QByteArray, path);
        QFETCH(QByteArray, type);
        QFETCH(QByteArray, body);
        Wicklow server;
        QCOMPARE(server.StartListening(Root(), 0), Wicklow::kOk);
        const SHttpResponse get = RawHttpRequest(Port(server), RequestLine("GET", path));
        QCOMPARE(get.status, 200);
        QCOMPARE(get.headers.value("content-type"), type);
        QCOMPARE(get.body, body);

        const SHttpResponse head = RawHttpRequest(Port(server), RequestLine("HEAD", path), true);
        QCOMPARE(head.status, 200);
        QCOMPARE(head.headers.value("content-type"), type);
        QCOMPARE(head.headers.value("content-length"), QByteArray::number(body.size()));
        QVERIFY(head.body.isEmpty());
    }

    void refusesPathsOutOfTheRoot_data()
    {
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<int>("status");
        QTest::newRow("parent") << QByteArray("/../secret.txt") << 403;
        QTest::newRow("parent from a folder") << QByteArray("/help/../../secret.txt") << 403;
        QTest::newRow("encoded dots") << QByteArray("/%2e%2e/secret.txt") << 403;
        QTest::newRow("encoded slashes") << QByteArray("/help%2f..%2f..%2fsecret.txt") << 403;
        QTest::newRow("mixed encoding") << QByteArray("/help/.%2E/.%2e/secret.txt") << 403;
        QTest::newRow("backslashes") << QByteArray("/help/..%5c..%5csecret.txt") << 403;
        QTest::newRow("symlink escape") << QByteArray("/help/escape.html") << 403;
        QTest::newRow("missing page") << QByteArray("/help/missing.html") << 404;
    }
    void refusesPathsOutOfTheRoot()
    {
        QFETCH(QByteArray, path);
        QFETCH(int, status);
        Wicklow server;
        QCOMPARE(server.StartListening(Root(), 0), Wicklow::kOk);
        const SHttpResponse response = RawHttpRequest(Port(server), RequestLine("GET", path));
        QCOMPARE(response.status, status);
        QVERIFY(!response.body.contains("secret"));
    }

    void refusesOtherMethods_data()
    {
        QTest::addColumn<QByteArray>("method");
        for (const char* method : {"POST", "PUT", "DELETE", "OPTIONS", "PATCH", "TRACE"})
            QTest::newRow(method) << QByteArray(method);
    }
    void refusesOtherMethods()
    {
        QFETCH(QByteArray, method);
        Wicklow server;
        QCOMPARE(server.StartListening(Root(), 0), Wicklow::kOk);
        QByteArray request = method
                             + " /help/index.html HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                               "Connection: close\r\nContent-Length: 4\r\n\r\nbody";
        const SHttpResponse response = RawHttpRequest(Port(server), request);
        QCOMPARE(response.status, 405);
        QCOMPARE(response.headers.value("allow"), QByteArray("GET, HEAD"));
        QVERIFY(!response.body.contains("Address book"));
    }

    void listensOnLoopbackOnly()
    {
        Wicklow server;
        QCOMPARE(server.StartListening(Root(), 0), Wicklow::kOk);
        QVERIFY(server.IsListening());
        const QUrl base = server.BaseUrl();
        QCOMPARE(base.scheme(), QStringLiteral("http"));
        QCOMPARE(base.host(), QStringLiteral("127.0.0.1"));
        QCOMPARE(base.path(), QStringLiteral("/"));
        // Another loopback address of this machine is not the listening one.
        QTcpSocket other;
        other.connectToHost(QHostAddress(QStringLiteral("127.0.0.2")), Port(server));
        QVERIFY(!other.waitForConnected(5000));
    }

    void portHeldByAnotherSocket()
    {
        QTcpServer holder;
        QVERIFY(holder.listen(QHostAddress::LocalHost, 0));
        Wicklow server;
        QSignalSpy status(&server, &Wicklow::OnStatusChange);
        QCOMPARE(server.StartListening(Root(), holder.serverPort()), Wicklow::kAddressInUse);
        QCOMPARE(status.count(), 1);
        QCOMPARE(status.at(0).at(0).value<long>(), Wicklow::kStatusPortInUse);
        QVERIFY(!server.IsListening());
        QVERIFY(server.BaseUrl().isEmpty());
    }

    void missingRootFolder_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::newRow("missing") << m_folder.filePath("none");
        QTest::newRow("empty") << QString();
        QTest::newRow("a file") << m_folder.filePath("secret.txt");
    }
    void missingRootFolder()
    {
        QFETCH(QString, folder);
        Wicklow server;
        QSignalSpy status(&server, &Wicklow::OnStatusChange);
        QCOMPARE(server.OpenRootFolder(folder), Wicklow::kPathNotFound);
        QCOMPARE(server.StartListening(folder, 0), Wicklow::kPathNotFound);
        QVERIFY(!server.IsListening());
        QCOMPARE(status.count(), 0);
    }

    void restartServesTheNewFolder()
    {
        QTemporaryDir other;
        WriteFile(other.filePath("help/index.html"), "other guide");
        Wicklow server;
        QCOMPARE(server.StartListening(Root(), 0), Wicklow::kOk);
        const quint16 first = Port(server);
        QCOMPARE(server.StartListening(other.path(), 0), Wicklow::kOk);
        QCOMPARE(RawHttpRequest(Port(server), RequestLine("GET", "/help/")).body,
                 QByteArray("other guide"));
        // The first listener has gone.
        QTcpServer again;
        QVERIFY(again.listen(QHostAddress::LocalHost, first));
    }

private:
    QString Root() const { return m_folder.filePath("root"); }
    static quint16 Port(const Wicklow& server) { return quint16(server.BaseUrl().port()); }

    QTemporaryDir m_folder;
};

QTEST_GUILESS_MAIN(tst_Wicklow)
#include "tst_Wicklow.moc"
