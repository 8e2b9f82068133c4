#include "fileserver/ftp/CFtpPassivePort.h"

#include <QHostAddress>
#include <QRandomGenerator>

CFtpPassivePort::CFtpPassivePort(SOptions options, QObject* parent)
    : QObject(parent), m_options(std::move(options))
{
    connect(&m_daemon, &CTcpDaemon::Accept, this, &CFtpPassivePort::Daemon_Accept);
    Listen();
}

void CFtpPassivePort::Listen()
{
    const QHostAddress address(m_options.localHost);
    const quint16 first = m_options.firstPort;
    const quint16 last = m_options.lastPort;
    if (first == 0 && last == 0) {
        m_daemon.Listen(0, address);
        return;
    }
    if (first == 0 || last < first)
        return;
    // Each port of the range once, from a random one, so that sessions
    // starting together do not all race for the first.
    const quint32 count = quint32(last) - first + 1;
    const quint32 start = QRandomGenerator::global()->bounded(count);
    for (quint32 i = 0; i < count; ++i) {
        const auto port = static_cast<quint16>(first + (start + i) % count);
        if (m_daemon.Listen(port, address))
            return;
    }
}

void CFtpPassivePort::HandTo(std::function<void(CSocketHandle)> receive)
{
    m_receive = std::move(receive);
    Deliver();
}

void CFtpPassivePort::Daemon_Accept()
{
    // SECURITY: data connections are the control peer's only; a connection
    // left untaken is closed by the daemon. One at a time: a second
    // connection before the first was handed on is closed as well.
    if (m_taken || m_daemon.PeerHost() != m_options.peerHost)
        return;
    m_taken = true;
    m_connection = CSocketHandle(m_daemon.Handle());
    // Not from inside the daemon's own accept.
    QMetaObject::invokeMethod(
        this, [this] { m_daemon.Close(); }, Qt::QueuedConnection);
    Deliver();
}

void CFtpPassivePort::Deliver()
{
    if (!m_receive || !m_connection.IsValid())
        return;
    auto receive = std::move(m_receive);
    m_receive = nullptr;
    receive(std::move(m_connection));
}
