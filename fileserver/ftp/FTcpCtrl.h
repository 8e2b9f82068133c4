#pragma once

#include "platform/sockets/CTcpSocket.h"

#include <QByteArray>
#include <QObject>
#include <QString>

// Holds the stream socket of one FTP control connection and turns its events
// into the session's.
class FTcpCtrl final : public QObject {
    Q_OBJECT

public:
    // Received bytes waiting in the socket at most.
    static constexpr qint64 kReadLimit = 16 * 1024;

    explicit FTcpCtrl(QObject* parent = nullptr);

    // Takes over a connection accepted by the listener.
    void Attach(qintptr handle);

    // Queues bytes for the client; a failure to send is not reported.
    void Send(const QByteArray& bytes);

    // Ends the connection once what was sent has been delivered.
    void Close();

    // Ends the connection at once, for a client that reads nothing.
    void Abort() { m_tcp.Abort(); }

    // Replies queued that the system has not taken yet.
    qint64 PendingBytes() const { return m_tcp.PendingBytes(); }

    // Off: nothing more is received, and the client's sending stalls.
    void SetReading(bool on) { m_tcp.SetReading(on); }

    // This end's dotted address, the one the client reached.
    QString LocalHost() const { return m_tcp.LocalHost(); }

    // Whether the connection has ended (OnClosed was emitted).
    bool HasEnded() const { return m_ended; }

signals:
    void OnConnected(const QString& remoteHost);
    // The bytes of one arrival, as received.
    void OnReceived(const QByteArray& bytes);
    // Every queued reply has been handed to the system.
    void OnDrained();
    // Emitted once when the connection has ended, after any OnFailed.
    void OnClosed();
    void OnFailed(int number, const QString& description);

private:
    void Tcp_StateChanged();

    CTcpSocket m_tcp;
    bool m_closing = false; // Close called: nothing more is sent
    bool m_ended = false;
};
