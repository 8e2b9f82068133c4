#pragma once

#include "platform/sockets/CTcpDaemon.h"

#include <QHostAddress>
#include <QObject>
#include <QString>

// Holds the FTP listening socket and announces each accepted connection.
class FTcpListen final : public QObject {
    Q_OBJECT

public:
    // RFC 959: the control connection's well-known port.
    static constexpr quint16 kFtpPort = 21;

    explicit FTcpListen(QObject* parent = nullptr);

    // Starts listening (port 0: the system chooses, see LocalPort). A failure
    // arrives as ListenerError.
    void Listen(quint16 port = kFtpPort, const QHostAddress& address = QHostAddress::Any);

    // Stops listening; accepted connections live on.
    void Close();

    bool IsListening() const { return m_daemon.IsListening(); }
    quint16 LocalPort() const { return m_daemon.LocalPort(); }

signals:
    // A connection was accepted; the receiver owns the handle (CTcpSocket::SetHandle).
    void NewConnection(qintptr handle);
    void ListenerError(int number, const QString& description);

private:
    void OnAccept();

    CTcpDaemon m_daemon;
};
