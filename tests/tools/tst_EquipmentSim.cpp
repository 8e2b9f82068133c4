#include "tests/console/EquipmentSimProcess.h"

#include <QTcpSocket>
#include <QtTest>

namespace {

const QString kAddress = QStringLiteral("127.0.0.50");

QByteArray Post(const QByteArray& path, const QByteArray& body)
{
    return "POST http://127.0.0.50" + path + " HTTP/1.1\r\nHost: 127.0.0.50\r\nContent-Length: "
           + QByteArray::number(body.size()) + "\r\nConnection: Keep -Alive\r\n\r\n" + body;
}

QByteArray Get(const QByteArray& target)
{
    return "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.50\r\n\r\n";
}

} // namespace

class tst_EquipmentSim final : public QObject {
    Q_OBJECT

private slots:
    void answers_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("statusLine");
        QTest::addColumn<QByteArray>("body"); // a part of it
        QTest::addColumn<QString>("printed"); // the last line printed
        const QByteArray probe = Post("/Snmp.Get", "[\"1.2.1.1.2.0\"]");
        QTest::newRow("probe: the version keyed by its identifier")
            << QStringList{"--version", "4.0.19"} << probe << QByteArray("HTTP/1.1 200 OK")
            << QByteArray("{\"1.2.1.1.2.0\":\"4.0.19\"}")
            << "POST http://127.0.0.50/Snmp.Get HTTP/1.1";
        QTest::newRow("probe, in pieces")
            << QStringList{"--version", "4.0.19", "--split"} << probe
            << QByteArray("HTTP/1.1 200 OK") << QByteArray("{\"1.2.1.1.2.0\":\"4.0.19\"}")
            << "POST http://127.0.0.50/Snmp.Get HTTP/1.1";
        QTest::newRow("probe, older interface")
            << QStringList{"--older"} << probe << QByteArray("HTTP/1.1 404 Not Found")
            << QByteArray() << "POST http://127.0.0.50/Snmp.Get HTTP/1.1";
        QTest::newRow("root page of the older interface")
            << QStringList{"--older"} << Get("/") << QByteArray("HTTP/1.1 200 OK")
            << QByteArray("<title>http://127.0.0.50 - Link</title>") << "GET / HTTP/1.1";
        QTest::newRow("home page")
            << QStringList() << Get("/home.html") << QByteArray("HTTP/1.1 200 OK")
            << QByteArray("<title>Equipment 127.0.0.50 - Home</title>")
            << "GET /home.html HTTP/1.1";
        QTest::newRow("no home page on the older interface")
            << QStringList{"--older"} << Get("/home.html") << QByteArray("HTTP/1.1 404 Not Found")
            << QByteArray() << "GET /home.html HTTP/1.1";
        QTest::newRow("bridge page: the user decoded, shown escaped")
            << QStringList() << Get("/orvaneBridge.asp?user=A%26B%3Cx")
            << QByteArray("HTTP/1.1 200 OK") << QByteArray("Rescue session of user A&amp;B&lt;x")
            << "bridge page for user A&B<x";
        QTest::newRow("login accepted")
            << QStringList{"--user", "A\"B", "--password", "C\\D"}
            << Post("/Snmp.Login", "[\"A\\\"B\",\"C\\\\D\"]") << QByteArray("HTTP/1.1 200 OK")
            << QByteArray("ok") << "login accepted for user A\"B";
        QTest::newRow("login refused")
            << QStringList() << Post("/Snmp.Login", "[\"SYSTEM\",\"WRONG\"]")
            << QByteArray("HTTP/1.1 401 Unauthorized") << QByteArray("refused")
            << "login refused for user SYSTEM";
        QTest::newRow("login that is not JSON")
            << QStringList() << Post("/Snmp.Login", "[\"SYSTEM\",KORVELAN]")
            << QByteArray("HTTP/1.1 400 Bad Request") << QByteArray() << "login malformed";
        QTest::newRow("not a request")
            << QStringList() << QByteArray("NONSENSE\r\n\r\n")
            << QByteArray("HTTP/1.1 400 Bad Request") << QByteArray() << "malformed request";
    }

    void answers()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, statusLine);
        QFETCH(QByteArray, body);
        QFETCH(QString, printed);
        CEquipmentSimProcess sim;
        QVERIFY(sim.Start(kAddress, arguments));
        QTcpSocket client;
        QByteArray reply;
        connect(&client, &QTcpSocket::readyRead, this, [&] { reply += client.readAll(); });
        client.connectToHost(QHostAddress(kAddress), sim.Port());
        QVERIFY(client.waitForConnected(10000));
        client.write(request);
        // It closes once it has answered.
        QTRY_COMPARE_WITH_TIMEOUT(client.state(), QAbstractSocket::UnconnectedState, 10000);
        QVERIFY2(reply.startsWith(statusLine + "\r\n"), reply.constData());
        QVERIFY2(reply.contains(body), reply.constData());
        QTRY_COMPARE(sim.Lines().value(sim.Lines().size() - 1), printed);
    }
};

QTEST_GUILESS_MAIN(tst_EquipmentSim)
#include "tst_EquipmentSim.moc"
