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
};

QTEST_APPLESS_MAIN(tst_CFtpPort)
#include "tst_CFtpPort.moc"
