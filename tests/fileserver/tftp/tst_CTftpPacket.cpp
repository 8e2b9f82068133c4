#include "fileserver/tftp/CTftpPacket.h"

#include <QtTest>

class tst_CTftpPacket final : public QObject {
    Q_OBJECT
private slots:
    void decodeRequest_data()
    {
        QTest::addColumn<QByteArray>("datagram");
        QTest::addColumn<int>("opcode"); // 0: not a request
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QByteArrayList>("options"); // name, value, name, value, ...
        const auto row = [](const char* name, const auto& bytes, int opcode, const char* fileName,
                            const QByteArrayList& options = {}) {
            QTest::newRow(name) << QByteArray(bytes, sizeof(bytes) - 1) << opcode
                                << QString::fromUtf8(fileName) << options;
        };
        row("first byte not examined", "\x17\1a.bin\0octet\0", 1, "a.bin");
        row("no mode at all", "\0\1f\0", 1, "f");
        row("empty name", "\0\1\0octet\0", 1, "");
        row("utf-8 name", "\0\1\xc3\xa9t\xc3\xa9\0octet\0", 1, "\xc3\xa9t\xc3\xa9");
        row("the name ends at the first zero byte", "\0\2dangle\0x\0octet\0", 2, "dangle");
        row("options, names in lower case", "\0\1f\0octet\0BlkSize\0001024\0tsize\0000\0", 1, "f",
            {"blksize", "1024", "tsize", "0"});
        row("empty value kept, empty name left out", "\0\2f\0octet\0x\0\0\0y\0timeout\0003\0", 2,
            "f", {"x", "", "timeout", "3"});
        row("incomplete last pair left out", "\0\1f\0octet\0blksize\0001024\0tsize\0000", 1, "f",
            {"blksize", "1024"});
        row("mode without zero byte: no options", "\0\1f\0octet", 1, "f");
        row("opcode only", "\0\1", 0, "");
        row("error opcode", "\0\5\0\1x\0", 0, "");
    }
    void decodeRequest()
    {
        QFETCH(QByteArray, datagram);
        QFETCH(int, opcode);
        QFETCH(QString, fileName);
        QFETCH(QByteArrayList, options);
        const auto request = CTftpPacket::DecodeRequest(datagram);
        QCOMPARE(request ? int(request->opcode) : 0, opcode);
        QByteArrayList decoded;
        for (const CTftpPacket::SOption& option :
             request ? request->options : CTftpPacket::COptions())
            decoded << option.name << option.value;
        QCOMPARE(request ? request->fileName : QString(), fileName);
        QCOMPARE(decoded, options);
    }
};

QTEST_APPLESS_MAIN(tst_CTftpPacket)
#include "tst_CTftpPacket.moc"
