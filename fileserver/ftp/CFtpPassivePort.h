#pragma once

#include "platform/sockets/CSocketHandle.h"
#include "platform/sockets/CTcpDaemon.h"

#include <QObject>
#include <QString>

#include <functional>

// The listening socket of one session's passive mode (PASV, EPSV). It
// listens on the address the client reached, takes the first connection
// that comes from the client's own address, and hands it to the transfer
// that waits for it; the listening socket closes then. A connection from
// any other address is closed at once, and the wait goes on.
// Destroying it closes the port and any connection not handed on.
class CFtpPassivePort final : public QObject {
    Q_OBJECT

public:
    // Where to listen, and whom to take.
    struct SOptions {
        QString localHost; // the control connection's local address
        QString peerHost;  // the control connection's peer: the only one taken
        // The ports to try, both included; 0 and 0: one the system chooses.
        quint16 firstPort = 0;
        quint16 lastPort = 0;
    };

    explicit CFtpPassivePort(SOptions options, QObject* parent = nullptr);

    // Whether a port of the range could be had; false: nothing listens.
    bool IsListening() const { return m_daemon.IsListening(); }
    quint16 Port() const { return m_daemon.LocalPort(); }

    // The client's connection goes to receive: now if it has come, else
    // when it comes. Called once, for the transfer the port serves.
    void HandTo(std::function<void(CSocketHandle)> receive);

private:
    void Listen();
    void Daemon_Accept();
    void Deliver();

    SOptions m_options;
    CTcpDaemon m_daemon;
    bool m_taken = false;       // the one connection has come
    CSocketHandle m_connection; // taken, not handed on yet
    std::function<void(CSocketHandle)> m_receive;
};
