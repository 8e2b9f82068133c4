#include "fileserver/tftp/CTftpTransfer.h"
#include "tests/fileserver/tftp/TftpTestClient.h"

#include <QIODevice>
#include <QtTest>

#include <algorithm>
#include <cstdlib>
#include <cstring>

using namespace tftptest;

namespace {

// What a step must come to, beside its packets.
enum EOutcome { eoWaits, eoGoesOn, eoEnds }; // no timer restart, timer restart, ended

// One input to a transfer and the step it must return.
struct SExchange {
    enum EInput { eiStart, eiDatagram, eiTick } input = eiStart;
    QByteArray datagram;
    bool fromClient = true;
    QByteArrayList answers; // the packets to the client (to the stranger), in order
    EOutcome outcome = eoWaits;
    QByteArray afterwards; // the packet AfterSend then brings; empty: none
};
using CScript = QList<SExchange>;

// One packet, or none when empty.
QByteArrayList One(const QByteArray& answer)
{
    return answer.isEmpty() ? QByteArrayList() : QByteArrayList{answer};
}

SExchange Start(const QByteArray& answer, EOutcome outcome = eoGoesOn)
{
    return {SExchange::eiStart, {}, true, One(answer), outcome, {}};
}
SExchange Got(const QByteArray& datagram, const QByteArray& answer = {}, EOutcome outcome = eoWaits)
{
    return {SExchange::eiDatagram, datagram, true, One(answer), outcome, {}};
}
SExchange GotMany(const QByteArray& datagram, const QByteArrayList& answers, EOutcome outcome)
{
    return {SExchange::eiDatagram, datagram, true, answers, outcome, {}};
}
SExchange FromStranger(const QByteArray& datagram,
                       const QByteArray& answer = Error(5, "Unknown transfer ID"))
{
    return {SExchange::eiDatagram, datagram, false, One(answer), eoWaits, {}};
}
SExchange Then(SExchange exchange, const QByteArray& afterwards, EOutcome outcome)
{
    exchange.afterwards = afterwards;
    exchange.outcome = outcome;
    return exchange;
}
SExchange Tick(const QByteArray& answer = {}, EOutcome outcome = eoWaits)
{
    return {SExchange::eiTick, {}, true, One(answer), outcome, {}};
}
CScript Ticks(int count, const QByteArray& answer)
{
    return CScript(count, Tick(answer));
}

// A file in memory whose reads and writes fail beyond limit bytes, as a
// failing or full disk does; -1: no limit.
class CMemoryFile final : public QIODevice {
public:
    CMemoryFile(const QByteArray& content, qint64 limit) : m_content(content), m_limit(limit) {}
    const QByteArray& Content() const { return m_content; }
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char* data, qint64 maxSize) override
    {
        const qint64 end = m_limit < 0 ? m_content.size() : std::min(m_content.size(), m_limit);
        if (m_limit >= 0 && m_readPos >= m_limit)
            return -1;
        const qint64 size = std::min(maxSize, end - m_readPos);
        std::memcpy(data, m_content.constData() + m_readPos, static_cast<size_t>(size));
        m_readPos += size;
        return size;
    }
    qint64 writeData(const char* data, qint64 size) override
    {
        if (m_limit >= 0 && m_content.size() + size > m_limit)
            return -1;
        m_content.append(data, size);
        return size;
    }

private:
    QByteArray m_content;
    const qint64 m_limit;
    qint64 m_readPos = 0;
};

QByteArray Block(int index, int size = 512)
{
    return QByteArray(size, static_cast<char>('a' + index));
}

QByteArray Oack(const QByteArray& options)
{
    return Word(6) + options;
}

// Eight-byte blocks index to index + count - 1 as DATA packets from that block number on.
QByteArrayList SmallBlocks(int index, int count)
{
    QByteArrayList packets;
    for (int i = index; i < index + count; ++i)
        packets.append(Data(static_cast<quint16>(i), Block(i, 8)));
    return packets;
}

QByteArray SmallFile(int blocks, const QByteArray& tail)
{
    QByteArray file;
    for (int i = 1; i <= blocks; ++i)
        file += Block(i, 8);
    return file + tail;
}

STftpNegotiated Negotiated(int blockSize, int windowSize, const QByteArray& oackOptions)
{
    STftpNegotiated negotiated{blockSize, windowSize, 0, {}};
    const QByteArrayList fields = oackOptions.split('\0');
    for (int i = 0; i + 1 < fields.size(); i += 2)
        negotiated.acknowledged.append({fields.at(i), fields.at(i + 1)});
    return negotiated;
}

// Feeds the script to a transfer on file and checks every step, with the
// AfterSend that the session calls once it has sent a step's packets; a
// write's file must come to file. commit: a write's commit is 1 called once,
// 0 never, -1 called once and fails.
void Run(int request, int lastBlock, const QByteArray& file, int limit, int commit,
         const STftpNegotiated& negotiated, const CScript& script)
{
    const bool reading = request == CTftpPacket::etoReadRequest;
    CMemoryFile device(reading ? file : QByteArray(), limit);
    QVERIFY(device.open((reading ? QIODevice::ReadOnly : QIODevice::WriteOnly)
                        | QIODevice::Unbuffered));
    int commits = 0;
    CTftpTransfer transfer(static_cast<CTftpPacket::ETftpOpcode>(request), device,
                           static_cast<quint16>(lastBlock), negotiated, [&commits, commit] {
                               ++commits;
                               return commit >= 0;
                           });

    for (int i = 0; i < script.size(); ++i) {
        const SExchange& exchange = script.at(i);
        const CTftpTransfer::SStep step =
            exchange.input == SExchange::eiStart ? transfer.Start()
            : exchange.input == SExchange::eiTick
                ? transfer.Tick()
                : transfer.Receive(exchange.datagram, exchange.fromClient);
        const CTftpTransfer::SStep after = step.ended ? step : transfer.AfterSend();
        const QByteArray where = "exchange " + QByteArray::number(i);
        QByteArrayList expected;
        for (const QByteArray& packet : exchange.answers + One(exchange.afterwards))
            expected.append(packet.toHex(' '));
        QByteArrayList sent;
        for (const QByteArray& packet : step.packets)
            sent.append(packet.toHex(' '));
        if (!step.ended) {
            for (const QByteArray& packet : after.packets)
                sent.append(packet.toHex(' '));
        }
        QVERIFY2(sent == expected, where + ": sent " + sent.join(" | "));
        QVERIFY2(after.ended == (exchange.outcome == eoEnds), where);
        QVERIFY2((step.restartTimer && !after.ended) == (exchange.outcome == eoGoesOn), where);
        QVERIFY2(step.toSender == (!exchange.fromClient && !step.packets.isEmpty()), where);
        QCOMPARE(transfer.IsEnded(), after.ended);
    }
    QCOMPARE(commits, std::abs(commit));
    if (!reading)
        QCOMPARE(device.Content(), file);
}

} // namespace

Q_DECLARE_METATYPE(SExchange)

class tst_CTftpTransfer final : public QObject {
    Q_OBJECT

private slots:
    void exchanges_data()
    {
        QTest::addColumn<int>("request");
        QTest::addColumn<int>("lastBlock");   // the count starts after it
        QTest::addColumn<QByteArray>("file"); // to send, or what a write stores
        QTest::addColumn<int>("limit");       // bytes the file can read or hold; -1: any
        QTest::addColumn<int>("commit");      // a write's commit: 1 called once, 0 never, -1 fails
        QTest::addColumn<CScript>("script");
        const int read = CTftpPacket::etoReadRequest;
        const int write = CTftpPacket::etoWriteRequest;
        const QByteArray tail("tail");
        const QByteArray file700 = Pattern(700);
        const QByteArray first = Data(1, file700.left(512));
        const QByteArray second = Data(2, file700.mid(512));
        const QByteArray illegal = Error(4, "Illegal TFTP operation.");
        const QByteArray diskFull = Error(3, "Disk full or allocation exceeded.");

        QTest::newRow("read: empty file is one empty block")
            << read << 0 << QByteArray() << -1 << 0
            << CScript{Start(Data(1, {})), Got(Ack(1), {}, eoEnds), Got(Ack(1), {}, eoEnds),
                       Tick({}, eoEnds)};
        QTest::newRow("read: 512 bytes end with an empty block")
            << read << 0 << Block(0) << -1 << 0
            << CScript{Start(Data(1, Block(0))), Got(Ack(1), Data(2, {}), eoGoesOn),
                       Got(Ack(2), {}, eoEnds)};
        QTest::newRow("read: ACK of the short block ends it")
            << read << 0 << file700 << -1 << 0
            << CScript{Start(first), Got(Ack(1), second, eoGoesOn), Got(Ack(2), {}, eoEnds)};
        QTest::newRow("read: block 65535 is followed by 1")
            << read << 65533 << Block(0) + Block(1) + Block(2) + tail << -1 << 0
            << CScript{Start(Data(65534, Block(0))),
                       Got(Ack(65534), Data(65535, Block(1)), eoGoesOn),
                       Got(Ack(65535), Data(1, Block(2)), eoGoesOn),
                       Got(Ack(0)),
                       Got(Ack(1), Data(2, tail), eoGoesOn),
                       Got(Ack(2), {}, eoEnds)};
        QTest::newRow("read: out-of-step ACKs wait for the tick")
            << read << 0 << file700 << -1 << 0
            << CScript{Start(first),    Got(Ack(0)), Got(Ack(2)),
                       Got(Ack(65535)), Tick(first), Got(Ack(1), second, eoGoesOn)};
        QTest::newRow("read: a repeated ACK sends nothing twice")
            << read << 0 << file700 << -1 << 0
            << CScript{Start(first), Got(Ack(1), second, eoGoesOn), Got(Ack(1)),
                       Got(Ack(2), {}, eoEnds)};
        QTest::newRow("read: 16 resends, the 17th tick ends it")
            << read << 0 << file700 << -1 << 0
            << CScript{Start(first)} + Ticks(16, first) + CScript{Tick({}, eoEnds)};
        QTest::newRow("read: progress starts the resends over")
            << read << 0 << file700 << -1 << 0
            << CScript{Start(first)} + Ticks(16, first) + CScript{Got(Ack(1), second, eoGoesOn)}
                   + Ticks(16, second) + CScript{Tick({}, eoEnds)};
        QTest::newRow("read: a stranger is told, the transfer goes on")
            << read << 0 << file700 << -1 << 0
            << CScript{Start(first),
                       FromStranger(Ack(1)),
                       FromStranger(Ack(0)),
                       FromStranger(Word(6)),
                       FromStranger(Error(5, "Unknown transfer ID"), {}),
                       FromStranger("\4", {}),
                       Tick(first),
                       Got(Ack(1), second, eoGoesOn)};
        QTest::newRow("read: what a read does not take") << read << 0 << file700 << -1 << 0
                                                         << CScript{Start(first),
                                                                    Got(Data(1, "x")),
                                                                    Got(Ack(1).left(3)),
                                                                    Got(Error(0, "stop")),
                                                                    Got({}),
                                                                    Got("\4"),
                                                                    Got(Request(1, "a"), illegal),
                                                                    Got(Request(2, "a"), illegal),
                                                                    Got(Word(6), illegal),
                                                                    Got(Word(0), illegal),
                                                                    Got(Ack(1), second, eoGoesOn)};
        QTest::newRow("read: a failed read is not the end of the file")
            << read << 0 << Block(0) + Block(1) << 512 << 0
            << CScript{Start(Data(1, Block(0))), Got(Ack(1), Error(0, "File read error"), eoEnds)};
        QTest::newRow("read: a file that cannot be read at all")
            << read << 0 << Block(0) << 0 << 0
            << CScript{Start(Error(0, "File read error"), eoEnds)};

        QTest::newRow("write: 1024 bytes end with an empty third block")
            << write << 0 << Block(1) + Block(2) << -1 << 1
            << CScript{Start(Ack(0)), Got(Data(1, Block(1)), Ack(1), eoGoesOn),
                       Got(Data(2, Block(2)), Ack(2), eoGoesOn), Got(Data(3, {}), Ack(3), eoEnds),
                       Got(Data(4, "x"), {}, eoEnds)};
        QTest::newRow("write: a repeated block is acknowledged, stored once")
            << write << 0 << Block(1) + tail << -1 << 1
            << CScript{Start(Ack(0)),
                       Got(Data(0, "zero"), Ack(0)),
                       Got(Data(1, Block(1)), Ack(1), eoGoesOn),
                       Got(Data(1, Block(1)), Ack(1)),
                       Got(Data(1, Block(1)), Ack(1)),
                       Got(Data(2, tail), Ack(2), eoEnds)};
        QTest::newRow("write: blocks out of step are dropped")
            << write << 0 << Block(1) + Block(2) + tail << -1 << 1
            << CScript{Start(Ack(0)),
                       Got(Data(2, Block(9))),
                       Got(Data(1, Block(1)), Ack(1), eoGoesOn),
                       Got(Data(3, Block(9))),
                       Got(Data(65535, Block(9))),
                       Got(Data(2, Block(2)), Ack(2), eoGoesOn),
                       Got(Data(1, Block(9))),
                       Got(Data(3, tail), Ack(3), eoEnds)};
        QTest::newRow("write: client goes on with 0 after 65535")
            << write << 65534 << Block(1) + Block(2) + tail << -1 << 1
            << CScript{Start(Ack(65534)), Got(Data(65535, Block(1)), Ack(65535), eoGoesOn),
                       Got(Data(0, Block(2)), Ack(0), eoGoesOn),
                       Got(Data(1, tail), Ack(1), eoEnds)};
        QTest::newRow("write: client goes on with 1 after 65535")
            << write << 65534 << Block(1) + Block(2) + tail << -1 << 1
            << CScript{Start(Ack(65534)), Got(Data(65535, Block(1)), Ack(65535), eoGoesOn),
                       Got(Data(1, Block(2)), Ack(1), eoGoesOn),
                       Got(Data(2, tail), Ack(2), eoEnds)};
        QTest::newRow("write: a failed write is disk full")
            << write << 0 << Block(1) << 700 << 0
            << CScript{Start(Ack(0)), Got(Data(1, Block(1)), Ack(1), eoGoesOn),
                       Then(Got(Data(2, Block(2)), Ack(2)), diskFull, eoEnds)};
        QTest::newRow("write: the last block is stored before its ACK")
            << write << 0 << Block(1) << 514 << 0
            << CScript{Start(Ack(0)), Got(Data(1, Block(1)), Ack(1), eoGoesOn),
                       Got(Data(2, tail), diskFull, eoEnds)};
        QTest::newRow("write: a failed commit is disk full")
            << write << 0 << Block(1) + tail << -1 << -1
            << CScript{Start(Ack(0)), Got(Data(1, Block(1)), Ack(1), eoGoesOn),
                       Got(Data(2, tail), diskFull, eoEnds)};
        QTest::newRow("write: the 17th tick without a new block ends it")
            << write << 0 << Block(1) << -1 << 0
            << CScript{Start(Ack(0))} + Ticks(10, {})
                   + CScript{Got(Data(1, Block(1)), Ack(1), eoGoesOn)} + Ticks(15, {})
                   + CScript{Got(Data(1, Block(1)), Ack(1)), Tick(), Tick({}, eoEnds)};
        QTest::newRow("write: a stranger's DATA is not stored")
            << write << 0 << tail << -1 << 1
            << CScript{Start(Ack(0)), FromStranger(Data(1, "evil")), FromStranger(Data(1, {})),
                       FromStranger(Request(2, "a")), Got(Data(1, tail), Ack(1), eoEnds)};
        QTest::newRow("write: what a write does not take")
            << write << 0 << tail << -1 << 1
            << CScript{Start(Ack(0)),
                       Got(Ack(0)),
                       Got(Data(1, {}).left(3)),
                       Got(Error(0, "stop")),
                       Got(Word(6), illegal),
                       Got(Request(2, "a"), illegal),
                       Got(Data(1, tail), Ack(1), eoEnds)};
    }
    void exchanges()
    {
        QFETCH(int, request);
        QFETCH(int, lastBlock);
        QFETCH(QByteArray, file);
        QFETCH(int, limit);
        QFETCH(int, commit);
        QFETCH(CScript, script);
        Run(request, lastBlock, file, limit, commit, {}, script);
    }

    void optionExchanges_data()
    {
        QTest::addColumn<int>("request");
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<int>("blockSize");
        QTest::addColumn<int>("windowSize");
        QTest::addColumn<QByteArray>("oack"); // its options; empty: none sent
        QTest::addColumn<CScript>("script");
        const int read = CTftpPacket::etoReadRequest;
        const int write = CTftpPacket::etoWriteRequest;
        const QByteArray tail("tail");
        const QByteArray blksize8("blksize\0"
                                  "8\0",
                                  10);
        const QByteArray oack = Oack(blksize8);
        const SExchange strangerError{
            SExchange::eiDatagram, Error(8, "no"), false, {}, eoWaits, {}};

        QTest::newRow("read: OACK, ACK 0, then blocks of the size agreed")
            << read << SmallFile(1, tail) << 8 << 1 << blksize8
            << CScript{Start(oack),
                       Got(Ack(1)),
                       Got(Data(0, {})),
                       Got(Ack(0), Data(1, Block(1, 8)), eoGoesOn),
                       Got(Ack(1), Data(2, tail), eoGoesOn),
                       Got(Ack(2), {}, eoEnds)};
        QTest::newRow("read: the OACK again at a tick, the client's error ends it")
            << read << SmallFile(1, tail) << 8 << 1 << blksize8
            << CScript{Start(oack), Tick(oack), strangerError, Got(Error(8, "no"), {}, eoEnds)};
        QTest::newRow("write: OACK instead of ACK 0")
            << write << SmallFile(1, tail) << 8 << 1 << blksize8
            << CScript{Start(oack), Got(Data(0, "x")), Tick(oack),
                       Got(Data(1, Block(1, 8)), Ack(1), eoGoesOn),
                       Got(Data(2, tail), Ack(2), eoEnds)};
        QTest::newRow("write: the client's error answering the OACK ends it")
            << write << QByteArray() << 8 << 1 << blksize8
            << CScript{Start(oack), Got(Error(8, "no"), {}, eoEnds)};
        QTest::newRow("write: a later error does not end it")
            << write << Block(1, 8) << 8 << 1 << blksize8
            << CScript{Start(oack), Got(Data(1, Block(1, 8)), Ack(1), eoGoesOn), Got(Error(0, "x")),
                       Got(Data(2, {}), Ack(2), eoEnds)};
        QTest::newRow("read window 3: one lost block, one duplicate ACK")
            << read << SmallFile(7, tail) << 8 << 3 << QByteArray()
            << CScript{{SExchange::eiStart, {}, true, SmallBlocks(1, 3), eoGoesOn, {}},
                       // Block 2 lost: the client acknowledges block 1.
                       GotMany(Ack(1), SmallBlocks(2, 3), eoGoesOn),
                       Got(Ack(1)),
                       GotMany(Ack(4), SmallBlocks(5, 3), eoGoesOn),
                       {SExchange::eiTick, {}, true, SmallBlocks(5, 3), eoWaits, {}},
                       Got(Ack(7), Data(8, tail), eoGoesOn),
                       Got(Ack(7)),
                       Got(Ack(8), {}, eoEnds)};
        QTest::newRow("write window 3: ACK per window, a gap answered once")
            << write << SmallFile(4, tail) << 8 << 3 << QByteArray()
            << CScript{Start(Ack(0)),
                       Got(SmallBlocks(1, 1).at(0), {}, eoGoesOn),
                       Got(SmallBlocks(3, 1).at(0), Ack(1)),
                       Got(SmallBlocks(4, 1).at(0)),
                       Got(SmallBlocks(2, 1).at(0), {}, eoGoesOn),
                       Got(SmallBlocks(3, 1).at(0), {}, eoGoesOn),
                       Got(SmallBlocks(4, 1).at(0), Ack(4), eoGoesOn),
                       Got(SmallBlocks(4, 1).at(0), Ack(4)),
                       Got(Data(5, tail), Ack(5), eoEnds)};
    }
    void optionExchanges()
    {
        QFETCH(int, request);
        QFETCH(QByteArray, file);
        QFETCH(int, blockSize);
        QFETCH(int, windowSize);
        QFETCH(QByteArray, oack);
        QFETCH(CScript, script);
        // Every write here that gets its last block commits once.
        const int commit = request == CTftpPacket::etoWriteRequest && !file.isEmpty() ? 1 : 0;
        Run(request, 0, file, -1, commit, Negotiated(blockSize, windowSize, oack), script);
    }
};

QTEST_APPLESS_MAIN(tst_CTftpTransfer)
#include "tst_CTftpTransfer.moc"
