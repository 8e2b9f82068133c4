#include "fileserver/ftp/FTcpDataTransfer.h"

#include "fileserver/ftp/CFtpPort.h"
#include "fileserver/ftp/cFtpSession.h"
#include "fileserver/ftp/cFtpSessions.h"
#include "platform/sockets/MSocketError.h"

#include <QHostAddress>
#include <QNetworkInterface>

FTcpDataTransfer::FTcpDataTransfer(cFtpSessions& sessions, cFtpSession& parent)
    : QObject(&sessions), m_sessions(sessions), m_parent(&parent), m_parentKey(parent.SessionID())
{
    connect(&m_tcp, &CTcpSocket::StateChanged, this, &FTcpDataTransfer::OnStateChanged);
    connect(&m_tcp, &CTcpSocket::DataArrived, this, &FTcpDataTransfer::OnDataArrived);
    connect(&m_tcp, &CTcpSocket::SendDone, this, &FTcpDataTransfer::OnSendDone);
    connect(&m_tcp, &CTcpSocket::Error, this, [this](int number) { OnError(number); });
}

FTcpDataTransfer::~FTcpDataTransfer() = default;

void FTcpDataTransfer::OpenRetrieve(std::unique_ptr<QFile> file)
{
    m_file = std::move(file);
    Open(EMode::Retrieve);
}

void FTcpDataTransfer::OpenStore(std::unique_ptr<QFile> file)
{
    m_file = std::move(file);
    Open(EMode::Store);
}

void FTcpDataTransfer::OpenListing(const QByteArray& listing)
{
    m_listing = listing;
    Open(EMode::Listing);
}

void FTcpDataTransfer::Open(EMode mode)
{
    m_mode = mode;
    const qint64 port = m_parent->DataPort();
    // A PORT argument outside the port range cannot be connected to: the
    // client hears it as for a refused connection.
    if (!CFtpPort::IsValidPort(port)) {
        QMetaObject::invokeMethod(
            this,
            [this] {
                OnError(kSockConnectionRefused);
                emit Released();
            },
            Qt::QueuedConnection);
        return;
    }
    // From the local data port where the process may bind it (port 20 needs
    // root or CAP_NET_BIND_SERVICE), else from a port the system chooses.
    const QString& remoteHost = m_parent->RemoteHost();
    quint16 localPort = m_sessions.LocalDataPort();
    // From a port to that same port of this host the connection would be
    // connected to itself (TCP simultaneous open) and wait for ever.
    if (localPort == port && IsOwnAddress(remoteHost))
        localPort = 0;
    m_tcp.Connect(remoteHost, static_cast<quint16>(port), localPort,
                  CTcpSocket::ELocalPort::Preferred);
}

bool FTcpDataTransfer::IsOwnAddress(const QString& host)
{
    const QHostAddress address(host);
    return address.isLoopback() || QNetworkInterface::allAddresses().contains(address);
}

void FTcpDataTransfer::OnAbort()
{
    if (m_mode != EMode::Retrieve && m_mode != EMode::Store)
        return;
    Finish(kReplyAborted);
    m_tcp.Close();
}

void FTcpDataTransfer::OnStateChanged()
{
    if (m_tcp.State() == CTcpSocket::kStateConnected) {
        m_connected = true;
        switch (m_mode) {
        case EMode::Retrieve:
            m_bytesSent = 0;
            if (m_parent)
                m_parent->SetSessionStatus(cFtpSession::kStatusSending);
            emit m_sessions.OnInitRetrive(m_parentKey);
            SendBlock();
            break;
        case EMode::Store:
            if (m_parent)
                m_parent->SetSessionStatus(cFtpSession::kStatusStoring);
            emit m_sessions.OnInitStore(m_parentKey);
            m_bytesReceived = 0;
            break;
        case EMode::Listing:
            // An empty listing gives no SendDone: it is complete at once.
            if (m_listing.isEmpty()) {
                Finish(kReplyListingDone);
                m_tcp.Close();
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
        OnDataArrived();
        if (m_mode == EMode::Store)
            Finish(kReplyFileDone);
    } else if (m_mode != EMode::Ended) {
        Finish(nullptr);
    }
    emit Released();
}

void FTcpDataTransfer::OnDataArrived()
{
    const QByteArray piece = m_tcp.Receive();
    if (m_mode != EMode::Store || piece.isEmpty())
        return;
    if (m_file->write(piece) != piece.size()) {
        // The client must not take a partly written file for a stored one.
        Finish(kReplyLocalError);
        m_tcp.Close();
        return;
    }
    m_bytesReceived += piece.size();
    emit m_sessions.OnNewDataBlockRecv(m_parentKey, m_bytesReceived);
}

void FTcpDataTransfer::OnSendDone()
{
    switch (m_mode) {
    case EMode::Retrieve:
        emit m_sessions.OnNewDataBlockSent(m_parentKey, m_bytesSent);
        SendBlock();
        break;
    case EMode::Listing:
        Finish(kReplyListingDone);
        m_tcp.Close();
        break;
    case EMode::Store:
    case EMode::Ended: break;
    }
}

void FTcpDataTransfer::OnError(int number)
{
    if (m_mode == EMode::Ended)
        return;
    const bool cannotOpen = number == kSockConnectionRefused || number == kSockNotConnected
                            || number == kSockAddressInUse;
    // A failed transfer ends here: the client hears of the failure, never of a success.
    Finish(cannotOpen ? kReplyCannotOpen : kReplyLocalError);
    m_tcp.Close();
}

void FTcpDataTransfer::SendBlock()
{
    const QByteArray block = m_file->read(kRetrieveBlockSize);
    if (block.size() == kRetrieveBlockSize) {
        m_bytesSent += block.size();
        m_tcp.Send(block);
        return;
    }
    if (!block.isEmpty()) {
        m_bytesSent += block.size();
        m_tcp.Send(block);
        emit m_sessions.OnNewDataBlockSent(m_parentKey, m_bytesSent);
    }
    // A short read is the end of the file, or a read error.
    Finish(m_file->error() == QFileDevice::NoError ? kReplyFileDone : kReplyLocalError);
    // What was queued is still delivered before the connection ends.
    m_tcp.Close();
}

void FTcpDataTransfer::Finish(const char* reply)
{
    const EMode mode = m_mode;
    m_mode = EMode::Ended;
    if (reply)
        Reply(reply);
    m_file.reset();
    m_listing.clear();
    // Only a transfer whose connection opened had told of its start.
    if (m_connected && (mode == EMode::Retrieve || mode == EMode::Store)) {
        if (m_parent)
            m_parent->SetSessionStatus(cFtpSession::kStatusWaiting);
        emit m_sessions.OnTransferTerminate(m_parentKey);
    }
}

void FTcpDataTransfer::Reply(const char* text)
{
    if (m_parent)
        m_parent->Reply(text);
}
