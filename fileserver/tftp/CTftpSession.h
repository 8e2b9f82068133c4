#pragma once

#include "fileserver/tftp/CTftpPacket.h"
#include "fileserver/tftp/CTftpTransfer.h"
#include "fileserver/tftp/STftpOptions.h"
#include "platform/sockets/CUdpPeer.h"
#include "platform/sockets/CUdpSocket.h"

#include <QElapsedTimer>
#include <QFileDevice>
#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>
#include <optional>

class CTftpPortRing;

// One TFTP transfer with one client, on a UDP port of its own. The session
// binds the port, opens the file the request names inside the served folder,
// and then only carries bytes: each datagram and each retry tick goes to its
// CTftpTransfer, which decides what is sent and when the transfer ends.
//
// The port comes from the listener's ring of free session ports: a few are
// tried, then the system chooses one. The socket is IPv4 for an IPv4 client,
// on the local address the listener gives, else on any address.
// A read sends the file as it stands. A write goes to a temporary file in the
// target's folder that replaces the target only once the last block is in;
// a write that fails or is given up leaves the old file as it was and no
// part of the new one.
//
// Descriptors: two at most while it runs (its socket and its file, for a
// write the temporary one), none once it has ended.
//
// OnEnded tells the owner that the transfer is over; by then its file,
// socket and timer are closed and its port is back in the ring. OnEnded is
// raised from inside the session's own handlers, so the owner deletes it
// later (deleteLater), not in its slot.
class CTftpSession final : public QObject {
    Q_OBJECT

public:
    // ports outlives the session.
    CTftpSession(const STftpOptions& options, CTftpPortRing& ports, QObject* parent = nullptr);
    ~CTftpSession() override;

    // The address the session's port is bound on, the one its request came
    // to; a null address (the default): any address of the client's family.
    // Called before Activate.
    void SetLocalAddress(const QHostAddress& address) { m_localAddress = address; }

    // Binds the session's own port and answers the request from there: the
    // OACK of the options accepted, else the first DATA block of a read or
    // ACK 0 of a write; or an error packet that ends the session at once.
    // Called once.
    void Activate(CTftpPacket::ETftpOpcode opcode, const CUdpPeer& client, const QString& fileName,
                  const CTftpPacket::COptions& options = {});

    // The session's own port; 0 once it has ended.
    quint16 LocalPort() const { return m_udpSession.LocalPort(); }
    bool IsEnded() const { return m_ended; }

signals:
    void OnEnded();

private:
    // Ports of the ring tried before the system chooses one.
    static constexpr int kRingPortAttempts = 4;

    bool BindLocalPort();
    bool OpenFileForRead(const QString& localPath);
    bool OpenFileForWrite(const QString& localPath);
    STftpNegotiated Negotiate(CTftpPacket::ETftpOpcode opcode,
                              const CTftpPacket::COptions& options);
    // The one place where a resolved name is opened.
    static bool OpenResolved(QFileDevice& file, QIODevice::OpenMode mode);
    // Sends what the transfer decided, then notes the progress or ends.
    void CarryOut(const CTftpTransfer::SStep& step, const CUdpPeer& sender);
    void SendError(CTftpPacket::ETftpError code);
    void EndSession();

    void udpSession_DataArrived();
    void tmrRetries_Timer();

    const STftpOptions m_options;
    CTftpPortRing& m_ports;
    std::optional<quint16> m_ringPort; // the port taken from the ring, given back at the end
    CUdpPeer m_client;
    QHostAddress m_localAddress;

    CUdpSocket m_udpSession;
    // One single-shot timer: progress only notes the time, and the timer,
    // when it fires early, waits for the rest of the interval.
    QTimer m_tmrRetries;
    QElapsedTimer m_sinceProgress;
    int m_retryIntervalMs; // the options' interval, or the client's negotiated timeout
    std::unique_ptr<QFileDevice> m_file;       // a QFile to read, a QSaveFile to write
    std::unique_ptr<CTftpTransfer> m_transfer; // from Activate on; reads and writes m_file
    bool m_ended = false;
};
