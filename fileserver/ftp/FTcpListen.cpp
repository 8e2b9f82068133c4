#include "fileserver/ftp/FTcpListen.h"

#include <QMetaMethod>

FTcpListen::FTcpListen(QObject* parent) : QObject(parent)
{
    connect(&m_daemon, &CTcpDaemon::Accept, this, &FTcpListen::Daemon_Accept);
    connect(&m_daemon, &CTcpDaemon::Error, this, &FTcpListen::OnListenerError);
    connect(&m_daemon, &CTcpDaemon::AcceptPaused, this, &FTcpListen::OnAcceptPaused);
}

void FTcpListen::Listen(quint16 port, const QHostAddress& address)
{
    m_daemon.Listen(port, address);
}

void FTcpListen::Close()
{
    m_daemon.Close();
}

void FTcpListen::Daemon_Accept()
{
    // Left untaken, the daemon closes the connection instead of leaking it.
    if (!isSignalConnected(QMetaMethod::fromSignal(&FTcpListen::OnNewConnection)))
        return;
    emit OnNewConnection(m_daemon.Handle());
}
