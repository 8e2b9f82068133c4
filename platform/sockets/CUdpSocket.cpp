#include "platform/sockets/CUdpSocket.h"

#include "common/CRaisedError.h"
#include "common/MWindowsError.h"
#include "platform/sockets/MSocketError.h"

#include <QNetworkDatagram>
#include <QUdpSocket>
#include <QVariant>

CUdpSocket::CUdpSocket(QObject* parent) : QObject(parent) {}

CUdpSocket::~CUdpSocket() = default;

void CUdpSocket::Open(quint16 localPort, const QHostAddress& address)
{
    const QAbstractSocket::SocketError error = TryOpen(localPort, address);
    if (error != QAbstractSocket::UnknownSocketError) {
        throw CRaisedError(static_cast<std::uint32_t>(SocketErrorNumber(error)),
                           ProgramName() + QStringLiteral(".Sockets"), m_lastErrorText);
    }
}

QAbstractSocket::SocketError CUdpSocket::TryOpen(quint16 localPort, const QHostAddress& address)
{
    auto socket = std::make_unique<QUdpSocket>();
    bool bound = socket->bind(address, localPort);
    // A host without IPv6 cannot bind the dual-stack address; IPv4 alone serves.
    if (!bound && address == QHostAddress::Any
        && socket->error() != QAbstractSocket::AddressInUseError
        && socket->error() != QAbstractSocket::SocketAccessError) {
        socket = std::make_unique<QUdpSocket>();
        bound = socket->bind(QHostAddress::AnyIPv4, localPort);
    }
    if (!bound) {
        m_lastErrorText = socket->errorString();
        return socket->error();
    }
    m_socket = std::move(socket);
    connect(m_socket.get(), &QUdpSocket::readyRead, this, &CUdpSocket::DataArrived);
    return QAbstractSocket::UnknownSocketError;
}

bool CUdpSocket::Receive(QByteArray& data, QString& remoteHost, quint16& remotePort)
{
    if (!m_socket || !m_socket->hasPendingDatagrams())
        return false;
    const QNetworkDatagram datagram = m_socket->receiveDatagram();
    data = datagram.data();
    remoteHost = DottedAddress(datagram.senderAddress());
    remotePort = static_cast<quint16>(datagram.senderPort());
    return true;
}

bool CUdpSocket::Send(const QByteArray& data, const QString& remoteHost, quint16 remotePort)
{
    if (!m_socket)
        return false;
    return m_socket->writeDatagram(data, QHostAddress(remoteHost), remotePort) == data.size();
}

void CUdpSocket::Close()
{
    if (!m_socket)
        return;
    m_socket->disconnect(this);
    m_socket->close();
    // Close may be called from the socket's own readyRead handler.
    m_socket.release()->deleteLater();
}

bool CUdpSocket::IsOpen() const
{
    return m_socket != nullptr;
}

quint16 CUdpSocket::LocalPort() const
{
    return m_socket ? m_socket->localPort() : 0;
}

int CUdpSocket::ReceiveBufferSize() const
{
    return m_socket ? m_socket->socketOption(QAbstractSocket::ReceiveBufferSizeSocketOption).toInt()
                    : 0;
}

int CUdpSocket::SendBufferSize() const
{
    return m_socket ? m_socket->socketOption(QAbstractSocket::SendBufferSizeSocketOption).toInt()
                    : 0;
}

void CUdpSocket::EnsureBufferSizes(int bytes)
{
    if (!m_socket)
        return;
    // Linux reports twice the size asked for, bookkeeping included; half the
    // report is what a request of the same size would set.
    if (ReceiveBufferSize() / 2 < bytes)
        m_socket->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, bytes);
    if (SendBufferSize() / 2 < bytes)
        m_socket->setSocketOption(QAbstractSocket::SendBufferSizeSocketOption, bytes);
}
