#include "tests/console/EquipmentSimProcess.h"

#include <QTcpSocket>
#include <QtTest>

namespace {

QByteArray Login(const QByteArray& body)
{
    return "POST http://127.0.0.50/Snmp.Login HTTP/1.1\r\nHost: 127.0.0.50\r\nContent-Length: "
           + QByteArray::number(body.size()) + "\r\nConnection: Keep -Alive\r\n\r\n" + body;
}

} // namespace

// The answers that the console's probe tests and the desktop scenario's
// browser do not meet: pages, login replies and malformed requests.
class tst_EquipmentSim final : public QObject {
    Q_OBJECT

private slots:
    void answers_data()
    {
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("reply"); // status|a part of the rest
        const auto row = [](const char* name, const char* arguments, const QByteArray& request,
                            const char* reply) {
            QTest::newRow(name) << QString(arguments) << request << QByteArray(reply);
        };
        const QByteArray home = "GET /home.html HTTP/1.1\r\n\r\n";
        row("home page", "", home, "200 OK|<title>Equipment 127.0.0.50 - Home</title>");
        row("no home page on the older interface", "--older", home, "404 Not Found|");
        row("bridge page: the user decoded, shown escaped", "",
            "GET /orvaneBridge.asp?user=A%26B%3Cx HTTP/1.1\r\n\r\n",
            "200 OK|Rescue session of user A&amp;B&lt;x");
        row("login accepted", "--user A\"B --password C\\D", Login("[\"A\\\"B\",\"C\\\\D\"]"),
            "200 OK|ok");
        row("login refused", "", Login("[\"SYSTEM\",\"WRONG\"]"), "401 Unauthorized|refused");
        row("login that is not JSON", "", Login("[\"SYSTEM\",KORVELAN]"), "400 Bad Request|");
        row("not a request", "", "NONSENSE\r\n\r\n", "400 Bad Request|");
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
        client.write(request);
        // It closes once it has answered.
        QTRY_COMPARE_WITH_TIMEOUT(client.state(), QAbstractSocket::UnconnectedState, 10000);
        const QByteArray received = client.readAll();
        const QList<QByteArray> parts = reply.split('|');
        QVERIFY2(received.startsWith("HTTP/1.1 " + parts[0] + "\r\n"), received.constData());
        QVERIFY2(received.contains(parts[1]), received.constData());
    }
};

QTEST_GUILESS_MAIN(tst_EquipmentSim)
#include "tst_EquipmentSim.moc"
