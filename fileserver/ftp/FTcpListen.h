#pragma once

#include "fileserver/ftp/SFtpOptions.h"
#include "platform/sockets/CTcpDaemon.h"

#include <QHostAddress>
#include <QObject>
#include <QString>

// Holds the FTP listening socket and announces each accepted connection.
class FTcpListen final : public QObject {
    Q_OBJECT

public:
    explicit FTcpListen(QObject* parent = nullptr);

    // Starts listening (port 0: the system chooses, see LocalPort). A failure
    // arrives as OnListenerError.
    void Listen(quint16 port = kFtpPort, const QHostAddress& address = QHostAddress::Any);

    // Stops listening; accepted connections live on.
    void Close();

    bool IsListening() const { return m_daemon.IsListening(); }
    quint16 LocalPort() const { return m_daemon.LocalPort(); }

signals:
    // A connection was accepted; the receiver owns the handle (CTcpSocket::SetHandle).
    void OnNewConnection(qintptr handle);
    void OnListenerError(int number, const QString& description);
    // Accepting failed (descriptors ran out) and resumes shortly; shed
    // connections were accepted and closed at once.
    void OnAcceptPaused(int shed);

private:
    void Daemon_Accept();

    CTcpDaemon m_daemon;
};
