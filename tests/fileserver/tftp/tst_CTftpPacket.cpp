#include "fileserver/tftp/CTftpPacket.h"

#include <QtTest>

namespace {

QByteArray Bytes(const char* data, int size)
{
    return QByteArray(data, size);
}

} // namespace

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

    void encode_data()
    {
        QTest::addColumn<QByteArray>("encoded");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("data") << CTftpPacket::EncodeData(0x0102, "xyz") << Bytes("\0\3\1\2xyz", 7);
        QTest::newRow("empty data") << CTftpPacket::EncodeData(1, {}) << Bytes("\0\3\0\1", 4);
        QTest::newRow("ack 0") << CTftpPacket::EncodeAck(0) << Bytes("\0\4\0\0", 4);
        QTest::newRow("ack 65535") << CTftpPacket::EncodeAck(65535) << Bytes("\0\4\xff\xff", 4);
        QTest::newRow("file not found") << CTftpPacket::EncodeError(CTftpPacket::eteFileNotFound)
                                        << Bytes("\0\5\0\1File not found\0", 19);
        QTest::newRow("access violation")
            << CTftpPacket::EncodeError(CTftpPacket::eteAccessViolation)
            << Bytes("\0\5\0\2Access violation\0", 21);
        QTest::newRow("disk full") << CTftpPacket::EncodeError(CTftpPacket::eteDiskFull)
                                   << Bytes("\0\5\0\3Disk full or allocation exceeded.\0", 38);
        QTest::newRow("illegal operation")
            << CTftpPacket::EncodeError(CTftpPacket::eteIllegalOperation)
            << Bytes("\0\5\0\4Illegal TFTP operation.\0", 28);
        QTest::newRow("unknown transfer id")
            << CTftpPacket::EncodeError(CTftpPacket::eteUnknownTransferId)
            << Bytes("\0\5\0\5Unknown transfer ID\0", 24);
    }
    void encode()
    {
        QFETCH(QByteArray, encoded);
        QFETCH(QByteArray, expected);
        QCOMPARE(encoded.toHex(' '), expected.toHex(' '));
    }

    void nextBlockNumber_data()
    {
        QTest::addColumn<int>("block");
        QTest::addColumn<int>("next");
        QTest::newRow("first") << 0 << 1;
        QTest::newRow("second") << 1 << 2;
        QTest::newRow("byte carry") << 255 << 256;
        QTest::newRow("before last") << 65534 << 65535;
        QTest::newRow("after last comes 1") << 65535 << 1;
    }
    void nextBlockNumber()
    {
        QFETCH(int, block);
        QFETCH(int, next);
        QCOMPARE(int(CTftpPacket::NextBlockNumber(static_cast<quint16>(block))), next);
    }
};

QTEST_APPLESS_MAIN(tst_CTftpPacket)
#include "tst_CTftpPacket.moc"
