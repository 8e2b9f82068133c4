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

    // The body is a JSON array of the two, its length counted in bytes.
    void login_data()
    {
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QByteArray>("body");
        const char* const rows[][4] = {
            {"defaults", "SYSTEM", "KORVELAN", "[\"SYSTEM\",\"KORVELAN\"]"},
            {"quote and backslash escaped", "A\"B", "C\\D", "[\"A\\\"B\",\"C\\\\D\"]"},
            {"a quote cannot end the string", "X\",\"Y", "Z", "[\"X\\\",\\\"Y\",\"Z\"]"},
            {"control characters as \\u00XX", "A\nB", "\t", "[\"A\\u000aB\",\"\\u0009\"]"},
            {"length in bytes, not characters", "\xc3\x84RGER", "X", "[\"\xc3\x84RGER\",\"X\"]"}};
        for (const auto& row : rows)
            QTest::newRow(row[0]) << QString::fromUtf8(row[1]) << QString::fromUtf8(row[2])
                                  << QByteArray(row[3]);
    }

    void login()
    {
        QFETCH(QString, user);
        QFETCH(QString, password);
        QFETCH(QByteArray, body);
        const QByteArray length = QByteArray::number(body.size());
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
