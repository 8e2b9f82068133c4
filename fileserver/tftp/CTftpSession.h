#pragma once

#include "fileserver/tftp/CTftpPacket.h"
#include "fileserver/tftp/CTftpTransfer.h"
#include "fileserver/tftp/STftpOptions.h"
#include "platform/sockets/CUdpSocket.h"

#include <QByteArray>
#include <QFile>
#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>

// One TFTP transfer with one client, on a UDP port of its own. The session
// binds the port, opens the file the request names inside the served folder,
// and then only carries bytes: each datagram and each retry tick goes to its
// CTftpTransfer, which decides what is sent and when the transfer ends.
//
// OnEnded tells the owner that the transfer is over; by then its file,
// socket and timer are closed. OnEnded is raised from inside the session's
// own handlers, so the owner deletes it later (deleteLater), not in its slot.
class CTftpSession final : public QObject {
    Q_OBJECT

public:
    explicit CTftpSession(const STftpOptions& options, QObject* parent = nullptr);
    ~CTftpSession() override;

    // Binds the session's own port and answers the request from there: the
    // OACK of the options accepted, else the first DATA block of a read or
    // ACK 0 of a write; or an error packet that ends the session at once.
    // Called once.
    void Activate(CTftpPacket::ETftpOpcode opcode, const QString& remoteHost, quint16 remotePort,
                  const QString& fileName, const CTftpPacket::COptions& options = {});

    // The session's own port; 0 once it has ended.
    quint16 LocalPort() const { return m_udpSession.LocalPort(); }
    bool IsEnded() const { return m_ended; }

signals:
    void OnEnded();

private:
    bool BindLocalPort();
    bool OpenFileForRead(const QString& localPath);
    bool OpenFileForWrite(const QString& localPath);
    STftpNegotiated Negotiate(CTftpPacket::ETftpOpcode opcode,
                              const CTftpPacket::COptions& options);
    // Sends what the transfer decided, then restarts the timer or ends.
    void CarryOut(const CTftpTransfer::SStep& step);
    void SendError(CTftpPacket::ETftpError code);
    void Send(const QByteArray& packet);
    void EndSession();

    void udpSession_DataArrived();
    void tmrRetries_Timer();

    const STftpOptions m_options;
    QString m_remHostName;
    quint16 m_remHostPort = 0;

    CUdpSocket m_udpSession;
    QTimer m_tmrRetries;
    QFile m_file;
    std::unique_ptr<CTftpTransfer> m_transfer; // from Activate on; reads and writes m_file
    bool m_ended = false;
};
