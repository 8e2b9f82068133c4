#include "platform/dialup/MSerialDevices.h"
#include "tests/kit/TestFiles.h"

#include <QTemporaryDir>
#include <QtTest>

class tst_MSerialDevices final : public QObject {
    Q_OBJECT

private slots:
    void listsTheSerialDevicesInNaturalOrder()
    {
        QTemporaryDir dev;
        for (const char* name : {"ttyS10", "ttyS2", "ttyUSB0", "ttyACM1", "tty0", "ttyX1", "null"})
            QVERIFY(TestFiles::Write(dev.filePath(QString::fromLatin1(name)), {}));
        QCOMPARE(ListSerialDevices(dev.path()),
                 (QStringList{dev.filePath("ttyACM1"), dev.filePath("ttyS2"),
                              dev.filePath("ttyS10"), dev.filePath("ttyUSB0")}));
        QVERIFY(ListSerialDevices(dev.filePath(QStringLiteral("missing"))).isEmpty());
    }
};

QTEST_GUILESS_MAIN(tst_MSerialDevices)
#include "tst_MSerialDevices.moc"
