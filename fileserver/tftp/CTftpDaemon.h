#pragma once

#include "fileserver/tftp/CTftpPortRing.h"
#include "fileserver/tftp/STftpOptions.h"
#include "platform/sockets/CUdpPeer.h"
#include "platform/sockets/CUdpSocket.h"

#include <QByteArrayView>
#include <QHash>
#include <QObject>

class CTftpSession;

// The TFTP listener (RFC 1350): reads the read and write requests that
// reach its port and starts one CTftpSession per client address and port,
// which carries the transfer on a port of its own. Everything else that
// reaches the listener's port is dropped without an answer. Sessions are
// owned here and deleted once they have ended.
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

    // Binds the listening port. Throws CRaisedError with the system's reason
    // when it cannot (port taken, or below 1024 without the right to bind it).
    void StartService();

    // The bound listening port; 0 before StartService.
    quint16 LocalPort() const { return m_daemon.LocalPort(); }

    // The number of transfers running.
    qint32 TftpSessionCount() const { return static_cast<qint32>(m_sessions.size()); }

signals:
    // Raised after each new request has started a session, also one that
    // ended at once (a missing file, a refused name).
    void NewTftpSessionStarted();

private:
    void daemon_DataArrived();
    void HandleRequest(QByteArrayView datagram, const CUdpPeer& sender);
    void RemoveSession(const CUdpPeer& client);

    const STftpOptions m_options;
    CUdpSocket m_daemon;
    CTftpPortRing m_ports;
    QHash<CUdpPeer, CTftpSession*> m_sessions; // running sessions, children of this object
};
