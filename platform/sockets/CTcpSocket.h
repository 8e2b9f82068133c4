#pragma once

#include "platform/sockets/CSendQueue.h"

#include <QByteArray>
#include <QFile>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class QTcpSocket;

// A stream socket with the operations and events the protocol holders use.
// Every outcome arrives as a signal on the caller's thread.
//
// Sends go into the socket's own queue (CSendQueue) and are confirmed by
// SendDone as soon as the queue is below kSendHighWater; the queue reaches the
// system in large writes. A holder that sends its next piece from SendDone is called
// again from the same loop, never from deeper inside its own call.
//
// Life of one socket: Connect (or SetHandle) -> StateChanged with State 2 ->
// DataArrived / SendDone ... -> StateChanged with State 0. A socket that was
// connected or connecting reports State 0 exactly once when it ends, whether
// it was closed by either side or failed; a failure raises Error first.
// A peer that closes its end is a normal end, not an Error.
// A holder that drops the socket from inside one of its signals uses deleteLater.
class CTcpSocket final : public QObject {
    Q_OBJECT

public:
    static constexpr int kStateClosed = 0;
    static constexpr int kStateConnected = 2;
    // Bytes the queue holds before SendDone waits for the system to take some.
    static constexpr qint64 kSendHighWater = CSendQueue::kHighWater;

    // Whether a local port given to Connect must be had, or is only wished for.
    enum class ELocalPort { Required, Preferred };

    explicit CTcpSocket(QObject* parent = nullptr);
    ~CTcpSocket() override;

    // Connects to host:port. A non-zero localPort binds the connection to it
    // first; with ELocalPort::Preferred a port that cannot be bound (taken, or
    // below 1024 without the right) gives way to one the system chooses.
    void Connect(const QString& remoteHost, quint16 remotePort, quint16 localPort = 0,
                 ELocalPort rule = ELocalPort::Required);

    // Takes over a connection accepted by a CTcpDaemon; StateChanged follows
    // from the event loop, so the holder can connect its slots first.
    void SetHandle(qintptr handle);

    // Queues bytes in order; SendDone follows from the event loop once the
    // queue has room again (below kSendHighWater), and one SendDone answers
    // every Send made before it. Sending on a socket that is not connected
    // raises Error 10057.
    void Send(const QByteArray& data);

    // Queues length bytes of the open file from offset, after what is
    // queued, confirmed like Send. They go from the file to the system
    // without a copy where it can; a range that continues the one before goes
    // out with it in one call. The socket keeps the file until they have
    // gone. A file found shorter than its ranges ends the connection with
    // Error 10000.
    void SendFileRange(const std::shared_ptr<QFile>& file, qint64 offset, qint64 length);

    // Reads the queued file ranges into the queue now, so that what the
    // peer gets no longer depends on the file. False if the file no longer
    // holds them; those ranges are then dropped.
    bool ReadQueuedRanges();

    // A holder that sends a small piece from every confirmation may take it
    // as this direct call, cheaper than the signal; while one is set,
    // SendDone is not emitted. The same rules hold as for the signal.
    void SetSendDoneHandler(std::function<void()> handler);

    // Bytes sent but not yet taken by the system.
    qint64 PendingBytes() const;

    // The bytes received since the last call.
    QByteArray Receive();

    // Ends the connection after everything queued has been delivered.
    void Close();

    // Ends the connection at once; what is queued is dropped.
    void Abort();

    // Off: no DataArrived, and the socket stops taking bytes from the system
    // once some wait, so the peer's sending stalls. On again: DataArrived
    // follows from the event loop for what waits. On by default.
    void SetReading(bool on);

    // At most this many received bytes wait in the socket while reading is
    // on (0: no limit); each DataArrived then brings that many at most.
    void SetReadLimit(qint64 bytes);

    // The socket's Boolean option: on, each Send leaves at once instead of
    // waiting for the peer to acknowledge what went before (TCP_NODELAY).
    // Takes effect on a connected socket only; what is sent does not change.
    void SetNoDelay(bool on);
    bool NoDelay() const;

    // 0 closed (or still connecting), 2 connected.
    int State() const;

    // The peer's dotted address; empty before a connection.
    QString RemoteHost() const;
    quint16 RemotePort() const;
    // This end's dotted address, the one the peer reached; empty before a connection.
    QString LocalHost() const;
    quint16 LocalPort() const;

signals:
    void StateChanged();
    void DataArrived();
    void SendDone();
    void Error(int number, const QString& description);

private:
    void Attach(std::unique_ptr<QTcpSocket> socket);
    void OnQtError();
    void OnBytesWritten();
    bool CanSend() const;
    // Bytes Qt's socket holds that the system has not taken yet.
    qint64 HeldByQt() const;
    // Confirms sends while the queue has room and hands the queue to the
    // system, in turns bounded so that other sockets are served too.
    void PumpSends();
    void SchedulePump();
    // Hands the queue to the system; what it does not take now goes to Qt's
    // socket, which writes it when it can.
    void WriteOut();
    // Ends the connection whose file ended before its queued ranges.
    void FailShortFile();
    // Reports the socket's last error, then its end, from the event loop.
    void ReportFailureLater();
    void ReportNotConnectedLater();
    void ReportClosed();
    void ApplyReadLimit();

    // Where to connect again, from any port, when a preferred local port fails.
    struct SFallback {
        QString host;
        quint16 port = 0;
    };

    std::unique_ptr<QTcpSocket> m_socket;
    std::optional<SFallback> m_fallback;
    int m_state = kStateClosed;
    bool m_ended = true;    // State 0 already reported (or nothing started)
    bool m_closing = false; // Close called: delivering what was queued
    bool m_reading = true;
    qint64 m_readLimit = 0;
    CSendQueue m_queue; // sent, not yet handed to Qt's socket
    std::function<void()> m_sendDoneHandler;
    bool m_pumping = false;
    bool m_pumpScheduled = false;
    QString m_remoteHost;
};
