#pragma once

#include "fileserver/tftp/CTftpPortRing.h"
#include "fileserver/tftp/STftpOptions.h"
#include "platform/sockets/CUdpPeer.h"
#include "platform/sockets/CUdpSocket.h"

#include <QByteArrayView>
#include <QHash>
#include <QHostAddress>
#include <QObject>

#include <memory>
#include <vector>

class CTftpSession;

// The TFTP listener (RFC 1350): reads the read and write requests that
// reach its port, on each of the options' listen addresses, and starts one
// CTftpSession per client address and port, which carries the transfer on a
// port of its own (on the address the request came to, where the listener's
// socket has one). Everything else that reaches the listener's port is
// dropped without an answer. Sessions are owned here and deleted once they
// have ended.
//
// At most STftpOptions::maxSessions run at once; a new client beyond them
// gets one error packet (code 0, "Server busy") from the listener's port,
// and no session. With each session's two descriptors, the listener holds
// one more than twice that many at most.
class CTftpDaemon final : public QObject {
    Q_OBJECT

public:
    explicit CTftpDaemon(STftpOptions options = {}, QObject* parent = nullptr);
    ~CTftpDaemon() override;

    // Binds the listening port on each listen address (port 0: the system
    // chooses for the first, and the others take the port it got). Throws
    // CRaisedError with the system's reason when one cannot be bound (port
    // taken, address not this host's, or a port below 1024 without the right
    // to bind it); none stays bound then.
    void StartService();

    // The bound listening port; 0 before StartService.
    quint16 LocalPort() const;

    // The number of transfers running.
    qint32 TftpSessionCount() const { return static_cast<qint32>(m_sessions.size()); }

signals:
    // Raised after each new request has started a session, also one that
    // ended at once (a missing file, a refused name).
    void NewTftpSessionStarted();

private:
    void daemon_DataArrived(CUdpSocket& daemon, const QHostAddress& local);
    void HandleRequest(CUdpSocket& daemon, const QHostAddress& local, QByteArrayView datagram,
                       const CUdpPeer& sender);
    void RemoveSession(const CUdpPeer& client);

    const STftpOptions m_options;
    std::vector<std::unique_ptr<CUdpSocket>> m_daemons; // one per listen address
    CTftpPortRing m_ports;
    QHash<CUdpPeer, CTftpSession*> m_sessions; // running sessions, children of this object
};
