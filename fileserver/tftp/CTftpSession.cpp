#include "fileserver/tftp/CTftpSession.h"

#include "fileserver/folder/CServedFolder.h"
#include "fileserver/tftp/CTftpNegotiation.h"

#include <QFileInfo>
#include <QList>
#include <QRandomGenerator>

#include <algorithm>
#include <climits>
#include <memory>

CTftpSession::CTftpSession(const STftpOptions& options, QObject* parent)
    : QObject(parent), m_options(options)
{
    m_tmrRetries.setInterval(m_options.retryIntervalMs);
    connect(&m_udpSession, &CUdpSocket::DataArrived, this, &CTftpSession::udpSession_DataArrived);
    connect(&m_tmrRetries, &QTimer::timeout, this, &CTftpSession::tmrRetries_Timer);
}

CTftpSession::~CTftpSession() = default;

void CTftpSession::Activate(CTftpPacket::ETftpOpcode opcode, const QString& remoteHost,
                            quint16 remotePort, const QString& fileName,
                            const CTftpPacket::COptions& options)
{
    m_remHostName = remoteHost;
    m_remHostPort = remotePort;

    if (!BindLocalPort()) {
        EndSession();
        return;
    }
    const CServedFolder::SResolved resolved = m_options.servedFolder.Resolve(fileName);
    // SECURITY: a name that climbs above the served folder, or that a link
    // leads out of, is refused before any file is touched: nothing outside
    // is read, created or replaced.
    if (resolved.climbedAboveRoot || !resolved.inside) {
        SendError(CTftpPacket::eteAccessViolation);
        EndSession();
        return;
    }
    const bool writing = opcode == CTftpPacket::etoWriteRequest;
    if (!(writing ? OpenFileForWrite(resolved.localPath) : OpenFileForRead(resolved.localPath))) {
        EndSession();
        return;
    }
    m_transfer = std::make_unique<CTftpTransfer>(opcode, m_file, 0, Negotiate(opcode, options));
    CarryOut(m_transfer->Start());
}

// Settles the options with what the session knows, the file's size and its
// socket's buffers, and makes the socket and timer fit the result.
STftpNegotiated CTftpSession::Negotiate(CTftpPacket::ETftpOpcode opcode,
                                        const CTftpPacket::COptions& options)
{
    if (options.isEmpty())
        return {};
    const qint64 windowBuffer = m_options.windowBufferBytes > 0 ? m_options.windowBufferBytes
                                                                : m_udpSession.ReceiveBufferSize();
    const STftpNegotiated negotiated =
        CTftpNegotiation::Negotiate(opcode, options, {m_file.size(), windowBuffer});
    // A whole window, or one large block, must fit this socket's buffers too.
    const qint64 windowBytes =
        negotiated.windowSize * CTftpNegotiation::DatagramCost(negotiated.blockSize);
    m_udpSession.EnsureBufferSizes(static_cast<int>(std::min<qint64>(windowBytes, INT_MAX)));
    if (negotiated.timeoutS > 0)
        m_tmrRetries.setInterval(negotiated.timeoutS * 1000);
    return negotiated;
}

// Binds a port of the session range, each tried once in random order; when
// none can be bound, a port the system chooses.
bool CTftpSession::BindLocalPort()
{
    QList<quint16> ports;
    for (int port = m_options.firstSessionPort; port <= m_options.lastSessionPort; ++port)
        ports.append(static_cast<quint16>(port));
    std::ranges::shuffle(ports, *QRandomGenerator::system());
    // A port that is taken, or below 1024 without the right to bind it: the next one.
    const auto bound = [this](quint16 port) {
        return m_udpSession.TryOpen(port) == QAbstractSocket::UnknownSocketError;
    };
    // No port at all: there is no socket to answer from, the session just ends.
    return std::ranges::any_of(ports, bound) || bound(0);
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

void CTftpSession::CarryOut(const CTftpTransfer::SStep& step)
{
    for (const QByteArray& packet : step.packets)
        Send(packet);
    if (step.ended) {
        EndSession();
        return;
    }
    if (step.restartTimer)
        m_tmrRetries.start();
    m_transfer->Prepare();
}

void CTftpSession::SendError(CTftpPacket::ETftpError code)
{
    Send(CTftpPacket::EncodeError(code));
}

// Everything goes to the session's own client, also an error packet that
// answers a datagram from a stranger.
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
    m_tmrRetries.stop();
    m_file.close();
    m_udpSession.Close();
    emit OnEnded();
}

void CTftpSession::udpSession_DataArrived()
{
    QByteArray datagram;
    QString senderHost;
    quint16 senderPort = 0;
    while (!m_ended && m_transfer && m_udpSession.Receive(datagram, senderHost, senderPort)) {
        // SECURITY: the client is known by its address and its port (its
        // transfer identifier, RFC 1350 section 4); anyone else is a stranger.
        const bool fromClient = senderPort == m_remHostPort && senderHost == m_remHostName;
        CarryOut(m_transfer->Receive(datagram, fromClient));
    }
}

void CTftpSession::tmrRetries_Timer()
{
    if (m_transfer)
        CarryOut(m_transfer->Tick());
}
