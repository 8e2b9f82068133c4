#include "fileserver/tftp/CTftpDaemon.h"

#include "fileserver/tftp/CTftpPacket.h"
#include "fileserver/tftp/CTftpSession.h"

#include <utility>

CTftpDaemon::CTftpDaemon(STftpOptions options, QObject* parent)
    : QObject(parent), m_options(std::move(options)),
      m_ports(m_options.firstSessionPort, m_options.lastSessionPort)
{
}

// The sessions, children of this object, are deleted before the port ring
// they take their ports from; each closes what it holds.
CTftpDaemon::~CTftpDaemon()
{
    qDeleteAll(findChildren<CTftpSession*>(Qt::FindDirectChildrenOnly));
}

void CTftpDaemon::StartService()
{
    const QList<QHostAddress> addresses = m_options.listenAddresses.isEmpty()
                                              ? QList<QHostAddress>{QHostAddress::Any}
                                              : m_options.listenAddresses;
    std::vector<std::unique_ptr<CUdpSocket>> daemons;
    quint16 port = m_options.port;
    for (const QHostAddress& address : addresses) {
        auto daemon = std::make_unique<CUdpSocket>();
        daemon->Open(port, address); // throws; the sockets opened so far close with the vector
        port = daemon->LocalPort();
        // A session binds the address its request came to, unless that is
        // any address (the system then answers from the one the client used).
        const bool oneAddress = address != QHostAddress::Any && address != QHostAddress::AnyIPv4
                                && address != QHostAddress::AnyIPv6;
        connect(daemon.get(), &CUdpSocket::DataArrived, this,
                [this, raw = daemon.get(), local = oneAddress ? address : QHostAddress()] {
                    daemon_DataArrived(*raw, local);
                });
        daemons.push_back(std::move(daemon));
    }
    m_daemons = std::move(daemons);
}

quint16 CTftpDaemon::LocalPort() const
{
    return m_daemons.empty() ? 0 : m_daemons.front()->LocalPort();
}

void CTftpDaemon::daemon_DataArrived(CUdpSocket& daemon, const QHostAddress& local)
{
    // The waiting datagrams, a bounded number per call so that the sessions
    // get their turn; junk costs its decode only.
    QByteArrayView datagram;
    CUdpPeer sender;
    for (int read = 0; read < CUdpSocket::kDatagramsPerWakeUp && daemon.Receive(datagram, sender);
         ++read)
        HandleRequest(daemon, local, datagram, sender);
}

void CTftpDaemon::HandleRequest(CUdpSocket& daemon, const QHostAddress& local,
                                QByteArrayView datagram, const CUdpPeer& sender)
{
    // SECURITY: a datagram too short for an opcode, another opcode than a
    // request, or a name without its zero byte is dropped without an answer.
    const std::optional<CTftpPacket::SRequest> request =
        CTftpPacket::DecodeRequest(QByteArray::fromRawData(datagram.data(), datagram.size()));
    if (!request)
        return;
    // One session per client address and port: a repeated request is
    // dropped while the client's transfer runs.
    if (m_sessions.contains(sender))
        return;
    // SECURITY: the number of sessions, and with it of ports, descriptors
    // and open files, is bounded; a client beyond it is told at once, with
    // code 0 ("not defined") and a text of its own.
    if (m_sessions.size() >= m_options.maxSessions) {
        daemon.Send(QByteArrayView(CTftpPacket::EncodeError(CTftpPacket::eteReadFailed,
                                                            CTftpPacket::kServerBusyText)),
                    sender);
        return;
    }

    auto* session = new CTftpSession(m_options, m_ports, this);
    session->SetLocalAddress(local);
    m_sessions.insert(sender, session);
    connect(session, &CTftpSession::OnEnded, this, [this, sender] { RemoveSession(sender); });
    session->Activate(request->opcode, sender, request->fileName, request->options);
    emit NewTftpSessionStarted();
}

void CTftpDaemon::RemoveSession(const CUdpPeer& client)
{
    // OnEnded is raised from inside the session's own handlers, so it is
    // deleted once they have returned.
    if (CTftpSession* session = m_sessions.take(client))
        session->deleteLater();
}
