#include "fileserver/ftp/FTcpListen.h"

#include <QMetaMethod>

FTcpListen::FTcpListen(QObject* parent) : QObject(parent)
{
    connect(&m_daemon, &CTcpDaemon::Accept, this, &FTcpListen::OnAccept);
    connect(&m_daemon, &CTcpDaemon::Error, this, &FTcpListen::ListenerError);
}

void FTcpListen::Listen(quint16 port, const QHostAddress& address)
{
    m_daemon.Listen(port, address);
}

void FTcpListen::Close()
{
    m_daemon.Close();
}

void FTcpListen::OnAccept()
{
    // Left untaken, the daemon closes the connection instead of leaking it.
    if (!isSignalConnected(QMetaMethod::fromSignal(&FTcpListen::NewConnection)))
        return;
    emit NewConnection(m_daemon.Handle());
}
