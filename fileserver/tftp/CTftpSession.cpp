#include "fileserver/tftp/CTftpSession.h"

#include "common/CRaisedError.h"
#include "fileserver/folder/CServedFolder.h"

#include <QFileInfo>
#include <QList>
#include <QRandomGenerator>

#include <algorithm>

namespace {

// Whether a DATA block number is the one after the last one stored. After
// 65535 both 1 (this server's own way) and 0 (most clients' way) follow.
bool FollowsBlock(quint16 block, quint16 last)
{
    return block == static_cast<quint16>(last + 1) || block == CTftpPacket::NextBlockNumber(last);
}

} // namespace

CTftpSession::CTftpSession(const STftpOptions& options, QObject* parent)
    : QObject(parent), m_options(options)
{
    m_retriesTimer.setInterval(m_options.retryIntervalMs);
    connect(&m_udpSession, &CUdpSocket::DataArrived, this, &CTftpSession::UdpSession_Receive);
    connect(&m_retriesTimer, &QTimer::timeout, this, &CTftpSession::RetriesTimer_ThatTime);
}

CTftpSession::~CTftpSession() = default;

void CTftpSession::Activate(CTftpPacket::ETftpOpcode opcode, const QString& remoteHost,
                            quint16 remotePort, const QString& fileName)
{
    m_optCode = opcode;
    m_remHostName = remoteHost;
    m_remHostPort = remotePort;
    m_fileName = fileName;

    if (!BindLocalPort()) {
        EndSession();
        return;
    }
    const CServedFolder::SResolved resolved = m_options.servedFolder.Resolve(m_fileName);
    // SECURITY: a name that climbs above the served folder, or that a link
    // leads out of, is refused before any file is touched: nothing outside
    // is read, created or replaced.
    if (resolved.climbedAboveRoot || !resolved.inside) {
        SendError(CTftpPacket::eteAccessViolation);
        EndSession();
        return;
    }
    const bool writing = m_optCode == CTftpPacket::etoWriteRequest;
    if (!(writing ? OpenFileForWrite(resolved.localPath) : OpenFileForRead(resolved.localPath))) {
        EndSession();
        return;
    }
    if (writing) {
        SendAck(0);
        // Lost DATA is the client's to send again; the timer only ends a
        // write whose client has gone silent.
        m_retries = 0;
        m_retriesTimer.start();
    } else {
        m_blockNumber = 0;
        SendNextBlock();
    }
}

// Binds a port of the session range, each tried once in random order; when
// none can be bound, a port the system chooses.
bool CTftpSession::BindLocalPort()
{
    QList<quint16> ports;
    for (int port = m_options.firstSessionPort; port <= m_options.lastSessionPort; ++port)
        ports.append(static_cast<quint16>(port));
    std::shuffle(ports.begin(), ports.end(), *QRandomGenerator::system());
    for (const quint16 port : ports) {
        try {
            m_udpSession.Open(port);
            return true;
        } catch (const CRaisedError&) {
            // Taken, or below 1024 without the right to bind it: the next one.
        }
    }
    try {
        m_udpSession.Open(0);
        return true;
    } catch (const CRaisedError&) {
        // No port at all: there is no socket to answer from, the session just ends.
        return false;
    }
}

bool CTftpSession::OpenFileForRead(const QString& localPath)
{
    // Only ordinary files are served: not folders, devices or pipes (opening a
    // pipe would block the whole program), nor hidden files.
    const QFileInfo info(localPath);
    if (!info.isFile() || info.isHidden()) {
        SendError(CTftpPacket::eteFileNotFound);
        return false;
    }
    m_file.setFileName(localPath);
    if (!m_file.open(QIODevice::ReadOnly)) {
        SendError(CTftpPacket::eteAccessViolation);
        return false;
    }
    return true;
}

bool CTftpSession::OpenFileForWrite(const QString& localPath)
{
    // A write replaces the whole file, so nothing of an older one survives.
    // Only an ordinary file is replaced; a folder or device is refused.
    const QFileInfo info(localPath);
    m_file.setFileName(localPath);
    if ((info.exists() && !info.isFile())
        || !m_file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
        SendError(CTftpPacket::eteAccessViolation);
        return false;
    }
    return true;
}

// Sends the next block of the file and restarts the retry timer.
void CTftpSession::SendNextBlock()
{
    m_blockNumber = CTftpPacket::NextBlockNumber(m_blockNumber);
    m_blockData = m_file.read(CTftpPacket::kBlockSize);
    // RFC 1350 section 6: a block shorter than 512 bytes, possibly empty, is the last.
    if (m_blockData.size() < CTftpPacket::kBlockSize)
        m_file.close();
    m_retries = 0;
    SendDataBlock();
    m_retriesTimer.start();
}

void CTftpSession::SendDataBlock()
{
    Send(CTftpPacket::EncodeData(m_blockNumber, m_blockData));
}

void CTftpSession::SendAck(quint16 block)
{
    Send(CTftpPacket::EncodeAck(block));
}

// Error packets go to the session's own client, also when they answer a
// datagram from another port.
void CTftpSession::SendError(CTftpPacket::ETftpError code)
{
    Send(CTftpPacket::EncodeError(code));
}

void CTftpSession::Send(const QByteArray& packet)
{
    // A refused send is like a lost datagram: the retry timer covers it.
    m_udpSession.Send(packet, m_remHostName, m_remHostPort);
}

void CTftpSession::EndSession()
{
    if (m_ended)
        return;
    m_ended = true;
    m_retriesTimer.stop();
    m_file.close();
    m_udpSession.Close();
    emit Ended();
}

void CTftpSession::UdpSession_Receive()
{
    QByteArray datagram;
    QString senderHost;
    quint16 senderPort = 0;
    while (!m_ended && m_udpSession.Receive(datagram, senderHost, senderPort))
        HandleDatagram(datagram, senderHost, senderPort);
}

void CTftpSession::HandleDatagram(const QByteArray& datagram, const QString& senderHost,
                                  quint16 senderPort)
{
    // SECURITY: the client is known by its address and its port (its
    // transfer identifier, RFC 1350 section 4); anyone else is a stranger.
    const bool fromClient = senderPort == m_remHostPort && senderHost == m_remHostName;
    const std::optional<quint8> opcode = CTftpPacket::Opcode(datagram);
    if (!opcode)
        return;
    switch (*opcode) {
    case CTftpPacket::etoData:
        if (m_optCode == CTftpPacket::etoWriteRequest)
            HandleData(datagram, fromClient);
        break;
    case CTftpPacket::etoAck:
        if (m_optCode == CTftpPacket::etoReadRequest)
            HandleAck(datagram, fromClient);
        break;
    case CTftpPacket::etoError:
        // A client's error packet does not end the transfer; the retry limit does.
        break;
    default: SendError(CTftpPacket::eteIllegalOperation); break;
    }
}

void CTftpSession::HandleData(const QByteArray& datagram, bool fromClient)
{
    const std::optional<CTftpPacket::SData> data = CTftpPacket::DecodeData(datagram);
    if (!data)
        return;
    if (!fromClient) {
        SendError(CTftpPacket::eteUnknownTransferId);
        return;
    }
    // The client sends a block again when our ACK was lost: acknowledge it
    // again, but store it once. Any other block is out of step and dropped;
    // the client sends the right one again.
    if (data->block == m_blockNumber) {
        SendAck(data->block);
        return;
    }
    if (!FollowsBlock(data->block, m_blockNumber))
        return;
    if (m_file.write(data->payload) != data->payload.size()) {
        SendError(CTftpPacket::eteDiskFull);
        EndSession();
        return;
    }
    m_blockNumber = data->block;
    SendAck(data->block);
    m_retries = 0;
    m_retriesTimer.start();
    // RFC 1350 section 6: a block shorter than 512 bytes ends the transfer.
    if (data->payload.size() < CTftpPacket::kBlockSize)
        EndSession();
}

void CTftpSession::HandleAck(const QByteArray& datagram, bool fromClient)
{
    const std::optional<quint16> block = CTftpPacket::DecodeAck(datagram);
    if (!block)
        return;
    if (!fromClient) {
        SendError(CTftpPacket::eteUnknownTransferId);
        return;
    }
    // An ACK of another block changes nothing; the timer sends this one again.
    // Answering it would send every later block twice (RFC 1123 section 4.2.3.1).
    if (*block != m_blockNumber)
        return;
    m_retriesTimer.stop();
    if (m_blockData.size() < CTftpPacket::kBlockSize)
        EndSession();
    else
        SendNextBlock();
}

void CTftpSession::RetriesTimer_ThatTime()
{
    if (m_retries >= kMaxResends) {
        // Given up without an error packet: the client is gone or stuck.
        EndSession();
        return;
    }
    ++m_retries;
    if (m_optCode == CTftpPacket::etoReadRequest)
        SendDataBlock();
}
