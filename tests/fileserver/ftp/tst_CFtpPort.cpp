#include "fileserver/ftp/CFtpPort.h"

#include <QtTest>

class tst_CFtpPort final : public QObject {
    Q_OBJECT
private slots:
    void dataPort_data()
    {
        QTest::addColumn<QString>("argument");
        QTest::addColumn<qint64>("port");
        const auto row = [](const char* name, const QString& argument, qint64 port) {
            QTest::newRow(name) << argument << port;
        };
        row("the address is ignored", "10,0,0,5,4,1", 1025);
        row("highest", "1,2,3,4,255,255", 65535);
        row("each field's leading number", "1,2,3,4, 4x,1z", 1025);
        row("no number is 0", "1,2,3,4,abc,21", 21);
        row("no sign", "1,2,3,4,-1,+2", 0);
        row("missing fields are 0", "1,2,3,4,1", 256);
        row("extra fields ignored", "1,2,3,4,0,80,9,9", 80);
        row("no range check", "1,2,3,4,256,0", 65536);
        row("too large for 32 bits", "1,2,3,4,99999999999999,0", qint64(256) * 4294967295);
        row("non-ASCII digits are no number", "1,2,3,4,\u0664,\u0661", 0);
    }
    void dataPort()
    {
        QFETCH(QString, argument);
        QFETCH(qint64, port);
        QCOMPARE(CFtpPort::DataPort(argument), port);
    }
    void passiveArgument()
    {
        QCOMPARE(CFtpPort::PassiveArgument("127.0.0.1", 1025), QString("127,0,0,1,4,1"));
        QCOMPARE(CFtpPort::PassiveArgument("10.1.2.3", 65535), QString("10,1,2,3,255,255"));
        QCOMPARE(CFtpPort::PassiveArgument("::1", 1025), std::nullopt);
    }
    void extendedAddress_data()
    {
        QTest::addColumn<QString>("argument");
        QTest::addColumn<int>("protocol"); // 0: refused
        QTest::addColumn<int>("port");
        const auto row = [](const char* name, const QString& argument, int protocol, int port) {
            QTest::newRow(name) << argument << protocol << port;
        };
        row("IPv4", "|1|132.235.1.2|6275|", 1, 6275);
        row("IPv6, another delimiter", "!2!::1!65535!", 2, 65535);
        row("an unknown protocol is the caller's to refuse", "|3|anything|21|", 3, 21);
        row("address of the other protocol", "|1|::1|21|", 0, 0);
        row("not an address", "|2|host|21|", 0, 0);
        row("port 0", "|1|127.0.0.1|0|", 0, 0);
        row("port too large", "|1|127.0.0.1|65536|", 0, 0);
        row("a field missing", "|1|127.0.0.1|", 0, 0);
        row("a field too many", "|1|127.0.0.1|21|5|", 0, 0);
        row("no closing delimiter", "|1|127.0.0.1|21", 0, 0);
        row("a digit as delimiter", "1112711", 0, 0);
        row("empty", "", 0, 0);
    }
    void extendedAddress()
    {
        QFETCH(QString, argument);
        QFETCH(int, protocol);
        QFETCH(int, port);
        const auto address = CFtpPort::ExtendedAddress(argument);
        QCOMPARE(address ? address->protocol : 0, protocol);
        QCOMPARE(address ? address->port : 0, port);
    }
};

QTEST_APPLESS_MAIN(tst_CFtpPort)
#include "tst_CFtpPort.moc"
