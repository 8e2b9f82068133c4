#include "fileserver/tftp/CTftpTransfer.h"

#include <QIODevice>

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

CTftpTransfer::CTftpTransfer(CTftpPacket::ETftpOpcode request, QIODevice& file, quint16 lastBlock)
    : m_request(request), m_file(file), m_blockNumber(lastBlock)
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

// Reads and sends the next block of the file; the retry count starts over.
CTftpTransfer::SStep CTftpTransfer::SendNextBlock()
{
    QByteArray block(CTftpPacket::kBlockSize, Qt::Uninitialized);
    const qint64 read = m_file.read(block.data(), block.size());
    // A failed read must not pass for the end of the file: the client would
    // take the part sent so far for the whole.
    if (read < 0)
        return EndWith(CTftpPacket::EncodeError(CTftpPacket::eteReadFailed));
    block.truncate(read);
    m_blockNumber = CTftpPacket::NextBlockNumber(m_blockNumber);
    m_blockData = block;
    m_retries = 0;
    return Answer(CTftpPacket::EncodeData(m_blockNumber, m_blockData), true);
}

CTftpTransfer::SStep CTftpTransfer::Receive(const QByteArray& datagram, bool fromClient)
{
    if (m_ended)
        return End();
    const std::optional<quint8> opcode = CTftpPacket::Opcode(datagram);
    if (!opcode)
        return {};
    switch (*opcode) {
    case CTftpPacket::etoData:
        if (m_request == CTftpPacket::etoWriteRequest)
            return ReceiveData(datagram, fromClient);
        return {};
    case CTftpPacket::etoAck:
        if (m_request == CTftpPacket::etoReadRequest)
            return ReceiveAck(datagram, fromClient);
        return {};
    case CTftpPacket::etoError:
        // A client's error packet does not end the transfer; the retry limit does.
        return {};
    default:
        return Answer(CTftpPacket::EncodeError(fromClient ? CTftpPacket::eteIllegalOperation
                                                          : CTftpPacket::eteUnknownTransferId));
    }
}

CTftpTransfer::SStep CTftpTransfer::ReceiveData(const QByteArray& datagram, bool fromClient)
{
    const std::optional<CTftpPacket::SData> data = CTftpPacket::DecodeData(datagram);
    if (!data)
        return {};
    if (!fromClient)
        return Answer(CTftpPacket::EncodeError(CTftpPacket::eteUnknownTransferId));
    // The client sends a block again when our ACK was lost: acknowledge it
    // again, but store it once. Any other block is out of step and dropped;
    // the client sends the right one again.
    if (data->block == m_blockNumber)
        return Answer(CTftpPacket::EncodeAck(data->block));
    if (!FollowsBlock(data->block, m_blockNumber))
        return {};
    if (m_file.write(data->payload) != data->payload.size())
        return EndWith(CTftpPacket::EncodeError(CTftpPacket::eteDiskFull));
    m_blockNumber = data->block;
    m_retries = 0;
    const QByteArray ack = CTftpPacket::EncodeAck(data->block);
    // RFC 1350 section 6: a block shorter than 512 bytes ends the transfer.
    if (data->payload.size() < CTftpPacket::kBlockSize)
        return EndWith(ack);
    return Answer(ack, true);
}

CTftpTransfer::SStep CTftpTransfer::ReceiveAck(const QByteArray& datagram, bool fromClient)
{
    const std::optional<quint16> block = CTftpPacket::DecodeAck(datagram);
    if (!block)
        return {};
    if (!fromClient)
        return Answer(CTftpPacket::EncodeError(CTftpPacket::eteUnknownTransferId));
    // An ACK of another block changes nothing; the next tick sends this one
    // again. Answering it would send every later block twice (RFC 1123
    // section 4.2.3.1).
    if (*block != m_blockNumber)
        return {};
    // RFC 1350 section 6: the ACK of a block shorter than 512 bytes, possibly
    // empty, ends the transfer.
    if (m_blockData.size() < CTftpPacket::kBlockSize)
        return End();
    return SendNextBlock();
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
        return Answer(CTftpPacket::EncodeData(m_blockNumber, m_blockData));
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
