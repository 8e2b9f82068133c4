// Feeds each input to the TFTP packet decoder and one transfer, with the
// file in memory. The input is a header and a list of records:
//
//   header:  size (2 bytes: the file of a read, in bytes), last block (2 bytes)
//   record:  flags (1 byte), length (2 bytes), datagram (length bytes)
//
// The first record is the request (read or write), whose options are
// negotiated as a session does; each later one a datagram, from the client
// when flags bit 0 is set, or a retry tick when bit 1 is set. Numbers are
// big-endian. After each step the transfer's AfterSend runs, as in a session.
//
// Besides the sanitizers, the run stops as a crash when what the transfer
// does contradicts its contract: a DATA block that is not its piece of the
// file, an ACK of another block than the last one taken, a stored file that
// is not the accepted blocks in order, a commit before the last block or
// twice, an answer other than "Unknown transfer ID" to a stranger or one sent
// elsewhere, a transfer that lives on after it ended or after its retries ran
// out, or a packet the codec cannot read back.

#include "fileserver/tftp/CTftpNegotiation.h"
#include "fileserver/tftp/CTftpPacket.h"
#include "fileserver/tftp/CTftpTransfer.h"

#include <QBuffer>
#include <QByteArray>
#include <QHash>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>

namespace {

constexpr quint8 kFromClient = 0x01;
constexpr quint8 kTick = 0x02;
// The socket buffer a window must fit: small, so that a step stays short.
constexpr qint64 kWindowBufferBytes = 64 * 1024;

[[noreturn]] void Fail(const char* what)
{
    std::fprintf(stderr, "fuzz_tftp_transfer: %s\n", what);
    std::abort();
}

class CInput {
public:
    CInput(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}

    std::optional<quint16> Word()
    {
        if (m_size - m_at < 2)
            return std::nullopt;
        const quint16 word = static_cast<quint16>(m_data[m_at] << 8 | m_data[m_at + 1]);
        m_at += 2;
        return word;
    }

    std::optional<quint8> Byte()
    {
        if (m_at >= m_size)
            return std::nullopt;
        return m_data[m_at++];
    }

    // Up to length bytes; fewer when the input ends first.
    QByteArray Bytes(std::size_t length)
    {
        const std::size_t taken = std::min(length, m_size - m_at);
        const QByteArray bytes(reinterpret_cast<const char*>(m_data + m_at),
                               static_cast<qsizetype>(taken));
        m_at += taken;
        return bytes;
    }

private:
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_at = 0;
};

// The codec reads back what it decoded; the first byte is not examined.
void CheckCodec(const QByteArray& datagram)
{
    if (const auto data = CTftpPacket::DecodeData(datagram)) {
        if (CTftpPacket::EncodeData(data->block, data->payload).mid(2) != datagram.mid(2))
            Fail("a DATA packet does not survive decoding and encoding");
    }
    if (const auto ack = CTftpPacket::DecodeAck(datagram)) {
        if (CTftpPacket::EncodeAck(*ack).mid(2) != datagram.mid(2, 2))
            Fail("an ACK does not survive decoding and encoding");
    }
    CTftpPacket::DecodeRequest(datagram);
}

bool IsUnknownTransferId(const QByteArray& packet)
{
    return packet == CTftpPacket::EncodeError(CTftpPacket::eteUnknownTransferId);
}

// Checks every packet of one step against the file and the blocks accepted.
class CChecker {
public:
    CChecker(CTftpPacket::ETftpOpcode request, const QByteArray& file, qsizetype blockSize,
             quint16 lastBlock)
        : m_request(request), m_file(file), m_blockSize(blockSize), m_lastTaken(lastBlock)
    {
    }

    // fed: the datagram the step answers, if any.
    void Step(const CTftpTransfer::SStep& step, const QByteArray* fed, bool fromClient)
    {
        if (m_ended && (!step.ended || !step.packets.isEmpty()))
            Fail("an ended transfer answered or went on");
        if (step.toSender && (fromClient || !fed))
            Fail("a step for the client was sent elsewhere");
        if (fed && !fromClient && !step.packets.isEmpty() && !step.toSender)
            Fail("a stranger's answer went to the client");
        if (fed && fromClient && m_request == CTftpPacket::etoWriteRequest)
            Taken(step, *fed);
        m_ended = step.ended;
        for (const QByteArray& packet : step.packets) {
            CheckCodec(packet);
            if (fed && !fromClient && !IsUnknownTransferId(packet))
                Fail("a stranger got an answer other than Unknown transfer ID");
            const std::optional<quint8> opcode = CTftpPacket::Opcode(packet);
            if (opcode == CTftpPacket::etoData)
                Data(*CTftpPacket::DecodeData(packet));
            else if (opcode == CTftpPacket::etoAck)
                Ack(*CTftpPacket::DecodeAck(packet));
        }
    }

    const QByteArray& Stored() const { return m_stored; }
    // Whether the last block, the short one, was taken.
    bool Complete() const { return m_complete; }

private:
    // A write takes a block when the step notes progress, or ends with its ACK.
    void Taken(const CTftpTransfer::SStep& step, const QByteArray& fed)
    {
        const std::optional<CTftpPacket::SData> data = CTftpPacket::DecodeData(fed);
        if (!data || CTftpPacket::Opcode(fed) != CTftpPacket::etoData)
            return;
        const bool taken =
            step.restartTimer
            || (step.ended && step.packets.contains(CTftpPacket::EncodeAck(data->block)));
        if (!taken)
            return;
        if (m_complete)
            Fail("a block was taken after the last one");
        m_stored += data->payload;
        m_lastTaken = data->block;
        m_complete = data->payload.size() < m_blockSize;
    }

    void Data(const CTftpPacket::SData& data)
    {
        if (m_request != CTftpPacket::etoReadRequest)
            Fail("a write sent DATA");
        // Fewer than 65535 blocks: a number stands for one piece of the file.
        auto at = m_offsetOf.constFind(data.block);
        if (at == m_offsetOf.cend()) {
            at = m_offsetOf.insert(data.block, m_nextOffset);
            m_nextOffset += m_blockSize;
        }
        if (data.payload != m_file.mid(*at, m_blockSize))
            Fail("a DATA block is not its piece of the file");
    }

    void Ack(quint16 block)
    {
        if (m_request != CTftpPacket::etoWriteRequest)
            Fail("a read sent an ACK");
        if (block != m_lastTaken)
            Fail("an ACK acknowledges another block than the last one taken");
    }

    const CTftpPacket::ETftpOpcode m_request;
    const QByteArray m_file;
    const qsizetype m_blockSize;
    QHash<quint16, qsizetype> m_offsetOf; // read: each block number's piece
    qsizetype m_nextOffset = 0;
    quint16 m_lastTaken;
    QByteArray m_stored;
    bool m_complete = false;
    bool m_ended = false;
};

QByteArray FileOfSize(quint16 size)
{
    QByteArray file(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < file.size(); ++i)
        file[i] = static_cast<char>(i * 7 + i / 251);
    return file;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    CInput input(data, size);
    const std::optional<quint16> fileSize = input.Word();
    const std::optional<quint16> lastBlock = input.Word();
    const std::optional<quint8> requestFlags = input.Byte();
    const std::optional<quint16> requestLength = input.Word();
    if (!fileSize || !lastBlock || !requestFlags || !requestLength)
        return 0;
    const QByteArray requestDatagram = input.Bytes(*requestLength);
    CheckCodec(requestDatagram);
    const std::optional<CTftpPacket::SRequest> request =
        CTftpPacket::DecodeRequest(requestDatagram);
    if (!request)
        return 0;

    const QByteArray content =
        request->opcode == CTftpPacket::etoReadRequest ? FileOfSize(*fileSize) : QByteArray();
    QByteArray fileBytes = content;
    QBuffer file(&fileBytes);
    file.open(request->opcode == CTftpPacket::etoReadRequest ? QIODevice::ReadOnly
                                                             : QIODevice::WriteOnly);
    const STftpNegotiated negotiated =
        request->options.isEmpty()
            ? STftpNegotiated()
            : CTftpNegotiation::Negotiate(request->opcode, request->options,
                                          {content.size(), kWindowBufferBytes});
    int commits = 0;
    QByteArray committed;
    CTftpTransfer transfer(request->opcode, file, *lastBlock, negotiated,
                           [&commits, &committed, &fileBytes] {
                               ++commits;
                               committed = fileBytes;
                               return true;
                           });
    CChecker checker(request->opcode, content, negotiated.blockSize, *lastBlock);
    // What the session does: the step's packets, then AfterSend unless it ended.
    const auto carryOut = [&](const CTftpTransfer::SStep& step, const QByteArray* fed,
                              bool fromClient) {
        checker.Step(step, fed, fromClient);
        if (!step.ended)
            checker.Step(transfer.AfterSend(), nullptr, true);
    };
    carryOut(transfer.Start(), nullptr, true);

    int idleTicks = 0;
    while (const std::optional<quint8> flags = input.Byte()) {
        if (*flags & kTick) {
            const CTftpTransfer::SStep step = transfer.Tick();
            carryOut(step, nullptr, true);
            // Only progress, a step that restarts the timer, starts the count over.
            if (++idleTicks > CTftpTransfer::kMaxResends + 1 && !transfer.IsEnded())
                Fail("a transfer outlived its retries");
            continue;
        }
        const std::optional<quint16> length = input.Word();
        if (!length)
            break;
        const QByteArray datagram = input.Bytes(*length);
        CheckCodec(datagram);
        const bool fromClient = *flags & kFromClient;
        const CTftpTransfer::SStep step = transfer.Receive(datagram, fromClient);
        if (step.restartTimer)
            idleTicks = 0;
        carryOut(step, &datagram, fromClient);
    }
    if (request->opcode == CTftpPacket::etoWriteRequest) {
        if (fileBytes != checker.Stored())
            Fail("the stored file is not the accepted blocks in order");
        if (commits != (checker.Complete() ? 1 : 0))
            Fail("a write committed before its last block, or more than once");
        if (commits == 1 && committed != fileBytes)
            Fail("a write committed before its file was whole");
    }
    return 0;
}
