#include "console/equipment/CEquipmentRequest.h"

#include <QtTest>

class tst_CEquipmentRequest final : public QObject {
    Q_OBJECT

private slots:
    void probeIsExact()
    {
        const QByteArray expected = "POST http://10.1.2.3/Snmp.Get HTTP/1.1\r\n"
                                    "Accept: */*\r\n"
                                    "x-requested-with: XMLHttpRequest\r\n"
                                    "Content-Type: application/json\r\n"
                                    "Host: 10.1.2.3\r\n"
                                    "Content-Length: 15\r\n"
                                    "Connection: Keep -Alive\r\n"
                                    "Pragma: no -cache\r\n"
                                    "\r\n"
                                    "[\"1.2.1.1.2.0\"]";
        QCOMPARE(CEquipmentRequest::Probe(QStringLiteral("10.1.2.3")), expected);
    }

    void login_data()
    {
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QByteArray>("length");
        QTest::addColumn<QByteArray>("body");
        QTest::newRow("defaults: 21 bytes")
            << "SYSTEM"
            << "KORVELAN" << QByteArray("21") << QByteArray("[\"SYSTEM\",\"KORVELAN\"]");
        QTest::newRow("quote and backslash escaped")
            << "A\"B"
            << "C\\D" << QByteArray("15") << QByteArray("[\"A\\\"B\",\"C\\\\D\"]");
        QTest::newRow("a quote cannot end the string")
            << "X\",\"Y"
            << "Z" << QByteArray("15") << QByteArray("[\"X\\\",\\\"Y\",\"Z\"]");
        QTest::newRow("control characters as \\u00XX")
            << "A\nB"
            << "\t" << QByteArray("21") << QByteArray("[\"A\\u000aB\",\"\\u0009\"]");
        QTest::newRow("length in bytes, not characters")
            << QString::fromUtf8("ÄRGER") << "X" << QByteArray("14")
            << QByteArray("[\"\xc3\x84RGER\",\"X\"]");
        QTest::newRow("longer credentials, longer body")
            << "ADMINISTRATOR"
            << "SECRET" << QByteArray("26") << QByteArray("[\"ADMINISTRATOR\",\"SECRET\"]");
    }

    void login()
    {
        QFETCH(QString, user);
        QFETCH(QString, password);
        QFETCH(QByteArray, length);
        QFETCH(QByteArray, body);
        QCOMPARE(QByteArray::number(body.size()), length);
        const QByteArray expected = "POST http://172.20.253.13/Snmp.Login HTTP/1.1\r\n"
                                    "Accept: */*\r\n"
                                    "x-requested-with: XMLHttpRequest\r\n"
                                    "Content-Type: application/json\r\n"
                                    "Accept-Encoding: gzip, deflate\r\n"
                                    "Host: 172.20.253.13\r\n"
                                    "Content-Length: "
                                    + length
                                    + "\r\n"
                                      "Connection: Keep -Alive\r\n"
                                      "Pragma: no -cache\r\n"
                                      "\r\n"
                                    + body;
        QCOMPARE(CEquipmentRequest::Login(QStringLiteral("172.20.253.13"), user, password),
                 expected);
    }
};

QTEST_GUILESS_MAIN(tst_CEquipmentRequest)
#include "tst_CEquipmentRequest.moc"
