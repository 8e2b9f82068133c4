#include "platform/sockets/CTcpDaemon.h"

#include "platform/sockets/MSocketError.h"

#include <QPointer>
#include <QSocketNotifier>
#include <QTcpServer>

#include <cerrno>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

// Hands accepted descriptors to the daemon instead of wrapping them in sockets.
class CTcpDaemon::CServer final : public QTcpServer {
public:
    explicit CServer(CTcpDaemon* owner) : m_owner(owner) {}

protected:
    void incomingConnection(qintptr handle) override { m_owner->OnIncoming(handle); }

private:
    CTcpDaemon* m_owner;
};

CTcpDaemon::CTcpDaemon(QObject* parent) : QObject(parent), m_server(std::make_unique<CServer>(this))
{
    m_resume.setSingleShot(true);
    m_resume.setInterval(kAcceptPauseMs);
    connect(&m_resume, &QTimer::timeout, this, [this] {
        if (m_notifier)
            m_notifier->setEnabled(true);
    });
}

CTcpDaemon::~CTcpDaemon()
{
    ReleaseReserve();
}

bool CTcpDaemon::Listen(quint16 port, const QHostAddress& address)
{
    if (m_server->isListening())
        return true;
    if (m_server->listen(address, port)) {
        // Accepting is done here, not by Qt, which retries a failed accept
        // at once for as long as the descriptor table stays full.
        m_server->pauseAccepting();
        m_notifier =
            std::make_unique<QSocketNotifier>(m_server->socketDescriptor(), QSocketNotifier::Read);
        connect(m_notifier.get(), &QSocketNotifier::activated, this, &CTcpDaemon::AcceptWaiting);
        TakeReserve();
        return true;
    }
    const int number = SocketErrorNumber(m_server->serverError());
    const QString text = m_server->errorString();
    QMetaObject::invokeMethod(
        this, [this, number, text] { emit Error(number, text); }, Qt::QueuedConnection);
    return false;
}

void CTcpDaemon::Close()
{
    m_resume.stop();
    m_notifier.reset();
    m_server->close();
    ReleaseReserve();
}

void CTcpDaemon::TakeReserve()
{
    if (m_reserve < 0)
        m_reserve = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
}

void CTcpDaemon::ReleaseReserve()
{
    if (m_reserve >= 0)
        ::close(m_reserve);
    m_reserve = -1;
}

void CTcpDaemon::AcceptWaiting()
{
    const int listener = static_cast<int>(m_server->socketDescriptor());
    QPointer<CTcpDaemon> self(this);
    // Each pass takes one waiting connection; the rest wait for the next wake.
    for (int i = 0; i < kMaxAcceptsPerWake; ++i) {
        const int handle = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (handle >= 0) {
            OnIncoming(handle);
            if (!self || !m_notifier)
                return;
            continue;
        }
        if (errno == EINTR || errno == ECONNABORTED || errno == EPROTO)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return;
        const bool outOfDescriptors =
            errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM;
        const int shed = outOfDescriptors ? ShedWaitingConnections() : 0;
        m_notifier->setEnabled(false);
        m_resume.start();
        emit AcceptPaused(shed);
        return;
    }
}

int CTcpDaemon::ShedWaitingConnections()
{
    ReleaseReserve();
    const int listener = static_cast<int>(m_server->socketDescriptor());
    int shed = 0;
    // The listening socket does not block: the loop ends with the queue.
    while (listener >= 0 && shed < kMaxShedPerPause) {
        const int handle = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (handle < 0)
            break;
        ::close(handle);
        ++shed;
    }
    TakeReserve();
    return shed;
}

bool CTcpDaemon::IsListening() const
{
    return m_server->isListening();
}

quint16 CTcpDaemon::LocalPort() const
{
    return m_server->serverPort();
}

qintptr CTcpDaemon::Handle()
{
    m_handleTaken = true;
    return m_handle;
}

QString CTcpDaemon::PeerHost() const
{
    sockaddr_storage peer{};
    socklen_t length = sizeof peer;
    if (m_handle < 0
        || ::getpeername(static_cast<int>(m_handle), reinterpret_cast<sockaddr*>(&peer), &length)
               != 0)
        return {};
    return DottedAddress(QHostAddress(reinterpret_cast<const sockaddr*>(&peer)));
}

void CTcpDaemon::OnIncoming(qintptr handle)
{
    m_handle = handle;
    m_handleTaken = false;
    QPointer<CTcpDaemon> self(this);
    emit Accept();
    if (!self) {
        ::close(static_cast<int>(handle));
        return;
    }
    // Nobody took the connection: release it rather than leak the descriptor.
    if (!m_handleTaken)
        ::close(static_cast<int>(handle));
    m_handle = -1;
}
