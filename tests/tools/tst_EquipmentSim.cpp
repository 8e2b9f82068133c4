#include "tests/console/EquipmentSimProcess.h"

#include <QTcpSocket>
#include <QtTest>

namespace {

QByteArray Post(const char* path, const QByteArray& body)
{
    return "POST http://127.0.0.50/Snmp." + QByteArray(path)
           + " HTTP/1.1\r\nHost: 127.0.0.50\r\nContent-Length: " + QByteArray::number(body.size())
           + "\r\nConnection: Keep -Alive\r\n\r\n" + body;
}

QByteArray Login(const QByteArray& body)
{
    return Post("Login", body);
}

} // namespace

// The answers that the console's probe, rescue and browser tests do not
// meet: pages, login replies and malformed requests.
class tst_EquipmentSim final : public QObject {
    Q_OBJECT

private slots:
    void answers_data()
    {
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("reply"); // status line|parts of the rest
        const auto row = [](const char* name, const char* arguments, const QByteArray& request,
                            const char* reply) {
            QTest::newRow(name) << QString(arguments) << request << QByteArray(reply);
        };
        const QByteArray home = "GET /home.html HTTP/1.1\r\n\r\n";
        const QByteArray defaults = Login(R"(["SYSTEM","KORVELAN"])");
        row("home page", "", home, "HTTP/1.1 200 OK|<title>Equipment 127.0.0.50 - Home</title>");
        row("bridge page: the user decoded, shown escaped", "",
            "GET /orvaneBridge.asp?user=A%26B%3Cx HTTP/1.1\r\n\r\n",
            "HTTP/1.1 200 OK|Rescue session of user A&amp;B&lt;x");
        row("login accepted", "--user A\"B --password C\\D", Login("[\"A\\\"B\",\"C\\\\D\"]"),
            "HTTP/1.1 200 OK|ok");
        row("login refused", "", Login("[\"SYSTEM\",\"WRONG\"]"),
            "HTTP/1.1 401 Unauthorized|refused");
        row("login that is not JSON", "", Login("[\"SYSTEM\",KORVELAN]"),
            "HTTP/1.1 400 Bad Request|");
        row("not a request", "", "NONSENSE\r\n\r\n", "HTTP/1.1 400 Bad Request|");
        row("chunks with extensions and a trailer", "--chunked 4", defaults,
            "HTTP/1.1 200 OK|Transfer-Encoding: chunked\r\n|\r\n4;sim=1\r\n{\"re|"
            "\r\n0\r\nX-Sim-Trailer: end\r\n\r\n");
    }
    void answers()
    {
        QFETCH(QString, arguments);
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, reply);
        CEquipmentSimProcess sim;
        QVERIFY(sim.Start("127.0.0.50", arguments.split(' ', Qt::SkipEmptyParts)));
        QTcpSocket client;
        client.connectToHost(QHostAddress(sim.Address()), sim.Port());
        QVERIFY(client.waitForConnected(10000));
        QByteArray received;
        connect(&client, &QTcpSocket::readyRead, this, [&] { received += client.readAll(); });
        client.write(request);
        // It closes once it has answered, unless told to keep the connection.
        const bool kept = arguments.contains("--keep-alive");
        const QList<QByteArray> parts = reply.split('|');
        QTRY_VERIFY_WITH_TIMEOUT(
            received.contains(parts.last())
                && (kept || client.state() == QAbstractSocket::UnconnectedState),
            10000);
        QCOMPARE(client.state() == QAbstractSocket::ConnectedState, kept);
        QVERIFY2(received.startsWith(parts[0] + "\r\n"), received.constData());
        for (const QByteArray& part : parts)
            QVERIFY2(received.contains(part), received.constData());
    }
};

QTEST_GUILESS_MAIN(tst_EquipmentSim)
#include "tst_EquipmentSim.moc"
