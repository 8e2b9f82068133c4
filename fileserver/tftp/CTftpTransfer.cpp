#include "fileserver/tftp/CTftpTransfer.h"

#include <QIODevice>
#include <QtEndian>

#include <utility>

namespace {

constexpr qsizetype kHeaderSize = CTftpPacket::kHeaderSize;

// Whether a DATA block number is the one after the last one stored. After
// 65535 both 1 (the equipment's way) and 0 (most clients' way) follow,
// whatever was negotiated.
bool FollowsBlock(quint16 block, quint16 last)
{
    return block == CTftpPacket::NextBlockNumber(last, 0)
           || block == CTftpPacket::NextBlockNumber(last, 1);
}

CTftpTransfer::SStep Answer(const QByteArray& packet, bool restartTimer = false)
{
    return {{packet}, restartTimer, false};
}

} // namespace

CTftpTransfer::CTftpTransfer(CTftpPacket::ETftpOpcode request, QIODevice& file, quint16 lastBlock,
                             const STftpNegotiated& negotiated, std::function<bool()> commit)
    : m_request(request), m_file(file), m_negotiated(negotiated), m_commit(std::move(commit)),
      m_windowFirst(CTftpPacket::NextBlockNumber(lastBlock, negotiated.rollover)),
      m_blockNumber(lastBlock)
{
}

CTftpTransfer::SStep CTftpTransfer::Start()
{
    if (!m_negotiated.acknowledged.isEmpty()) {
        m_awaitingOptionAnswer = true;
        return Answer(CTftpPacket::EncodeOptionAck(m_negotiated.acknowledged), true);
    }
    if (m_request == CTftpPacket::etoWriteRequest) {
        // Lost DATA is the client's to send again; the timer only ends a
        // write whose client has gone silent.
        return Answer(CTftpPacket::EncodeAck(m_blockNumber), true);
    }
    return SendWindow();
}

std::optional<QByteArray> CTftpTransfer::ReadBlock()
{
    QByteArray packet(kHeaderSize + m_negotiated.blockSize, Qt::Uninitialized);
    const qint64 read = m_file.read(packet.data() + kHeaderSize, m_negotiated.blockSize);
    if (read < 0)
        return std::nullopt;
    packet.truncate(kHeaderSize + read);
    return packet;
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
    // Each round adds a block, and the window is bounded; nothing follows
    // the short block.
    while (m_ahead.size() < m_negotiated.windowSize && !m_lastBlockRead && !m_aheadHasLast
           && !m_aheadFailed) {
        std::optional<QByteArray> packet = ReadBlock();
        if (!packet) {
            m_aheadFailed = true;
            break;
        }
        m_aheadHasLast = packet->size() - kHeaderSize < m_negotiated.blockSize;
        m_ahead.append(std::move(*packet));
    }
    return {};
}

bool CTftpTransfer::StorePending()
{
    if (m_pending.isEmpty())
        return true;
    const bool stored = m_file.write(m_pending) == m_pending.size();
    m_pending.clear();
    return stored;
}

// Takes blocks, read ahead or read now, until the window is full or the
// file's last block is in it, and sends the whole window; the retry count
// starts over.
CTftpTransfer::SStep CTftpTransfer::SendWindow()
{
    // Each round adds a block, and the window is bounded.
    while (m_window.size() < m_negotiated.windowSize && !m_lastBlockRead) {
        std::optional<QByteArray> packet;
        if (!m_ahead.isEmpty())
            packet = m_ahead.takeFirst();
        else if (!m_aheadFailed)
            packet = ReadBlock();
        // A failed read must not pass for the end of the file: the client would
        // take the part sent so far for the whole.
        if (!packet)
            return EndWith(CTftpPacket::EncodeError(CTftpPacket::eteReadFailed));
        m_blockNumber = CTftpPacket::NextBlockNumber(m_blockNumber, m_negotiated.rollover);
        // The header in place: the block is read into its packet once, not copied.
        qToBigEndian<quint16>(CTftpPacket::etoData, packet->data());
        qToBigEndian<quint16>(m_blockNumber, packet->data() + CTftpPacket::kOpcodeSize);
        m_lastBlockRead = packet->size() - kHeaderSize < m_negotiated.blockSize;
        m_window.append(std::move(*packet));
    }
    m_retries = 0;
    return {m_window, true, false};
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
        // A client that refuses the OACK answers it with an error (RFC 2347);
        // later, its error packet does not end the transfer, the retry limit does.
        if (m_awaitingOptionAnswer)
            return End();
        return {};
    default: return Answer(CTftpPacket::EncodeError(CTftpPacket::eteIllegalOperation));
    }
}

CTftpTransfer::SStep CTftpTransfer::ReceiveData(const QByteArray& datagram)
{
    const std::optional<CTftpPacket::SData> data = CTftpPacket::DecodeData(datagram);
    if (!data)
        return {};
    // The client sends a block again when our ACK was lost: acknowledge it
    // again, but store it once. Any other block is out of step and dropped;
    // the client sends the right one again. Before the OACK is answered
    // there is nothing to acknowledge again.
    if (data->block == m_blockNumber && !m_awaitingOptionAnswer)
        return AckStored(false);
    if (!FollowsBlock(data->block, m_blockNumber)) {
        // In a window, a gap means blocks were lost: the ACK of the last one
        // stored makes the client send its next window from there. Once per
        // progress, so a window's stragglers do not each start one.
        if (m_negotiated.windowSize == 1 || m_outOfStepAnswered || m_awaitingOptionAnswer)
            return {};
        m_outOfStepAnswered = true;
        return AckStored(false);
    }
    const QByteArray diskFull = CTftpPacket::EncodeError(CTftpPacket::eteDiskFull);
    if (!StorePending())
        return EndWith(diskFull);
    m_blockNumber = data->block;
    m_retries = 0;
    m_awaitingOptionAnswer = false;
    m_outOfStepAnswered = false;
    ++m_storedSinceAck;
    // RFC 1350 section 6: a block shorter than the block size ends the
    // transfer. The file is complete before the client is told so.
    if (data->payload.size() < m_negotiated.blockSize) {
        const bool stored = m_file.write(data->payload) == data->payload.size();
        return EndWith(stored && (!m_commit || m_commit()) ? CTftpPacket::EncodeAck(m_blockNumber)
                                                           : diskFull);
    }
    // A copy: the datagram may lie in the socket's buffer, which the next
    // receive overwrites.
    m_pending = QByteArray(data->payload.constData(), data->payload.size());
    if (m_storedSinceAck < m_negotiated.windowSize)
        return {{}, true, false};
    return AckStored(true);
}

CTftpTransfer::SStep CTftpTransfer::AckStored(bool restartTimer)
{
    // The client's next window starts behind the block acknowledged.
    m_storedSinceAck = 0;
    return Answer(CTftpPacket::EncodeAck(m_blockNumber), restartTimer);
}

CTftpTransfer::SStep CTftpTransfer::ReceiveAck(const QByteArray& datagram)
{
    const std::optional<quint16> block = CTftpPacket::DecodeAck(datagram);
    if (!block)
        return {};
    if (m_awaitingOptionAnswer) {
        if (*block != m_blockNumber)
            return {};
        m_awaitingOptionAnswer = false;
        return SendWindow();
    }
    // The ACK of a block in the window acknowledges it and all before it.
    // An ACK of any other block changes nothing; the next tick sends the
    // window again. Answering it would send every later block twice (RFC
    // 1123 section 4.2.3.1).
    quint16 number = m_windowFirst;
    qsizetype acknowledged = 0;
    for (qsizetype i = 0; i < m_window.size() && acknowledged == 0; ++i) {
        if (number == *block)
            acknowledged = i + 1;
        number = CTftpPacket::NextBlockNumber(number, m_negotiated.rollover);
    }
    if (acknowledged == 0)
        return {};
    m_window.remove(0, acknowledged);
    m_windowFirst = CTftpPacket::NextBlockNumber(*block, m_negotiated.rollover);
    // RFC 1350 section 6: the ACK of the short block, possibly empty, ends the transfer.
    if (m_window.isEmpty() && m_lastBlockRead)
        return End();
    return SendWindow();
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
    if (m_awaitingOptionAnswer)
        return Answer(CTftpPacket::EncodeOptionAck(m_negotiated.acknowledged));
    if (m_request == CTftpPacket::etoReadRequest)
        return {m_window, false, false};
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
