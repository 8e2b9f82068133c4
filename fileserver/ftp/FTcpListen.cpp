#include "fileserver/ftp/FTcpListen.h"

#include <QMetaMethod>

#include <algorithm>

FTcpListen::FTcpListen(QObject* parent) : QObject(parent) {}

FTcpListen::~FTcpListen() = default;

void FTcpListen::Listen(quint16 port, const QList<QHostAddress>& addresses)
{
    if (IsListening())
        return;
    m_daemons.clear();
    for (const QHostAddress& address : addresses) {
        auto daemon = std::make_unique<CTcpDaemon>();
        CTcpDaemon* raw = daemon.get();
        connect(raw, &CTcpDaemon::Accept, this, [this, raw] { Daemon_Accept(*raw); });
        connect(raw, &CTcpDaemon::Error, this, &FTcpListen::OnListenerError);
        connect(raw, &CTcpDaemon::AcceptPaused, this, &FTcpListen::OnAcceptPaused);
        m_daemons.push_back(std::move(daemon));
        raw->Listen(port, address);
        if (!raw->IsListening()) {
            // Half the addresses would leave a client to guess which one answers.
            Close();
            return;
        }
        port = raw->LocalPort();
    }
}

void FTcpListen::Close()
{
    for (const std::unique_ptr<CTcpDaemon>& daemon : m_daemons)
        daemon->Close();
}

bool FTcpListen::IsListening() const
{
    return std::any_of(
        m_daemons.begin(), m_daemons.end(),
        [](const std::unique_ptr<CTcpDaemon>& daemon) { return daemon->IsListening(); });
}

quint16 FTcpListen::LocalPort() const
{
    return IsListening() ? m_daemons.front()->LocalPort() : 0;
}

void FTcpListen::Daemon_Accept(CTcpDaemon& daemon)
{
    // Left untaken, the daemon closes the connection instead of leaking it.
    if (!isSignalConnected(QMetaMethod::fromSignal(&FTcpListen::OnNewConnection)))
        return;
    emit OnNewConnection(daemon.Handle());
}
