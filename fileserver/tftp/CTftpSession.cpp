#include "fileserver/tftp/CTftpSession.h"

#include "fileserver/folder/CServedFolder.h"
#include "fileserver/tftp/CTftpNegotiation.h"
#include "fileserver/tftp/CTftpPortRing.h"

#include <QByteArrayView>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>
#include <climits>
#include <utility>

namespace {

constexpr int kMsPerSecond = 1000;

} // namespace

CTftpSession::CTftpSession(const STftpOptions& options, CTftpPortRing& ports, QObject* parent)
    : QObject(parent), m_options(options), m_ports(ports),
      m_retryIntervalMs(options.retryIntervalMs)
{
    m_tmrRetries.setSingleShot(true);
    connect(&m_udpSession, &CUdpSocket::DataArrived, this, &CTftpSession::udpSession_DataArrived);
    connect(&m_tmrRetries, &QTimer::timeout, this, &CTftpSession::tmrRetries_Timer);
}

// The port goes back to the ring only when the session ends; a session
// deleted while it runs goes with its listener, and the ring with it.
CTftpSession::~CTftpSession() = default;

void CTftpSession::Activate(CTftpPacket::ETftpOpcode opcode, const CUdpPeer& client,
                            const QString& fileName, const CTftpPacket::COptions& options)
{
    m_client = client;
    if (!BindLocalPort()) {
        EndSession();
        return;
    }
    const CServedFolder::SResolved resolved = m_options.servedFolder.Resolve(fileName);
    // SECURITY: the served folder's rule decides, before any file is touched:
    // a name with a control character (a check and an open that read it
    // differently would judge one file and reach another), one that climbs
    // above the folder, or one that a link leads out of is refused, so that
    // nothing outside is read, created or replaced.
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
    const STftpNegotiated negotiated = Negotiate(opcode, options);
    std::function<bool()> commit;
    if (writing) {
        // The flush is checked on its own: commit does not tell a failed
        // flush of the last buffered blocks. Commit also syncs the data to
        // disk before the rename, the main cost of a fast upload; kept, so
        // that a power cut leaves the old file or the whole new one.
        commit = [target = static_cast<QSaveFile*>(m_file.get())] {
            return target->flush() && target->commit();
        };
    }
    m_transfer =
        std::make_unique<CTftpTransfer>(opcode, *m_file, quint16(0), negotiated, std::move(commit));
    CarryOut(m_transfer->Start(), m_client);
}

// Settles the options with what the session knows, the file's size and its
// socket's buffers, and makes the socket and timer fit the result.
STftpNegotiated CTftpSession::Negotiate(CTftpPacket::ETftpOpcode opcode,
                                        const CTftpPacket::COptions& options)
{
    if (options.isEmpty()) {
        STftpNegotiated plain;
        plain.rollover = m_options.rollover;
        return plain;
    }
    const qint64 windowBuffer = m_options.windowBufferBytes > 0 ? m_options.windowBufferBytes
                                                                : m_udpSession.ReceiveBufferSize();
    // A write's file is the new, empty one; its tsize is the client's.
    const STftpNegotiated negotiated = CTftpNegotiation::Negotiate(
        opcode, options, {m_file->size(), windowBuffer, m_options.rollover});
    // A whole window, or one large block, must fit this socket's buffers too.
    const qint64 windowBytes =
        negotiated.windowSize * CTftpNegotiation::DatagramCost(negotiated.blockSize);
    m_udpSession.EnsureBufferSizes(static_cast<int>(std::min<qint64>(windowBytes, INT_MAX)));
    if (negotiated.timeoutS > 0)
        m_retryIntervalMs = negotiated.timeoutS * kMsPerSecond;
    return negotiated;
}

// Takes a port from the ring, a few at most, on the session's address; when
// none of them can be bound, a port the system chooses.
bool CTftpSession::BindLocalPort()
{
    const QHostAddress local = !m_localAddress.isNull() ? m_localAddress
                               : m_client.IsIPv4()      ? QHostAddress(QHostAddress::AnyIPv4)
                                                        : QHostAddress(QHostAddress::AnyIPv6);
    for (int attempt = 0; attempt < kRingPortAttempts; ++attempt) {
        const std::optional<quint16> port = m_ports.Take();
        if (!port)
            break;
        if (m_udpSession.TryOpen(*port, local) == QAbstractSocket::UnknownSocketError) {
            m_ringPort = port;
            return true;
        }
        // Held by another program, or below 1024 without the right to bind
        // it: tried again once every other free port has had its turn.
        m_ports.Give(*port);
    }
    // No port at all: there is no socket to answer from, the session just ends.
    return m_udpSession.TryOpen(0, local) == QAbstractSocket::UnknownSocketError;
}

bool CTftpSession::OpenResolved(QFileDevice& file, QIODevice::OpenMode mode)
{
    return file.open(mode);
}

bool CTftpSession::OpenFileForRead(const QString& localPath)
{
    // Only ordinary files are served: not folders, devices or pipes (opening a
    // pipe would block the whole program), nor hidden files.
    const QFileInfo info(localPath);
    if (!info.isFile() || CServedFolder::IsHiddenName(info.fileName())) {
        SendError(CTftpPacket::eteFileNotFound);
        return false;
    }
    auto file = std::make_unique<QFile>(localPath);
    if (!OpenResolved(*file, QIODevice::ReadOnly)) {
        SendError(CTftpPacket::eteAccessViolation);
        return false;
    }
    m_file = std::move(file);
    return true;
}

bool CTftpSession::OpenFileForWrite(const QString& localPath)
{
    // Only an ordinary file that this program may write is replaced; a
    // folder, a device or a file it may not write is refused. The check
    // opens the file without truncating it.
    const QFileInfo info(localPath);
    bool allowed = !info.exists() || info.isFile();
    if (allowed && info.exists()) {
        QFile existing(localPath);
        allowed = OpenResolved(existing, QIODevice::WriteOnly | QIODevice::Append);
    }
    // SECURITY: the blocks go to a new file in the same folder, renamed over
    // the name once the last one is in: a hard link to a file elsewhere is
    // replaced, never written through, and an upload cut short changes
    // nothing. Writes are buffered; the last block flushes them.
    auto file = std::make_unique<QSaveFile>(localPath);
    if (!allowed || !OpenResolved(*file, QIODevice::WriteOnly)) {
        SendError(CTftpPacket::eteAccessViolation);
        return false;
    }
    m_file = std::move(file);
    return true;
}

void CTftpSession::CarryOut(const CTftpTransfer::SStep& step, const CUdpPeer& sender)
{
    // A refused send is like a lost datagram: the retry timer covers it.
    const CUdpPeer& receiver = step.toSender ? sender : m_client;
    for (const QByteArray& packet : step.packets)
        m_udpSession.Send(QByteArrayView(packet), receiver);
    if (step.ended) {
        EndSession();
        return;
    }
    if (step.restartTimer) {
        m_sinceProgress.start();
        if (!m_tmrRetries.isActive())
            m_tmrRetries.start(m_retryIntervalMs);
    }
    // With the packets on their way, the transfer reads ahead or stores what
    // it has acknowledged.
    const CTftpTransfer::SStep after = m_transfer->AfterSend();
    for (const QByteArray& packet : after.packets)
        m_udpSession.Send(QByteArrayView(packet), m_client);
    if (after.ended)
        EndSession();
}

void CTftpSession::SendError(CTftpPacket::ETftpError code)
{
    m_udpSession.Send(QByteArrayView(CTftpPacket::EncodeError(code)), m_client);
}

void CTftpSession::EndSession()
{
    if (m_ended)
        return;
    m_ended = true;
    m_tmrRetries.stop();
    m_transfer.reset();
    // A write not committed leaves no file behind and the old one as it was.
    m_file.reset();
    m_udpSession.Close();
    if (m_ringPort) {
        m_ports.Give(*m_ringPort);
        m_ringPort.reset();
    }
    emit OnEnded();
}

void CTftpSession::udpSession_DataArrived()
{
    // The waiting datagrams, a bounded number per call so that the listener
    // and the other sessions get their turn; the session's end closes the
    // socket and stops the reading.
    QByteArrayView datagram;
    CUdpPeer sender;
    for (int read = 0; read < CUdpSocket::kDatagramsPerWakeUp
                       && m_udpSession.Receive(datagram, sender) && !m_ended && m_transfer;
         ++read) {
        // SECURITY: the client is known by its address and its port (its
        // transfer identifier, RFC 1350 section 4); anyone else is a stranger.
        const bool fromClient = sender == m_client;
        CarryOut(m_transfer->Receive(QByteArray::fromRawData(datagram.data(), datagram.size()),
                                     fromClient),
                 sender);
    }
}

// The timer is started once and not for every block: progress only notes
// the time. When the timer fires before a whole interval has passed without
// progress, it waits for the rest; otherwise the transfer gets its tick.
void CTftpSession::tmrRetries_Timer()
{
    if (m_ended || !m_transfer)
        return;
    const qint64 left = m_retryIntervalMs - m_sinceProgress.elapsed();
    if (left > 0) {
        m_tmrRetries.start(static_cast<int>(left));
        return;
    }
    m_sinceProgress.start();
    m_tmrRetries.start(m_retryIntervalMs);
    CarryOut(m_transfer->Tick(), m_client);
}
