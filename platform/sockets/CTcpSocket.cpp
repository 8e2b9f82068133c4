#include "platform/sockets/CTcpSocket.h"

#include "platform/sockets/MSocketError.h"

#include <QHostAddress>
#include <QPointer>
#include <QTcpSocket>

#include <cerrno>

#include <sys/sendfile.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Queue fills per event-loop pass for one socket whose peer keeps up: enough
// to amortise the pass, few enough that other connections are not starved.
constexpr int kPumpRounds = 4;

// The send queue's reader: the system's positioned read, again after a signal.
qint64 ReadFileAt(int descriptor, qint64 offset, char* into, qint64 length)
{
    for (;;) {
        const ssize_t n =
            ::pread(descriptor, into, static_cast<size_t>(length), static_cast<off_t>(offset));
        if (n >= 0 || errno != EINTR)
            return n;
    }
}

} // namespace

CTcpSocket::CTcpSocket(QObject* parent) : QObject(parent), m_queue(ReadFileAt) {}

CTcpSocket::~CTcpSocket()
{
    if (m_socket) {
        m_socket->disconnect(this);
        m_socket->abort();
    }
}

void CTcpSocket::Attach(std::unique_ptr<QTcpSocket> socket)
{
    if (m_socket) {
        // A socket whose signal may be running right now goes later.
        m_socket->disconnect(this);
        m_socket->abort();
        m_socket.release()->deleteLater();
    }
    m_socket = std::move(socket);
    m_state = kStateClosed;
    m_ended = false;
    m_closing = false;
    m_queue.Clear();
    m_fallback.reset();
    m_remoteHost.clear();

    connect(m_socket.get(), &QTcpSocket::connected, this, [this] {
        m_state = kStateConnected;
        m_remoteHost = DottedAddress(m_socket->peerAddress());
        emit StateChanged();
    });
    connect(m_socket.get(), &QTcpSocket::readyRead, this, [this] {
        if (m_reading)
            emit DataArrived();
    });
    ApplyReadLimit();
    connect(m_socket.get(), &QTcpSocket::bytesWritten, this, &CTcpSocket::OnBytesWritten);
    connect(m_socket.get(), &QTcpSocket::errorOccurred, this, &CTcpSocket::OnQtError);
    connect(m_socket.get(), &QTcpSocket::disconnected, this, &CTcpSocket::ReportClosed);
}

void CTcpSocket::Connect(const QString& remoteHost, quint16 remotePort, quint16 localPort,
                         ELocalPort rule)
{
    // Bound before Attach: a failed bind raises Qt's error signal at once,
    // and that is not yet this connection's end.
    auto socket = std::make_unique<QTcpSocket>();
    bool fallBack = false;
    if (localPort != 0) {
        const QHostAddress remote(remoteHost);
        const QHostAddress local = remote.protocol() == QAbstractSocket::IPv6Protocol
                                       ? QHostAddress(QHostAddress::AnyIPv6)
                                       : QHostAddress(QHostAddress::AnyIPv4);
        // Several data connections may leave from one port towards different peers.
        if (!socket->bind(local, localPort,
                          QAbstractSocket::ShareAddress | QAbstractSocket::ReuseAddressHint)) {
            if (rule == ELocalPort::Required) {
                Attach(std::move(socket));
                ReportFailureLater();
                return;
            }
            socket = std::make_unique<QTcpSocket>();
        } else {
            fallBack = rule == ELocalPort::Preferred;
        }
    }
    Attach(std::move(socket));
    // Linux may accept the bind and refuse the port only at connect time.
    if (fallBack)
        m_fallback = SFallback{remoteHost, remotePort};
    m_socket->connectToHost(remoteHost, remotePort);
}

void CTcpSocket::SetHandle(qintptr handle)
{
    Attach(std::make_unique<QTcpSocket>());
    if (!m_socket->setSocketDescriptor(handle)) {
        ReportFailureLater();
        return;
    }
    m_remoteHost = DottedAddress(m_socket->peerAddress());
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (m_ended || m_state == kStateConnected)
                return;
            m_state = kStateConnected;
            emit StateChanged();
        },
        Qt::QueuedConnection);
}

void CTcpSocket::Send(const QByteArray& data)
{
    if (!m_socket || m_socket->state() != QAbstractSocket::ConnectedState || m_closing) {
        ReportNotConnectedLater();
        return;
    }
    if (data.isEmpty())
        return;
    if (!m_queue.AppendBytes(data)) {
        FailShortFile();
        return;
    }
    // Inside the pump the loop itself confirms; outside it the confirmation
    // comes from the event loop, never from inside the caller's Send.
    if (!m_pumping)
        SchedulePump();
}

void CTcpSocket::SendFileRange(const std::shared_ptr<QFile>& file, qint64 offset, qint64 length)
{
    if (!m_socket || m_socket->state() != QAbstractSocket::ConnectedState || m_closing) {
        ReportNotConnectedLater();
        return;
    }
    if (length <= 0)
        return;
    if (!m_queue.AppendRange(file, offset, length)) {
        FailShortFile();
        return;
    }
    if (!m_pumping)
        SchedulePump();
}

void CTcpSocket::SetSendDoneHandler(std::function<void()> handler)
{
    m_sendDoneHandler = std::move(handler);
}

void CTcpSocket::ReportNotConnectedLater()
{
    QMetaObject::invokeMethod(
        this, [this] { emit Error(kSockNotConnected, QStringLiteral("Socket is not connected")); },
        Qt::QueuedConnection);
}

bool CTcpSocket::ReadQueuedRanges()
{
    return m_queue.ReadRange();
}

void CTcpSocket::FailShortFile()
{
    m_closing = true;
    m_queue.Clear();
    if (m_socket) {
        // Its own end would come before the Error; this one reports both.
        m_socket->disconnect(this);
        m_socket->abort();
    }
    QMetaObject::invokeMethod(
        this,
        [this] {
            QPointer<CTcpSocket> self(this);
            emit Error(kSockGeneralFailure,
                       QStringLiteral("The file ended before its bytes were sent"));
            if (self)
                ReportClosed();
        },
        Qt::QueuedConnection);
}

qint64 CTcpSocket::PendingBytes() const
{
    return m_queue.PendingBytes() + HeldByQt();
}

qint64 CTcpSocket::HeldByQt() const
{
    return m_socket ? m_socket->bytesToWrite() : 0;
}

bool CTcpSocket::CanSend() const
{
    return m_socket && !m_closing && m_socket->state() == QAbstractSocket::ConnectedState;
}

void CTcpSocket::SchedulePump()
{
    if (m_pumpScheduled)
        return;
    m_pumpScheduled = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_pumpScheduled = false;
            PumpSends();
        },
        Qt::QueuedConnection);
}

void CTcpSocket::PumpSends()
{
    if (m_pumping || !CanSend())
        return;
    m_pumping = true;
    const QPointer<CTcpSocket> self(this);
    for (int round = 0; round < kPumpRounds; ++round) {
        // Qt's buffer changes only when the queue is written out below: asked
        // once per round, not once per confirmation.
        const qint64 heldByQt = HeldByQt();
        while (CanSend() && m_queue.TakeConfirmation(heldByQt)) {
            if (m_sendDoneHandler)
                m_sendDoneHandler();
            else
                emit SendDone();
            if (!self)
                return;
        }
        WriteOut();
        if (!self)
            return;
        if (!CanSend() || !m_queue.ConfirmationDue(HeldByQt()))
            break;
    }
    m_pumping = false;
    // Still room and a confirmation owed: the rest of this socket's turn
    // comes after the other events waiting now.
    if (CanSend() && m_queue.ConfirmationDue(HeldByQt()))
        SchedulePump();
}

void CTcpSocket::WriteOut()
{
    // While Qt still holds bytes the system has refused, the queue waits:
    // Qt writes its own buffer one piece at a time, so pieces stay large.
    if (!m_socket || m_socket->bytesToWrite() > 0)
        return;
    const int descriptor = static_cast<int>(m_socket->socketDescriptor());
    // Straight to the system, without a copy through Qt's buffer: the bytes
    // in one call and, once they have all gone, the file range in another.
    CSendQueue::SPiece piece = m_queue.Next();
    if (!piece.IsRange() && piece.length > 0) {
        const ssize_t sent = ::send(descriptor, piece.bytes, static_cast<size_t>(piece.length),
                                    MSG_NOSIGNAL | MSG_DONTWAIT);
        m_queue.Accepted(sent);
        piece = m_queue.Next();
    }
    if (piece.IsRange()) {
        off_t offset = static_cast<off_t>(piece.offset);
        const ssize_t sent =
            ::sendfile(descriptor, piece.descriptor, &offset, static_cast<size_t>(piece.length));
        if (sent == 0) {
            FailShortFile();
            return;
        }
        m_queue.Accepted(sent);
    }
    if (m_queue.IsEmpty())
        return;
    // What the system does not take now, and any failure, is left to Qt's
    // socket, which reports it through its own signals.
    if (!m_queue.ReadRange()) {
        FailShortFile();
        return;
    }
    const CSendQueue::SPiece rest = m_queue.Next();
    m_socket->write(rest.bytes, rest.length);
    m_queue.Accepted(rest.length);
    // Its signals may arrive from inside.
    m_socket->flush();
}

QByteArray CTcpSocket::Receive()
{
    return m_socket ? m_socket->readAll() : QByteArray();
}

void CTcpSocket::Close()
{
    // A second Close while the queue drains must not cut the delivery short.
    if (!m_socket || m_ended || m_closing)
        return;
    m_closing = true;
    if (m_socket->state() == QAbstractSocket::ConnectedState) {
        if (!m_queue.ReadRange()) {
            FailShortFile();
            return;
        }
        // Qt writes out its buffer before it closes; "disconnected" follows.
        const CSendQueue::SPiece rest = m_queue.Next();
        if (rest.length > 0)
            m_socket->write(rest.bytes, rest.length);
        m_queue.Clear();
        m_socket->disconnectFromHost();
        return;
    }
    m_queue.Clear();
    m_socket->abort();
    QMetaObject::invokeMethod(this, &CTcpSocket::ReportClosed, Qt::QueuedConnection);
}

void CTcpSocket::Abort()
{
    if (!m_socket || m_ended)
        return;
    m_closing = true;
    m_queue.Clear();
    m_socket->abort();
    QMetaObject::invokeMethod(this, &CTcpSocket::ReportClosed, Qt::QueuedConnection);
}

void CTcpSocket::SetReading(bool on)
{
    if (on == m_reading)
        return;
    m_reading = on;
    ApplyReadLimit();
    if (on && m_socket && m_socket->bytesAvailable() > 0) {
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (m_reading && m_socket && m_socket->bytesAvailable() > 0)
                    emit DataArrived();
            },
            Qt::QueuedConnection);
    }
}

void CTcpSocket::SetReadLimit(qint64 bytes)
{
    m_readLimit = bytes;
    ApplyReadLimit();
}

void CTcpSocket::ApplyReadLimit()
{
    // Qt stops reading from the system while its buffer holds the limit.
    if (m_socket)
        m_socket->setReadBufferSize(m_reading ? m_readLimit : 1);
}

void CTcpSocket::SetNoDelay(bool on)
{
    if (m_socket && m_socket->state() == QAbstractSocket::ConnectedState)
        m_socket->setSocketOption(QAbstractSocket::LowDelayOption, on ? 1 : 0);
}

bool CTcpSocket::NoDelay() const
{
    return m_socket && m_socket->socketOption(QAbstractSocket::LowDelayOption).toInt() != 0;
}

int CTcpSocket::State() const
{
    return m_state;
}

QString CTcpSocket::RemoteHost() const
{
    return m_remoteHost;
}

quint16 CTcpSocket::RemotePort() const
{
    return m_socket ? m_socket->peerPort() : 0;
}

QString CTcpSocket::LocalHost() const
{
    return m_socket && m_state == kStateConnected ? DottedAddress(m_socket->localAddress())
                                                  : QString();
}

quint16 CTcpSocket::LocalPort() const
{
    return m_socket ? m_socket->localPort() : 0;
}

void CTcpSocket::OnQtError()
{
    const QAbstractSocket::SocketError error = m_socket->error();
    if (m_fallback && m_state != kStateConnected
        && (error == QAbstractSocket::AddressInUseError
            || error == QAbstractSocket::SocketAccessError
            || error == QAbstractSocket::SocketAddressNotAvailableError)) {
        const SFallback fallback = *m_fallback;
        Attach(std::make_unique<QTcpSocket>());
        m_socket->connectToHost(fallback.host, fallback.port);
        return;
    }
    // The peer closing its end is the ordinary end of a connection.
    if (error != QAbstractSocket::RemoteHostClosedError) {
        QPointer<CTcpSocket> self(this);
        emit Error(SocketErrorNumber(error), m_socket->errorString());
        if (!self)
            return;
    }
    if (m_socket->state() == QAbstractSocket::UnconnectedState)
        ReportClosed();
}

void CTcpSocket::OnBytesWritten()
{
    PumpSends();
}

void CTcpSocket::ReportFailureLater()
{
    const int number = SocketErrorNumber(m_socket->error());
    const QString text = m_socket->errorString();
    QMetaObject::invokeMethod(
        this,
        [this, number, text] {
            QPointer<CTcpSocket> self(this);
            emit Error(number, text);
            if (self)
                ReportClosed();
        },
        Qt::QueuedConnection);
}

void CTcpSocket::ReportClosed()
{
    if (m_ended)
        return;
    m_ended = true;
    m_state = kStateClosed;
    m_queue.Clear();
    emit StateChanged();
}
