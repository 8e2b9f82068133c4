#include "platform/sockets/CTcpDaemon.h"

#include "platform/sockets/MSocketError.h"

#include <QPointer>
#include <QTcpServer>

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
}

CTcpDaemon::~CTcpDaemon() = default;

void CTcpDaemon::Listen(quint16 port, const QHostAddress& address)
{
    if (m_server->isListening())
        return;
    if (m_server->listen(address, port))
        return;
    const int number = SocketErrorNumber(m_server->serverError());
    const QString text = m_server->errorString();
    QMetaObject::invokeMethod(
        this, [this, number, text] { emit Error(number, text); }, Qt::QueuedConnection);
}

void CTcpDaemon::Close()
{
    m_server->close();
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
