#pragma once

#include "platform/sockets/CUdpPeer.h"

#include <QAbstractSocket>
#include <QByteArray>
#include <QByteArrayView>
#include <QHostAddress>
#include <QObject>
#include <QString>

class QSocketNotifier;

// A datagram socket. DataArrived tells that datagrams wait; the handler
// reads them with Receive, one non-blocking read of one datagram each, until
// it returns false or kDatagramsPerWakeUp have been read. A datagram left
// waiting raises DataArrived again on the next pass of the event loop.
//
// The socket holds one descriptor while it is open and none once closed.
class CUdpSocket final : public QObject {
    Q_OBJECT

public:
    // The most datagrams a DataArrived handler reads in one call: one per
    // pass of the event loop lets a queue that junk keeps full grow until
    // requests are dropped, while no bound at all would keep the thread's
    // other sockets and timers waiting.
    static constexpr int kDatagramsPerWakeUp = 64;

    explicit CUdpSocket(QObject* parent = nullptr);
    ~CUdpSocket() override;

    // Binds the local port (0: the system chooses, see LocalPort). Throws
    // CRaisedError with the socket layer's number (10048 address in use,
    // 10013 access denied, ...) and the system's description when it cannot.
    // QHostAddress::Any is dual-stack where the host has IPv6, IPv4 alone
    // otherwise; AnyIPv4 or AnyIPv6 bind one family only.
    void Open(quint16 localPort, const QHostAddress& address = QHostAddress::Any);

    // Open without the exception, for callers that try several ports: the
    // reason it failed, or QAbstractSocket::UnknownSocketError when bound.
    QAbstractSocket::SocketError TryOpen(quint16 localPort,
                                         const QHostAddress& address = QHostAddress::Any);

    // Reads the next waiting datagram, if any, into a buffer that the sockets
    // of this thread share: data shows it until the next Receive on any of
    // them. False when none waits.
    bool Receive(QByteArrayView& data, CUdpPeer& sender);

    // The same with a copy of the bytes and the sender's dotted address.
    bool Receive(QByteArray& data, QString& remoteHost, quint16& remotePort);

    // Sends one datagram; false when the system refused it.
    bool Send(QByteArrayView data, const CUdpPeer& receiver);
    bool Send(const QByteArray& data, const QString& remoteHost, quint16 remotePort);

    void Close();

    bool IsOpen() const { return m_descriptor >= 0; }
    quint16 LocalPort() const { return m_localPort; }

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
    int BufferSize(int option) const;

    int m_descriptor = -1;
    int m_family = 0;                      // AF_INET or AF_INET6 once open
    QSocketNotifier* m_notifier = nullptr; // a child while open
    quint16 m_localPort = 0;
    QString m_lastErrorText; // the system's words for the last failed open
};
