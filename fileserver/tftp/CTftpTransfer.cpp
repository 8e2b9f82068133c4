#include "fileserver/tftp/CTftpTransfer.h"

#include <QIODevice>

#include <utility>

namespace {

// Whether a DATA block number is the one after the last one stored. After
// 65535 both 1 (this server's own way) and 0 (most clients' way) follow.
bool FollowsBlock(quint16 block, quint16 last)
{
    return block == static_cast<quint16>(last + 1) || block == CTftpPacket::NextBlockNumber(last);
}

CTftpTransfer::SStep Answer(const QByteArray& packet, bool restartTimer = false)
{
    return {{packet}, restartTimer, false};
}

} // namespace

CTftpTransfer::CTftpTransfer(CTftpPacket::ETftpOpcode request, QIODevice& file, quint16 lastBlock,
                             std::function<bool()> commit)
    : m_request(request), m_file(file), m_commit(std::move(commit)), m_blockNumber(lastBlock)
{
}

CTftpTransfer::SStep CTftpTransfer::Start()
{
    if (m_request == CTftpPacket::etoWriteRequest) {
        // Lost DATA is the client's to send again; the timer only ends a
        // write whose client has gone silent.
        return Answer(CTftpPacket::EncodeAck(m_blockNumber), true);
    }
    return SendNextBlock();
}

void CTftpTransfer::ReadAhead()
{
    m_readBuffer.resize(CTftpPacket::kBlockSize);
    const qint64 read = m_file.read(m_readBuffer.data(), m_readBuffer.size());
    m_nextReady = true;
    m_nextFailed = read < 0;
    if (m_nextFailed)
        return;
    m_readBuffer.truncate(read);
    m_nextPayloadSize = m_readBuffer.size();
    m_next = CTftpPacket::EncodeData(CTftpPacket::NextBlockNumber(m_blockNumber), m_readBuffer);
}

// Sends the next block of the file; the retry count starts over.
CTftpTransfer::SStep CTftpTransfer::SendNextBlock()
{
    if (!m_nextReady)
        ReadAhead();
    m_nextReady = false;
    // A failed read must not pass for the end of the file: the client would
    // take the part sent so far for the whole.
    if (m_nextFailed)
        return EndWith(CTftpPacket::EncodeError(CTftpPacket::eteReadFailed));
    m_blockNumber = CTftpPacket::NextBlockNumber(m_blockNumber);
    std::swap(m_packet, m_next);
    m_payloadSize = m_nextPayloadSize;
    m_retries = 0;
    return Answer(m_packet, true);
}

CTftpTransfer::SStep CTftpTransfer::Receive(const QByteArray& datagram, bool fromClient)
{
    if (m_ended)
        return End();
    const std::optional<quint8> opcode = CTftpPacket::Opcode(datagram);
    if (!opcode)
        return {};
    if (!fromClient) {
        // RFC 1350 section 4: the stranger is told, the transfer is not
        // disturbed. Its error packets are not answered, so that two
        // programs cannot keep each other busy.
        if (*opcode == CTftpPacket::etoError)
            return {};
        SStep step = Answer(CTftpPacket::EncodeError(CTftpPacket::eteUnknownTransferId));
        step.toSender = true;
        return step;
    }
    switch (*opcode) {
    case CTftpPacket::etoData:
        if (m_request == CTftpPacket::etoWriteRequest)
            return ReceiveData(datagram);
        return {};
    case CTftpPacket::etoAck:
        if (m_request == CTftpPacket::etoReadRequest)
            return ReceiveAck(datagram);
        return {};
    case CTftpPacket::etoError:
        // A client's error packet does not end the transfer; the retry limit does.
        return {};
    default:
        return Answer(CTftpPacket::EncodeError(fromClient ? CTftpPacket::eteIllegalOperation
                                                          : CTftpPacket::eteUnknownTransferId));
    }
}

bool CTftpTransfer::StorePending()
{
    if (m_pending.isEmpty())
        return true;
    const bool stored = m_file.write(m_pending) == m_pending.size();
    m_pending.clear();
    return stored;
}

CTftpTransfer::SStep CTftpTransfer::ReceiveData(const QByteArray& datagram)
{
    const std::optional<CTftpPacket::SData> data = CTftpPacket::DecodeData(datagram);
    if (!data)
        return {};
    // The client sends a block again when our ACK was lost: acknowledge it
    // again, but store it once. Any other block is out of step and dropped;
    // the client sends the right one again.
    if (data->block == m_blockNumber)
        return Answer(CTftpPacket::EncodeAck(data->block));
    if (!FollowsBlock(data->block, m_blockNumber))
        return {};
    const QByteArray diskFull = CTftpPacket::EncodeError(CTftpPacket::eteDiskFull);
    if (!StorePending())
        return EndWith(diskFull);
    m_blockNumber = data->block;
    m_retries = 0;
    const QByteArray ack = CTftpPacket::EncodeAck(data->block);
    // RFC 1350 section 6: a block shorter than 512 bytes ends the transfer.
    // The file is complete before the client is told so.
    if (data->payload.size() < CTftpPacket::kBlockSize) {
        const bool stored = m_file.write(data->payload) == data->payload.size();
        return EndWith(stored && (!m_commit || m_commit()) ? ack : diskFull);
    }
    m_pending = data->payload;
    return Answer(ack, true);
}

CTftpTransfer::SStep CTftpTransfer::ReceiveAck(const QByteArray& datagram)
{
    const std::optional<quint16> block = CTftpPacket::DecodeAck(datagram);
    if (!block)
        return {};
    // An ACK of another block changes nothing; the next tick sends this one
    // again. Answering it would send every later block twice (RFC 1123
    // section 4.2.3.1).
    if (*block != m_blockNumber)
        return {};
    // RFC 1350 section 6: the ACK of a block shorter than 512 bytes, possibly
    // empty, ends the transfer.
    if (m_payloadSize < CTftpPacket::kBlockSize)
        return End();
    return SendNextBlock();
}

CTftpTransfer::SStep CTftpTransfer::AfterSend()
{
    if (m_ended)
        return {};
    if (m_request == CTftpPacket::etoWriteRequest) {
        if (!StorePending())
            return EndWith(CTftpPacket::EncodeError(CTftpPacket::eteDiskFull));
        return {};
    }
    // Nothing follows a short block.
    if (!m_nextReady && !m_packet.isEmpty() && m_payloadSize == CTftpPacket::kBlockSize)
        ReadAhead();
    return {};
}

CTftpTransfer::SStep CTftpTransfer::Tick()
{
    if (m_ended)
        return End();
    if (m_retries >= kMaxResends) {
        // Given up without an error packet: the client is gone or stuck.
        return End();
    }
    ++m_retries;
    if (m_request == CTftpPacket::etoReadRequest)
        return Answer(m_packet);
    return {};
}

CTftpTransfer::SStep CTftpTransfer::EndWith(const QByteArray& packet)
{
    SStep step = End();
    step.packets.append(packet);
    return step;
}

CTftpTransfer::SStep CTftpTransfer::End()
{
    m_ended = true;
    return {{}, false, true};
}
