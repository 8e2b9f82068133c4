#include "fileserver/ftp/CFtpPort.h"

#include <QtTest>

class tst_CFtpPort final : public QObject {
    Q_OBJECT

private slots:
    void dataPort_data()
    {
        QTest::addColumn<QString>("argument");
        QTest::addColumn<qint64>("port");
        QTest::addColumn<bool>("valid");
        QTest::newRow("the address is ignored") << "10,0,0,5,4,1" << qint64(1025) << true;
        QTest::newRow("highest") << "1,2,3,4,255,255" << qint64(65535) << true;
        QTest::newRow("each field's leading number") << "1,2,3,4, 4x,1z" << qint64(1025) << true;
        QTest::newRow("no number is 0") << "1,2,3,4,abc,21" << qint64(21) << true;
        QTest::newRow("no sign") << "1,2,3,4,-1,+2" << qint64(0) << false;
        QTest::newRow("missing fields are 0") << "1,2,3,4,1" << qint64(256) << true;
        QTest::newRow("extra fields ignored") << "1,2,3,4,0,80,9,9" << qint64(80) << true;
        QTest::newRow("no range check") << "1,2,3,4,256,0" << qint64(65536) << false;
        QTest::newRow("too large for 32 bits")
            << "1,2,3,4,99999999999999,0" << qint64(256) * 4294967295 << false;
        QTest::newRow("non-ASCII digits are no number")
            << "1,2,3,4,\u0664,\u0661" << qint64(0) << false;
    }
    void dataPort()
    {
        QFETCH(QString, argument);
        QFETCH(qint64, port);
        QFETCH(bool, valid);
        QCOMPARE(CFtpPort::DataPort(argument), port);
        QCOMPARE(CFtpPort::IsValidPort(port), valid);
    }
};

QTEST_APPLESS_MAIN(tst_CFtpPort)
#include "tst_CFtpPort.moc"
