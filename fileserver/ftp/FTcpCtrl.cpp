#include "fileserver/ftp/FTcpCtrl.h"

FTcpCtrl::FTcpCtrl(QObject* parent) : QObject(parent)
{
    connect(&m_tcp, &CTcpSocket::StateChanged, this, &FTcpCtrl::Tcp_StateChanged);
    connect(&m_tcp, &CTcpSocket::DataArrived, this, [this] { emit OnReceived(m_tcp.Receive()); });
    connect(&m_tcp, &CTcpSocket::SendDone, this, &FTcpCtrl::OnDrained);
    connect(&m_tcp, &CTcpSocket::Error, this, &FTcpCtrl::OnFailed);
    // Each arrival is bounded, and so is what waits while reading is off.
    m_tcp.SetReadLimit(kReadLimit);
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

void FTcpCtrl::Tcp_StateChanged()
{
    if (m_tcp.State() == CTcpSocket::kStateConnected) {
        // A reply that follows another closely (150, then 226) goes out at
        // once, not after the client's delayed acknowledgement of the first.
        m_tcp.SetNoDelay(true);
        emit OnConnected(m_tcp.RemoteHost());
        return;
    }
    m_ended = true;
    emit OnClosed();
}
