#include "fileserver/tftp/CTftpNegotiation.h"

#include <QtTest>

class tst_CTftpNegotiation final : public QObject {
    Q_OBJECT
private slots:
    void negotiate_data()
    {
        QTest::addColumn<int>("request");
        QTest::addColumn<QByteArray>("requested"); // "name=value name=value"
        QTest::addColumn<QByteArray>("oack");
        QTest::addColumn<qint64>("fileSize");
        QTest::addColumn<int>("serverRollover");
        const auto row = [](const char* name, int request, const char* requested, const char* oack,
                            qint64 fileSize = 123456, int serverRollover = 1) {
            QTest::newRow(name) << request << QByteArray(requested) << QByteArray(oack) << fileSize
                                << serverRollover;
        };
        const int read = CTftpPacket::etoReadRequest;
        const int write = CTftpPacket::etoWriteRequest;
        row("unknown only: no OACK", read, "multicast= utimeout=500", "");
        row("unknown among known", read, "utimeout=500 blksize=1024", "blksize=1024");
        row("blksize 7 refused", read, "blksize=7", "");
        row("blksize 8", read, "blksize=8", "blksize=8");
        row("blksize 65465 answered with 65464", write, "blksize=65465", "blksize=65464");
        row("not a number refused", read, "blksize=+1024 timeout=1s tsize=-1 windowsize=0x10", "");
        row("tsize of a read is the file's size", read, "tsize=0", "tsize=123456");
        row("tsize of an empty file left out", read, "tsize=0", "", 0);
        row("tsize of a write is the client's", write, "tsize=99", "tsize=99");
        row("timeout 0 refused", read, "timeout=0", "");
        row("timeout 1", read, "timeout=1", "timeout=1");
        row("timeout 255", read, "timeout=255", "timeout=255");
        row("timeout 256 refused", read, "timeout=256", "");
        row("windowsize cut to the buffer", read, "windowsize=65535", "windowsize=10");
        row("windowsize cut by the block size, after it in the request", write,
            "windowsize=16 blksize=1024", "windowsize=7 blksize=1024");
        row("windowsize 0 refused", read, "windowsize=0", "");
        row("windowsize 65536 refused", read, "windowsize=65536", "");
        row("rollover 0 asked of a server with 1", read, "rollover=0", "rollover=0");
        row("rollover 1 asked of a server with 0", write, "rollover=1", "rollover=1", 1, 0);
        row("rollover not asked: the server's own", read, "blksize=8", "blksize=8", 1, 0);
        row("rollover 2 refused, the server's own stays", read, "rollover=2 rollover=0", "", 1, 0);
        row("all four in the client's order, first of a repeat counts", read,
            "tsize=0 timeout=3 blksize=1428 windowsize=2 blksize=9000",
            "tsize=123456 timeout=3 blksize=1428 windowsize=2");
    }
    void negotiate()
    {
        QFETCH(int, request);
        QFETCH(QByteArray, requested);
        QFETCH(QByteArray, oack);
        QFETCH(qint64, fileSize);
        QFETCH(int, serverRollover);
        const QByteArray pairs = requested.replace('=', '\0').replace(' ', '\0') + '\0';
        const auto options = CTftpPacket::DecodeRequest(QByteArray("\0\1f\0octet\0", 10) + pairs);
        // Room for ten 512-byte blocks.
        const STftpNegotiated result = CTftpNegotiation::Negotiate(
            CTftpPacket::ETftpOpcode(request), options->options,
            {fileSize, 10 * CTftpNegotiation::DatagramCost(512), quint16(serverRollover)});
        QByteArrayList answered;
        QHash<QByteArray, int> values{
            {"blksize", 512}, {"windowsize", 1}, {"timeout", 0}, {"rollover", serverRollover}};
        for (const CTftpPacket::SOption& option : result.acknowledged) {
            answered.append(option.name + '=' + option.value);
            values[option.name] = option.value.toInt();
        }
        QCOMPARE(answered.join(' '), oack);
        QCOMPARE(result.blockSize, values["blksize"]);
        QCOMPARE(result.windowSize, values["windowsize"]);
        QCOMPARE(result.timeoutS, values["timeout"]);
        QCOMPARE(result.rollover, values["rollover"]);
    }
};

QTEST_APPLESS_MAIN(tst_CTftpNegotiation)
#include "tst_CTftpNegotiation.moc"
