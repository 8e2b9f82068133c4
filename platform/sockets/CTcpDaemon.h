#pragma once

#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>

class QSocketNotifier;
class QTcpServer;

// A listening socket. Each accepted connection is announced by Accept; the
// handler reads Handle at once and gives it to a CTcpSocket (SetHandle).
// A connection whose handle nobody read during Accept is closed.
//
// When the process runs out of descriptors, accepting pauses for
// kAcceptPauseMs and then tries again, so the event loop does not spin; a
// descriptor kept in reserve lets the connections waiting meanwhile be
// accepted and closed at once rather than hang.
class CTcpDaemon final : public QObject {
    Q_OBJECT

public:
    static constexpr int kAcceptPauseMs = 100;
    // Waiting connections closed at most per failed accept.
    static constexpr int kMaxShedPerPause = 64;
    // Connections accepted at most per wake of the event loop.
    static constexpr int kMaxAcceptsPerWake = 64;

    explicit CTcpDaemon(QObject* parent = nullptr);
    ~CTcpDaemon() override;

    // Starts listening on the port (0: the system chooses, see LocalPort) and
    // tells whether it listens now. A failure also arrives as Error from the
    // event loop. Listening again while listening changes nothing.
    bool Listen(quint16 port, const QHostAddress& address = QHostAddress::Any);

    // Stops listening; accepted connections live on in their sockets.
    void Close();

    bool IsListening() const;
    quint16 LocalPort() const;

    // The connection just accepted; reading it hands it over to the reader.
    qintptr Handle();
    // The dotted address of the peer of the connection just accepted.
    QString PeerHost() const;

signals:
    void Accept();
    void Error(int number, const QString& description);
    // An accept failed; accepting resumes after the pause. shed is the
    // number of waiting connections closed for want of descriptors.
    void AcceptPaused(int shed);

private:
    class CServer;
    void OnIncoming(qintptr handle);
    void AcceptWaiting();
    // Accepts and closes the waiting connections with the reserve descriptor.
    int ShedWaitingConnections();
    void TakeReserve();
    void ReleaseReserve();

    std::unique_ptr<CServer> m_server;
    qintptr m_handle = -1;
    bool m_handleTaken = false;
    int m_reserve = -1;                          // a descriptor held for the day the table is full
    std::unique_ptr<QSocketNotifier> m_notifier; // the listening socket's readiness
    QTimer m_resume;
};
