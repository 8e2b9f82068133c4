#include "fileserver/ftp/FTcpDataTransfer.h"

#include "fileserver/ftp/CFtpPort.h"
#include "fileserver/ftp/FtpReplies.h"
#include "platform/sockets/MSocketError.h"
#include "platform/system/MRawFiles.h"

#include <QHostAddress>
#include <QNetworkInterface>

#include <algorithm>
#include <cstring>

FTcpDataTransfer::FTcpDataTransfer(STarget target, QObject* parent)
    : QObject(parent), m_target(std::move(target))
{
    connect(&m_tcp, &CTcpSocket::StateChanged, this, &FTcpDataTransfer::Tcp_StateChanged);
    connect(&m_tcp, &CTcpSocket::DataArrived, this, &FTcpDataTransfer::Tcp_DataArrived);
    // Called for every block of a retrieve: a direct call, not a signal.
    m_tcp.SetSendDoneHandler([this] { Tcp_SendDone(); });
    connect(&m_tcp, &CTcpSocket::Error, this, [this](int number) { Tcp_Error(number); });
    m_connectTimer.setSingleShot(true);
    connect(&m_connectTimer, &QTimer::timeout, this, [this] {
        if (m_connected || m_mode == EMode::Ended)
            return;
        Finish(kReplyCannotOpen);
        CloseData();
    });
}

void FTcpDataTransfer::OpenRetrieve(std::unique_ptr<QFile> file, const QString& fileName,
                                    qint64 offset)
{
    m_file = std::move(file);
    m_fileName = fileName;
    m_fileSize = m_file->size();
    m_offset = offset;
    const SOpenFileStatus status = OpenFileStatus(*m_file);
    m_byRange = status.regular;
    m_knownEnd = m_byRange ? status.size : 0;
    if (!m_byRange && offset > 0)
        m_file->seek(offset);
    Open(EMode::Retrieve);
}

void FTcpDataTransfer::OpenStore(std::unique_ptr<QFile> file, const QString& fileName,
                                 qint64 offset)
{
    m_file = std::move(file);
    m_fileName = fileName;
    m_offset = offset;
    Open(EMode::Store);
}

void FTcpDataTransfer::OpenListing(std::function<QByteArray()> buildListing)
{
    m_buildListing = std::move(buildListing);
    Open(EMode::Listing);
}

void FTcpDataTransfer::Open(EMode mode)
{
    m_mode = mode;
    if (m_target.passive) {
        m_connectTimer.start(m_target.connectTimeoutMs);
        return;
    }
    const qint64 port = m_target.dataPort;
    // A PORT argument outside the port range cannot be connected to: the
    // client hears it as for a refused connection.
    if (!CFtpPort::IsValidPort(port)) {
        QMetaObject::invokeMethod(
            this,
            [this] {
                Tcp_Error(kSockConnectionRefused);
                emit OnEnded();
            },
            Qt::QueuedConnection);
        return;
    }
    // From the local data port where the process may bind it (port 20 needs
    // root or CAP_NET_BIND_SERVICE), else from a port the system chooses.
    quint16 localPort = m_target.localPort;
    // From a port to that same port of this host the connection would be
    // connected to itself (TCP simultaneous open) and wait for ever.
    if (localPort == port && IsOwnAddress(m_target.remoteHost))
        localPort = 0;
    m_connectTimer.start(m_target.connectTimeoutMs);
    m_tcp.Connect(m_target.remoteHost, static_cast<quint16>(port), localPort,
                  CTcpSocket::ELocalPort::Preferred);
}

bool FTcpDataTransfer::IsOwnAddress(const QString& host)
{
    const QHostAddress address(host);
    return address.isLoopback() || QNetworkInterface::allAddresses().contains(address);
}

void FTcpDataTransfer::SetBlockSentHandler(std::function<void(qint64)> handler)
{
    m_blockSentHandler = std::move(handler);
}

void FTcpDataTransfer::TellBlockSent()
{
    if (m_blockSentHandler)
        m_blockSentHandler(m_bytesSent);
    else
        emit OnNewDataBlockSent(m_bytesSent);
}

void FTcpDataTransfer::Abort()
{
    if (m_mode == EMode::Ended)
        return;
    m_aborted = true;
    Finish(kReplyAborted);
    CloseData();
}

void FTcpDataTransfer::CloseData()
{
    // A passive transfer nobody connected to has no socket to tell its end.
    if (m_target.passive && !m_tookConnection) {
        QMetaObject::invokeMethod(this, &FTcpDataTransfer::OnEnded, Qt::QueuedConnection);
        return;
    }
    m_tcp.Close();
}

void FTcpDataTransfer::TakeConnection(CSocketHandle connection)
{
    if (m_mode == EMode::Ended || m_tookConnection)
        return; // the connection closes with its holder
    m_tookConnection = true;
    // StateChanged follows from the event loop, as for a connection made.
    m_tcp.SetHandle(connection.Release());
}

void FTcpDataTransfer::Tcp_StateChanged()
{
    if (m_tcp.State() == CTcpSocket::kStateConnected) {
        m_connected = true;
        m_connectTimer.stop();
        // Each reply and each last block goes out at once, not after the
        // client's delayed acknowledgement of the one before.
        m_tcp.SetNoDelay(true);
        switch (m_mode) {
        case EMode::Retrieve:
            m_bytesSent = m_offset;
            emit OnInitRetrive();
            SendBlock();
            break;
        case EMode::Store:
            emit OnInitStore();
            m_bytesReceived = m_offset;
            break;
        case EMode::Listing:
            m_listing = m_buildListing();
            // An empty listing gives no SendDone: it is complete at once.
            if (m_listing.isEmpty()) {
                Finish(kReplyListingDone);
                CloseData();
            } else {
                m_tcp.Send(m_listing);
            }
            break;
        case EMode::Ended: break;
        }
        return;
    }

    // The connection has ended. A store ends when the client closes it; a
    // retrieve or listing that is still running was dropped by the client.
    if (m_mode == EMode::Store) {
        Tcp_DataArrived();
        if (m_mode == EMode::Store)
            Finish(kReplyFileDone);
    } else if (m_mode != EMode::Ended) {
        Finish(nullptr);
    }
    emit OnEnded();
}

void FTcpDataTransfer::Tcp_DataArrived()
{
    const QByteArray piece = m_tcp.Receive();
    if (m_mode != EMode::Store || piece.isEmpty())
        return;
    if (m_file->write(piece) != piece.size()) {
        // The client must not take a partly written file for a stored one.
        Finish(kReplyLocalError);
        CloseData();
        return;
    }
    m_bytesReceived += piece.size();
    emit OnNewDataBlockRecv(m_bytesReceived);
}

void FTcpDataTransfer::Tcp_SendDone()
{
    switch (m_mode) {
    case EMode::Retrieve:
        TellBlockSent();
        SendBlock();
        break;
    case EMode::Listing:
        Finish(kReplyListingDone);
        CloseData();
        break;
    case EMode::Store:
    case EMode::Ended: break;
    }
}

void FTcpDataTransfer::Tcp_Error(int number)
{
    if (m_mode == EMode::Ended)
        return;
    const bool cannotOpen = number == kSockConnectionRefused || number == kSockNotConnected
                            || number == kSockAddressInUse;
    // A failed transfer ends here: the client hears of the failure, never of a success.
    Finish(cannotOpen ? kReplyCannotOpen : kReplyLocalError);
    CloseData();
}

void FTcpDataTransfer::FillReadBuffer()
{
    if (m_readEnd - m_readPos >= kRetrieveBlockSize)
        return;
    if (m_readBuffer.size() != kReadChunkSize)
        m_readBuffer.resize(kReadChunkSize);
    char* const data = m_readBuffer.data();
    const qint64 left = m_readEnd - m_readPos;
    std::memmove(data, data + m_readPos, static_cast<size_t>(left));
    m_readPos = 0;
    m_readEnd = left;
    // Each pass adds bytes or stops, so the loop ends once the buffer is full.
    while (m_readEnd < kReadChunkSize) {
        const qint64 got = m_file->read(data + m_readEnd, kReadChunkSize - m_readEnd);
        if (got <= 0)
            break;
        m_readEnd += got;
    }
}

void FTcpDataTransfer::SendBlock()
{
    if (m_byRange)
        SendRangeBlock();
    else
        SendReadBlock();
}

void FTcpDataTransfer::SendRangeBlock()
{
    qint64 size = std::min(kRetrieveBlockSize, m_knownEnd - m_bytesSent);
    // At the start, and short of a whole block: the file may have changed
    // since it was last asked.
    if (size < kRetrieveBlockSize || m_bytesSent == m_offset) {
        const SOpenFileStatus status = OpenFileStatus(*m_file);
        if (!status.known) {
            FinishRetrieve(false);
            return;
        }
        m_knownEnd = status.size;
        // Shorter than what was already sent: those bytes are no longer the file's.
        if (m_knownEnd < m_bytesSent) {
            FinishRetrieve(false);
            return;
        }
        size = std::min(kRetrieveBlockSize, m_knownEnd - m_bytesSent);
    }
    if (size > 0) {
        m_tcp.SendFileRange(m_file, m_bytesSent, size);
        m_bytesSent += size;
    }
    if (size == kRetrieveBlockSize)
        return;
    if (size > 0)
        TellBlockSent();
    // The last bytes are taken from the file now: the success is told only
    // for bytes the file still held.
    FinishRetrieve(m_tcp.ReadQueuedRanges());
}

void FTcpDataTransfer::SendReadBlock()
{
    FillReadBuffer();
    const qint64 size = std::min(kRetrieveBlockSize, m_readEnd - m_readPos);
    // The socket copies the bytes: the block need not outlive this call.
    const QByteArray block = QByteArray::fromRawData(m_readBuffer.constData() + m_readPos, size);
    m_readPos += size;
    if (size == kRetrieveBlockSize) {
        m_bytesSent += size;
        m_tcp.Send(block);
        return;
    }
    if (size > 0) {
        m_bytesSent += size;
        m_tcp.Send(block);
        TellBlockSent();
    }
    // A short read is the end of the file, or a read error.
    FinishRetrieve(m_file->error() == QFileDevice::NoError);
}

void FTcpDataTransfer::FinishRetrieve(bool ok)
{
    Finish(ok ? kReplyFileDone : kReplyLocalError);
    // What was queued is still delivered before the connection ends.
    CloseData();
}

void FTcpDataTransfer::Finish(const char* reply)
{
    const EMode mode = m_mode;
    m_mode = EMode::Ended;
    if (reply)
        emit OnReply(reply);
    m_connectTimer.stop();
    m_file.reset();
    m_listing.clear();
    m_buildListing = nullptr;
    m_readBuffer = QByteArray();
    m_readPos = 0;
    m_readEnd = 0;
    // Only a transfer whose connection opened had told of its start; a
    // listing has no start event, and its abort ends it like a retrieve's.
    if ((m_connected && (mode == EMode::Retrieve || mode == EMode::Store))
        || (m_aborted && mode == EMode::Listing))
        emit OnTransferTerminate();
    emit OnFinished();
}
