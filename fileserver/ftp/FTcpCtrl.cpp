#include "fileserver/ftp/FTcpCtrl.h"

FTcpCtrl::FTcpCtrl(QObject* parent) : QObject(parent)
{
    connect(&m_tcp, &CTcpSocket::StateChanged, this, &FTcpCtrl::OnStateChanged);
    connect(&m_tcp, &CTcpSocket::DataArrived, this, [this] { emit Received(m_tcp.Receive()); });
    connect(&m_tcp, &CTcpSocket::Error, this, &FTcpCtrl::Failed);
}

void FTcpCtrl::Attach(qintptr handle)
{
    m_closing = false;
    m_ended = false;
    m_tcp.SetHandle(handle);
}

void FTcpCtrl::Send(const QByteArray& bytes)
{
    if (!m_closing && m_tcp.State() == CTcpSocket::kStateConnected)
        m_tcp.Send(bytes);
}

void FTcpCtrl::Close()
{
    m_closing = true;
    m_tcp.Close();
}

void FTcpCtrl::OnStateChanged()
{
    if (m_tcp.State() == CTcpSocket::kStateConnected) {
        emit Connected(m_tcp.RemoteHost());
        return;
    }
    m_ended = true;
    emit Closed();
}
