#include "fileserver/tftp/CTftpDaemon.h"

#include "fileserver/tftp/CTftpPacket.h"
#include "fileserver/tftp/CTftpSession.h"

#include <utility>

CTftpDaemon::CTftpDaemon(STftpOptions options, QObject* parent)
    : QObject(parent), m_options(std::move(options))
{
    connect(&m_daemon, &CUdpSocket::DataArrived, this, &CTftpDaemon::daemon_DataArrived);
}

// The sessions, children of this object, go with it and close what they hold.
CTftpDaemon::~CTftpDaemon() = default;

void CTftpDaemon::StartService()
{
    m_daemon.Open(m_options.port);
}

void CTftpDaemon::daemon_DataArrived()
{
    QByteArray datagram;
    QString senderHost;
    quint16 senderPort = 0;
    while (m_daemon.Receive(datagram, senderHost, senderPort))
        HandleRequest(datagram, senderHost, senderPort);
}

void CTftpDaemon::HandleRequest(const QByteArray& datagram, const QString& senderHost,
                                quint16 senderPort)
{
    // SECURITY: a datagram too short for an opcode, another opcode than a
    // request, or a name without its zero byte is dropped without an answer.
    const std::optional<CTftpPacket::SRequest> request = CTftpPacket::DecodeRequest(datagram);
    if (!request)
        return;
    // One session per client port: a repeated request, from this client or
    // from another host that uses the same port, is dropped while it runs.
    const QString key = SessionKey(senderPort);
    if (m_sessions.contains(key))
        return;

    auto* session = new CTftpSession(m_options, this);
    m_sessions.insert(key, session);
    connect(session, &CTftpSession::OnEnded, this, [this, key] { RemoveSession(key); });
    session->Activate(request->opcode, senderHost, senderPort, request->fileName, request->options);
    emit NewTftpSessionStarted();
}

void CTftpDaemon::RemoveSession(const QString& key)
{
    // OnEnded is raised from inside the session's own handlers, so it is
    // deleted once they have returned.
    if (CTftpSession* session = m_sessions.take(key))
        session->deleteLater();
}

QString CTftpDaemon::SessionKey(quint16 clientPort)
{
    return QString::number(clientPort) + QLatin1Char('K');
}
