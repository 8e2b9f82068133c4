#include "fileserver/tftp/CTftpNegotiation.h"

#include <QtTest>

namespace {

// "name=value name=value" as options, and back.
CTftpPacket::COptions Options(const QByteArray& text)
{
    CTftpPacket::COptions options;
    for (const QByteArray& pair : text.split(' ')) {
        const qsizetype equals = pair.indexOf('=');
        if (equals > 0)
            options.append({pair.left(equals), pair.mid(equals + 1)});
    }
    return options;
}

QByteArray Text(const CTftpPacket::COptions& options)
{
    QByteArrayList pairs;
    for (const CTftpPacket::SOption& option : options)
        pairs.append(option.name + '=' + option.value);
    return pairs.join(' ');
}

constexpr int kRead = CTftpPacket::etoReadRequest;
constexpr int kWrite = CTftpPacket::etoWriteRequest;
constexpr qint64 kFileSize = 123456;
// Room for ten 512-byte blocks.
const qint64 kTenSmallBlocks = 10 * CTftpNegotiation::DatagramCost(512);

} // namespace

class tst_CTftpNegotiation final : public QObject {
    Q_OBJECT

private slots:
    void negotiate_data()
    {
        QTest::addColumn<int>("request");
        QTest::addColumn<QByteArray>("requested");
        QTest::addColumn<QByteArray>("oack");
        QTest::addColumn<int>("blockSize");
        QTest::addColumn<int>("windowSize");
        QTest::addColumn<int>("timeoutS");
        QTest::addColumn<qint64>("fileSize");

        QTest::newRow("none") << kRead << QByteArray() << QByteArray() << 512 << 1 << 0
                              << kFileSize;
        QTest::newRow("unknown only: no OACK") << kRead << QByteArray("multicast= rollover=0")
                                               << QByteArray() << 512 << 1 << 0 << kFileSize;
        QTest::newRow("unknown among known")
            << kRead << QByteArray("utimeout=500 blksize=1024") << QByteArray("blksize=1024")
            << 1024 << 1 << 0 << kFileSize;
        QTest::newRow("blksize 7 refused")
            << kRead << QByteArray("blksize=7") << QByteArray() << 512 << 1 << 0 << kFileSize;
        QTest::newRow("blksize 8") << kRead << QByteArray("blksize=8") << QByteArray("blksize=8")
                                   << 8 << 1 << 0 << kFileSize;
        QTest::newRow("blksize 65464")
            << kWrite << QByteArray("blksize=65464") << QByteArray("blksize=65464") << 65464 << 1
            << 0 << kFileSize;
        QTest::newRow("blksize 65465 answered with 65464")
            << kWrite << QByteArray("blksize=65465") << QByteArray("blksize=65464") << 65464 << 1
            << 0 << kFileSize;
        QTest::newRow("not a number refused")
            << kRead << QByteArray("blksize=+1024 timeout=1s tsize=-1 windowsize=0x10")
            << QByteArray() << 512 << 1 << 0 << kFileSize;
        QTest::newRow("tsize of a read is the file's size")
            << kRead << QByteArray("tsize=0") << QByteArray("tsize=123456") << 512 << 1 << 0
            << kFileSize;
        QTest::newRow("tsize of an empty file left out")
            << kRead << QByteArray("tsize=0") << QByteArray() << 512 << 1 << 0 << qint64(0);
        QTest::newRow("tsize of a write is the client's")
            << kWrite << QByteArray("tsize=99") << QByteArray("tsize=99") << 512 << 1 << 0
            << kFileSize;
        QTest::newRow("timeout 0 refused")
            << kRead << QByteArray("timeout=0") << QByteArray() << 512 << 1 << 0 << kFileSize;
        QTest::newRow("timeout 1") << kRead << QByteArray("timeout=1") << QByteArray("timeout=1")
                                   << 512 << 1 << 1 << kFileSize;
        QTest::newRow("timeout 255") << kRead << QByteArray("timeout=255")
                                     << QByteArray("timeout=255") << 512 << 1 << 255 << kFileSize;
        QTest::newRow("timeout 256 refused")
            << kRead << QByteArray("timeout=256") << QByteArray() << 512 << 1 << 0 << kFileSize;
        QTest::newRow("windowsize within the buffer")
            << kRead << QByteArray("windowsize=8") << QByteArray("windowsize=8") << 512 << 8 << 0
            << kFileSize;
        QTest::newRow("windowsize cut to the buffer")
            << kRead << QByteArray("windowsize=65535") << QByteArray("windowsize=10") << 512 << 10
            << 0 << kFileSize;
        QTest::newRow("windowsize cut by the block size, after it in the request")
            << kWrite << QByteArray("windowsize=16 blksize=1024")
            << QByteArray("windowsize=7 blksize=1024") << 1024 << 7 << 0 << kFileSize;
        QTest::newRow("windowsize of one huge block")
            << kRead << QByteArray("blksize=65464 windowsize=4")
            << QByteArray("blksize=65464 windowsize=1") << 65464 << 1 << 0 << kFileSize;
        QTest::newRow("windowsize 0 refused")
            << kRead << QByteArray("windowsize=0") << QByteArray() << 512 << 1 << 0 << kFileSize;
        QTest::newRow("windowsize 65536 refused") << kRead << QByteArray("windowsize=65536")
                                                  << QByteArray() << 512 << 1 << 0 << kFileSize;
        QTest::newRow("all four in the client's order, first of a repeat counts")
            << kRead << QByteArray("tsize=0 timeout=3 blksize=1428 windowsize=2 blksize=9000")
            << QByteArray("tsize=123456 timeout=3 blksize=1428 windowsize=2") << 1428 << 2 << 3
            << kFileSize;
    }
    void negotiate()
    {
        QFETCH(qint64, fileSize);
        QFETCH(int, request);
        QFETCH(QByteArray, requested);
        QFETCH(QByteArray, oack);
        QFETCH(int, blockSize);
        QFETCH(int, windowSize);
        QFETCH(int, timeoutS);
        const STftpNegotiated result =
            CTftpNegotiation::Negotiate(static_cast<CTftpPacket::ETftpOpcode>(request),
                                        Options(requested), {fileSize, kTenSmallBlocks});
        QCOMPARE(Text(result.acknowledged), oack);
        QCOMPARE(result.blockSize, blockSize);
        QCOMPARE(result.windowSize, windowSize);
        QCOMPARE(result.timeoutS, timeoutS);
    }
};

QTEST_APPLESS_MAIN(tst_CTftpNegotiation)
#include "tst_CTftpNegotiation.moc"
