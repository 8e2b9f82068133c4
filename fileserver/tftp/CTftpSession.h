#pragma once

#include "fileserver/tftp/CTftpPacket.h"
#include "fileserver/tftp/STftpOptions.h"
#include "platform/sockets/CUdpSocket.h"

#include <QByteArray>
#include <QFile>
#include <QObject>
#include <QString>
#include <QTimer>

// One TFTP transfer (RFC 1350) with one client, on a UDP port of its own.
// A read sends the file in 512-byte blocks, one block in flight, each sent
// again every retry interval until its ACK comes; a write stores the
// client's DATA blocks and answers each with an ACK. Every transfer ends
// after 17 retry intervals without progress. The transfer mode is not
// examined: files travel byte for byte, and no options are answered.
//
// Ended tells the owner that the transfer is over; by then its file, socket
// and timer are closed. Ended is raised from inside the session's own
// handlers, so the owner deletes it later (deleteLater), not in its slot.
class CTftpSession final : public QObject {
    Q_OBJECT

public:
    // A block is sent at most this many times again before the transfer gives up.
    static constexpr int kMaxResends = 16;

    explicit CTftpSession(const STftpOptions& options, QObject* parent = nullptr);
    ~CTftpSession() override;

    // Binds the session's own port and answers the request from there: the
    // first DATA block of a read, ACK 0 of a write, or an error packet that
    // ends the session at once. Called once.
    void Activate(CTftpPacket::ETftpOpcode opcode, const QString& remoteHost, quint16 remotePort,
                  const QString& fileName);

    // The session's own port; 0 once it has ended.
    quint16 LocalPort() const { return m_udpSession.LocalPort(); }
    bool IsEnded() const { return m_ended; }

signals:
    void Ended();

private:
    bool BindLocalPort();
    bool OpenFileForRead(const QString& localPath);
    bool OpenFileForWrite(const QString& localPath);
    void SendNextBlock();
    void SendDataBlock();
    void SendAck(quint16 block);
    void SendError(CTftpPacket::ETftpError code);
    void Send(const QByteArray& packet);
    void EndSession();

    void UdpSession_Receive();
    void RetriesTimer_ThatTime();
    void HandleDatagram(const QByteArray& datagram, const QString& senderHost, quint16 senderPort);
    void HandleData(const QByteArray& datagram, bool fromClient);
    void HandleAck(const QByteArray& datagram, bool fromClient);

    const STftpOptions m_options;
    CTftpPacket::ETftpOpcode m_optCode = CTftpPacket::etoReadRequest;
    QString m_remHostName;
    quint16 m_remHostPort = 0;
    QString m_fileName;

    CUdpSocket m_udpSession;
    QTimer m_retriesTimer;
    QFile m_file;

    QByteArray m_blockData;    // the last DATA block sent, kept for resending
    quint16 m_blockNumber = 0; // of the last DATA block sent, or the last one stored
    int m_retries = 0;         // retry intervals passed without progress
    bool m_ended = false;
};
