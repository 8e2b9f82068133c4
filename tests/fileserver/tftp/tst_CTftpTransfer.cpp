#include "fileserver/tftp/CTftpTransfer.h"
#include "tests/fileserver/tftp/TftpTestClient.h"

#include <QBuffer>
#include <algorithm>
#include <climits>
#include <cstdlib>

using namespace tftptest;

namespace {

// A file in memory whose reads and writes fail beyond limit bytes, as a
// failing or full disk does; -1: no limit.
class CLimitedBuffer final : public QBuffer {
public:
    explicit CLimitedBuffer(qint64 limit) : m_limit(limit < 0 ? LLONG_MAX : limit) {}

protected:
    qint64 readData(char* data, qint64 size) override
    {
        return pos() >= m_limit ? -1 : QBuffer::readData(data, std::min(size, m_limit - pos()));
    }
    qint64 writeData(const char* data, qint64 size) override
    {
        return pos() + size > m_limit ? -1 : QBuffer::writeData(data, size);
    }

private:
    const qint64 m_limit;
};

struct SScript {
    int request;
    QByteArray file; // to send, or what a write must store
    QString script;
    int commit;    // a write's commit: 1 called once, 0 never, -1 fails
    int limit;     // bytes the file can read or hold; -1: any
    int lastBlock; // the count starts after it
    STftpNegotiated negotiated;
};
} // namespace

Q_DECLARE_METATYPE(SScript)

class tst_CTftpTransfer final : public QObject {
    Q_OBJECT
private slots:
    void exchanges_data()
    {
        // Exchanges apart by blanks; an input is start, tick or a packet, ~ one
        // from a stranger; what the transfer sends includes AfterSend's.
        QTest::addColumn<SScript>("run");
        const auto row = [](const char* name, int request, const QByteArray& file,
                            const char* script, int commit = 0, int limit = -1, int lastBlock = 0,
                            const STftpNegotiated& negotiated = {}) {
            QTest::newRow(name) << SScript{request, file,      script,    commit,
                                           limit,   lastBlock, negotiated};
        };
        const int read = CTftpPacket::etoReadRequest;
        const int write = CTftpPacket::etoWriteRequest;
        const auto file = [](int size) { return TestFiles::Pattern(size); };
        row("read: empty file is one empty block", read, {}, "start>D1+ A1. A1. tick.");
        row("read: block 65535 is followed by 1", read, file(3 * 512 + 4),
            "start>D65534+ A65534>D65535+ A65535>D1+ A0 A1>D2+ A2.", 0, -1, 65533);
        const STftpNegotiated rollover0{512, 1, 0, {}, 0};
        row("read rollover 0: block 65535 is followed by 0", read, file(3 * 512 + 4),
            "start>D65534+ A65534>D65535+ A65535>D0@2+ A1 A0>D1@3+ A1.", 0, -1, 65533, rollover0);
        row("read: out-of-step and repeated ACKs wait for the tick", read, file(700),
            "start>D1+ A0 A2 A65535 tick>D1 A1>D2+ A1 A2.");
        row("read: progress starts the resends over, the 17th tick ends it", read, file(700),
            "start>D1+ tick*16>D1 A1>D2+ tick*16>D2 tick.");
        row("read: a stranger is told; what a read does not take", read, file(700),
            "start>D1+ ~A1>E5 ~A0>E5 ~#0006>E5 ~E5 ~#04 #0003000178 #000400 E0 # #04 R1>E4 "
            "R2>E4 #0006>E4 #0000>E4 tick>D1 A1>D2+");
        row("read: a failed read is not the end of the file", read, file(1024), "start>D1+ A1>E0.",
            0, 512);
        row("read: a file that cannot be read at all", read, file(512), "start>E0.", 0, 0);
        row("write: a repeated block is acknowledged, stored once", write, file(516),
            "start>A0+ D0x>A0 D1>A1+ D1>A1 D1>A1 D2>A2.", 1);
        row("write: blocks out of step are dropped", write, file(1028),
            "start>A0+ D2x D1>A1+ D3x D65535x D2>A2+ D1x D3>A3.", 1);
        row("write: client goes on with 0 after 65535", write, file(1028),
            "start>A65534+ D65535>A65535+ D0@1>A0+ D1@2>A1.", 1, -1, 65534);
        row("write: client goes on with 1 after 65535", write, file(1028),
            "start>A65534+ D65535>A65535+ D1>A1+ D2>A2.", 1, -1, 65534);
        row("write rollover 0 negotiated: the client may still go on with 1", write, file(1028),
            "start>A65534+ D65535>A65535+ D1@1>A1+ D2@2>A2.", 1, -1, 65534, rollover0);
        row("write: a failed write is disk full", write, file(512), "start>A0+ D1>A1+ D2x>A2;E3.",
            0, 700);
        row("write: the last block is stored before its ACK", write, file(512),
            "start>A0+ D1>A1+ #000300027461696c>E3.", 0, 514);
        row("write: a failed commit is disk full", write, file(516), "start>A0+ D1>A1+ D2>E3.", -1);
        row("write: the 17th tick without a new block ends it", write, file(512),
            "start>A0+ tick*10 D1>A1+ tick*15 D1>A1 tick tick.");
        row("write: a stranger's DATA is not stored; what a write does not take", write, file(4),
            "start>A0+ ~D1x>E5 ~D1>E5 ~R2>E5 A0 #000300 E0 #0006>E4 R2>E4 D1>A1.", 1);
        const STftpNegotiated blksize8{8, 1, 0, {{"blksize", "8"}}};
        row("read: OACK, ACK 0, then blocks of the size agreed", read, file(12),
            "start>O+ A1 #00030000 A0>D1+ A1>D2+ A2.", 0, -1, 0, blksize8);
        row("read: the OACK again at a tick, the client's error ends it", read, file(12),
            "start>O+ tick>O ~E8 E8.", 0, -1, 0, blksize8);
        row("write: OACK instead of ACK 0", write, file(12), "start>O+ D0x tick>O D1>A1+ D2>A2.", 1,
            -1, 0, blksize8);
        row("write: the client's error answering the OACK ends it", write, {}, "start>O+ E8.", 0,
            -1, 0, blksize8);
        row("write: a later error does not end it", write, file(8), "start>O+ D1>A1+ E0 D2>A2.", 1,
            -1, 0, blksize8);
        // Block 2 lost: the client acknowledges block 1.
        row("read window 3: one lost block, one duplicate ACK", read, file(7 * 8 + 4),
            "start>D1;D2;D3+ A1>D2;D3;D4+ A1 A4>D5;D6;D7+ tick>D5;D6;D7 A7>D8+ A7 A8.", 0, -1, 0,
            {8, 3, 0, {}});
        row("read window 3 across the wrap, after 65535 comes 1", read, file(5 * 8 + 4),
            "start>D65534;D65535;D1+ A0 A65535>D1;D2;D3+ A3>D4+ A4.", 0, -1, 65533, {8, 3, 0, {}});
        row("read window 3 across the wrap, after 65535 comes 0", read, file(5 * 8 + 4),
            "start>D65534;D65535;D0@2+ A1 A65535>D0@2;D1@3;D2@4+ A0>D1@3;D2@4;D3@5+ "
            "tick>D1@3;D2@4;D3@5 A3.",
            0, -1, 65533, {8, 3, 0, {}, 0});
        row("write window 3: ACK per window, a gap answered once", write, file(4 * 8 + 4),
            "start>A0+ D1+ D3>A1 D4 D2+ D3+ D4>A4+ D4>A4 D5>A5.", 1, -1, 0, {8, 3, 0, {}});
    }
    void exchanges()
    {
        QFETCH(SScript, run);
        const bool reading = run.request == CTftpPacket::etoReadRequest;
        CLimitedBuffer device(run.limit);
        device.setData(reading ? run.file : QByteArray());
        QVERIFY(device.open((reading ? QIODevice::ReadOnly : QIODevice::WriteOnly)
                            | QIODevice::Unbuffered));
        int commits = 0;
        CTftpTransfer transfer(CTftpPacket::ETftpOpcode(run.request), device,
                               quint16(run.lastBlock), run.negotiated,
                               [&commits, ok = run.commit >= 0] { return ++commits, ok; });
        QByteArray oack;
        for (const CTftpPacket::SOption& option : run.negotiated.acknowledged)
            oack += option.name + '\0' + option.value + '\0';
        const auto packet = [&](const QString& token) {
            return Packet(token, run.file, run.negotiated.blockSize, run.lastBlock, oack);
        };
        for (const SExchange& exchange : Exchanges(run.script)) {
            const QByteArray where = (exchange.input + exchange.answers.join(';')).toLatin1();
            QByteArrayList expected;
            for (const QString& answer : exchange.answers)
                expected.append(Hex(packet(answer)));
            for (int i = 0; i < exchange.count; ++i) {
                const bool fromClient = exchange.from.isEmpty();
                const CTftpTransfer::SStep step =
                    exchange.input == "start" ? transfer.Start()
                    : exchange.input == "tick"
                        ? transfer.Tick()
                        : transfer.Receive(packet(exchange.input), fromClient);
                const CTftpTransfer::SStep after = step.ended ? step : transfer.AfterSend();
                QByteArrayList sent;
                for (const QByteArray& bytes :
                     step.packets + (step.ended ? QByteArrayList() : after.packets))
                    sent.append(Hex(bytes));
                QVERIFY2(sent == expected, where + ": sent " + sent.join(" | "));
                QVERIFY2(after.ended == (exchange.outcome == "."), where);
                QVERIFY2((step.restartTimer && !after.ended) == (exchange.outcome == "+"), where);
                QVERIFY2(step.toSender == (!fromClient && !step.packets.isEmpty()), where);
                QCOMPARE(transfer.IsEnded(), after.ended);
            }
        }
        QCOMPARE(commits, std::abs(run.commit));
        if (!reading)
            QCOMPARE(device.data(), run.file);
    }
};

QTEST_APPLESS_MAIN(tst_CTftpTransfer)
#include "tst_CTftpTransfer.moc"
