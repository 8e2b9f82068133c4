#pragma once

#include <QAbstractSocket>
#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QString>

#include <memory>

class QUdpSocket;

// A datagram socket. DataArrived tells that datagrams wait; the handler
// reads them with Receive until it returns false.
class CUdpSocket final : public QObject {
    Q_OBJECT

public:
    explicit CUdpSocket(QObject* parent = nullptr);
    ~CUdpSocket() override;

    // Binds the local port (0: the system chooses, see LocalPort). Throws
    // CRaisedError with the socket layer's number (10048 address in use,
    // 10013 access denied, ...) and the system's description when it cannot.
    void Open(quint16 localPort, const QHostAddress& address = QHostAddress::Any);

    // Open without the exception, for callers that try several ports: the
    // reason it failed, or QAbstractSocket::UnknownSocketError when bound.
    QAbstractSocket::SocketError TryOpen(quint16 localPort,
                                         const QHostAddress& address = QHostAddress::Any);

    // Reads the next waiting datagram with its sender's dotted address and port.
    bool Receive(QByteArray& data, QString& remoteHost, quint16& remotePort);

    // Sends one datagram; false when the system refused it.
    bool Send(const QByteArray& data, const QString& remoteHost, quint16 remotePort);

    void Close();

    bool IsOpen() const;
    quint16 LocalPort() const;

    // The system's receive and send buffer sizes of the open socket, in
    // bytes as the system counts them (datagrams with their bookkeeping);
    // 0 when closed or unknown.
    int ReceiveBufferSize() const;
    int SendBufferSize() const;
    // Asks for buffers of at least bytes each; the system may grant less
    // (Linux: up to net.core.rmem_max and wmem_max). Smaller buffers stay.
    void EnsureBufferSizes(int bytes);

signals:
    void DataArrived();

private:
    std::unique_ptr<QUdpSocket> m_socket;
    QString m_lastErrorText; // the system's words for the last failed open
};
