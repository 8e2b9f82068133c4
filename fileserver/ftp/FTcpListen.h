#pragma once

#include "fileserver/ftp/SFtpOptions.h"
#include "platform/sockets/CTcpDaemon.h"

#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QString>

#include <memory>
#include <vector>

// Holds the FTP listening sockets, one per address listened on, and
// announces each accepted connection.
class FTcpListen final : public QObject {
    Q_OBJECT

public:
    explicit FTcpListen(QObject* parent = nullptr);
    ~FTcpListen() override;

    // Starts listening on each address (port 0: the system chooses for the
    // first address, and the others take the port it got, see LocalPort).
    // QHostAddress::Any serves IPv4 and IPv6 on one socket; "::" alone is
    // IPv6 only. All or nothing: when one address cannot be had, none is
    // listened on, and the failure arrives as OnListenerError. Listening
    // again while listening changes nothing.
    void Listen(quint16 port, const QList<QHostAddress>& addresses);
    void Listen(quint16 port = kFtpPort, const QHostAddress& address = QHostAddress::Any)
    {
        Listen(port, QList<QHostAddress>{address});
    }

    // Stops listening; accepted connections live on.
    void Close();

    bool IsListening() const;
    // The port listened on; 0 when not listening.
    quint16 LocalPort() const;

signals:
    // A connection was accepted; the receiver owns the handle (CTcpSocket::SetHandle).
    void OnNewConnection(qintptr handle);
    void OnListenerError(int number, const QString& description);
    // Accepting failed (descriptors ran out) and resumes shortly; shed
    // connections were accepted and closed at once.
    void OnAcceptPaused(int shed);

private:
    void Daemon_Accept(CTcpDaemon& daemon);

    // Kept until the next Listen even when closed, so that the failure of
    // one still reaches OnListenerError from the event loop.
    std::vector<std::unique_ptr<CTcpDaemon>> m_daemons;
};
