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

// The value of name among options, or otherwise.
int Value(const CTftpPacket::COptions& options, const QByteArray& name, int otherwise)
{
    for (const CTftpPacket::SOption& option : options) {
        if (option.name == name)
            return option.value.toInt();
    }
    return otherwise;
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
        QTest::addColumn<qint64>("fileSize");
        const auto row = [](const char* name, int request, const char* requested, const char* oack,
                            qint64 fileSize = kFileSize) {
            QTest::newRow(name) << request << QByteArray(requested) << QByteArray(oack) << fileSize;
        };
        row("unknown only: no OACK", kRead, "multicast= rollover=0", "");
        row("unknown among known", kRead, "utimeout=500 blksize=1024", "blksize=1024");
        row("blksize 7 refused", kRead, "blksize=7", "");
        row("blksize 8", kRead, "blksize=8", "blksize=8");
        row("blksize 65464", kWrite, "blksize=65464", "blksize=65464");
        row("blksize 65465 answered with 65464", kWrite, "blksize=65465", "blksize=65464");
        row("not a number refused", kRead, "blksize=+1024 timeout=1s tsize=-1 windowsize=0x10", "");
        row("tsize of a read is the file's size", kRead, "tsize=0", "tsize=123456");
        row("tsize of an empty file left out", kRead, "tsize=0", "", 0);
        row("tsize of a write is the client's", kWrite, "tsize=99", "tsize=99");
        row("timeout 0 refused", kRead, "timeout=0", "");
        row("timeout 1", kRead, "timeout=1", "timeout=1");
        row("timeout 255", kRead, "timeout=255", "timeout=255");
        row("timeout 256 refused", kRead, "timeout=256", "");
        row("windowsize within the buffer", kRead, "windowsize=8", "windowsize=8");
        row("windowsize cut to the buffer", kRead, "windowsize=65535", "windowsize=10");
        row("windowsize cut by the block size, after it in the request", kWrite,
            "windowsize=16 blksize=1024", "windowsize=7 blksize=1024");
        row("windowsize 0 refused", kRead, "windowsize=0", "");
        row("windowsize 65536 refused", kRead, "windowsize=65536", "");
        row("all four in the client's order, first of a repeat counts", kRead,
            "tsize=0 timeout=3 blksize=1428 windowsize=2 blksize=9000",
            "tsize=123456 timeout=3 blksize=1428 windowsize=2");
    }
    void negotiate()
    {
        QFETCH(int, request);
        QFETCH(QByteArray, requested);
        QFETCH(QByteArray, oack);
        QFETCH(qint64, fileSize);
        const STftpNegotiated result =
            CTftpNegotiation::Negotiate(static_cast<CTftpPacket::ETftpOpcode>(request),
                                        Options(requested), {fileSize, kTenSmallBlocks});
        QCOMPARE(Text(result.acknowledged), oack);
        // The transfer runs with what was acknowledged, else as without options.
        QCOMPARE(result.blockSize, Value(result.acknowledged, "blksize", 512));
        QCOMPARE(result.windowSize, Value(result.acknowledged, "windowsize", 1));
        QCOMPARE(result.timeoutS, Value(result.acknowledged, "timeout", 0));
    }
};

QTEST_APPLESS_MAIN(tst_CTftpNegotiation)
#include "tst_CTftpNegotiation.moc"
