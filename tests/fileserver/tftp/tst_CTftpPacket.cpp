#include "fileserver/tftp/CTftpPacket.h"

#include <QtTest>

namespace {

QByteArray Bytes(const char* data, int size)
{
    return QByteArray(data, size);
}

} // namespace

// The request parser. What the server encodes, and how it numbers blocks, is
// compared byte for byte in tst_CTftpTransfer and tst_CTftpSession.
class tst_CTftpPacket final : public QObject {
    Q_OBJECT

private slots:
    void decodeRequest_data()
    {
        QTest::addColumn<QByteArray>("datagram");
        QTest::addColumn<bool>("decoded");
        QTest::addColumn<int>("opcode");
        QTest::addColumn<QString>("fileName");
        QTest::newRow("read") << Bytes("\0\1a.bin\0octet\0", 14) << true << 1 << "a.bin";
        QTest::newRow("write") << Bytes("\0\2up.txt\0octet\0", 15) << true << 2 << "up.txt";
        QTest::newRow("first byte not examined")
            << Bytes("\x17\1a.bin\0octet\0", 14) << true << 1 << "a.bin";
        QTest::newRow("netascii mode") << Bytes("\0\1t\0netascii\0", 13) << true << 1 << "t";
        QTest::newRow("options behind the mode")
            << Bytes("\0\1f\0octet\0tsize\0000\0blksize\0001024\0", 31) << true << 1 << "f";
        QTest::newRow("no mode at all") << Bytes("\0\1f\0", 4) << true << 1 << "f";
        QTest::newRow("empty name") << Bytes("\0\1\0octet\0", 9) << true << 1 << "";
        QTest::newRow("path with drive")
            << Bytes("\0\1C:\\x\\y\0octet\0", 15) << true << 1 << "C:\\x\\y";
        QTest::newRow("utf-8 name") << QByteArray("\0\1\xc3\xa9t\xc3\xa9\0octet\0", 14) << true << 1
                                    << QString::fromUtf8("\xc3\xa9t\xc3\xa9");
        QTest::newRow("name without zero byte") << Bytes("\0\1a.bin", 7) << false << 0 << "";
        QTest::newRow("opcode only") << Bytes("\0\1", 2) << false << 0 << "";
        QTest::newRow("one byte") << Bytes("\1", 1) << false << 0 << "";
        QTest::newRow("empty") << QByteArray() << false << 0 << "";
        QTest::newRow("data opcode") << Bytes("\0\3a\0octet\0", 10) << false << 0 << "";
        QTest::newRow("ack opcode") << Bytes("\0\4\0\1", 4) << false << 0 << "";
        QTest::newRow("error opcode") << Bytes("\0\5\0\1x\0", 6) << false << 0 << "";
        QTest::newRow("opcode 6") << Bytes("\0\6a\0octet\0", 10) << false << 0 << "";
        QTest::newRow("opcode 0x0101 read by its second byte")
            << Bytes("\1\1a\0octet\0", 10) << true << 1 << "a";
    }
    void decodeRequest()
    {
        QFETCH(QByteArray, datagram);
        QFETCH(bool, decoded);
        QFETCH(int, opcode);
        QFETCH(QString, fileName);
        const auto request = CTftpPacket::DecodeRequest(datagram);
        QCOMPARE(request.has_value(), decoded);
        if (request) {
            QCOMPARE(int(request->opcode), opcode);
            QCOMPARE(request->fileName, fileName);
        }
    }

    void requestOptions_data()
    {
        QTest::addColumn<QByteArray>("datagram");
        QTest::addColumn<QByteArrayList>("options"); // name, value, name, value, ...
        QTest::newRow("none") << Bytes("\0\1f\0octet\0", 10) << QByteArrayList();
        QTest::newRow("two, names in lower case")
            << Bytes("\0\1f\0octet\0BlkSize\0001024\0tsize\0000\0", 31)
            << QByteArrayList{"blksize", "1024", "tsize", "0"};
        QTest::newRow("empty value kept, empty name left out")
            << Bytes("\0\2f\0octet\0x\0\0\0y\0timeout\0003\0", 26)
            << QByteArrayList{"x", "", "timeout", "3"};
        QTest::newRow("incomplete last pair left out")
            << Bytes("\0\1f\0octet\0blksize\0001024\0tsize\0000", 30)
            << QByteArrayList{"blksize", "1024"};
        QTest::newRow("mode without zero byte") << Bytes("\0\1f\0octet", 9) << QByteArrayList();
    }
    void requestOptions()
    {
        QFETCH(QByteArray, datagram);
        QFETCH(QByteArrayList, options);
        const auto request = CTftpPacket::DecodeRequest(datagram);
        QVERIFY(request);
        QByteArrayList decoded;
        for (const CTftpPacket::SOption& option : request->options)
            decoded << option.name << option.value;
        QCOMPARE(decoded, options);
    }
};

QTEST_APPLESS_MAIN(tst_CTftpPacket)
#include "tst_CTftpPacket.moc"
