#pragma once

#include "platform/icmp/SIcmpEchoReply.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <memory>

class QSocketNotifier;

// The kind of socket an echo went out on.
enum class EIcmpSocketKind { None, Datagram, Raw };

// One ICMP echo request and its answer without blocking: the socket is
// watched from the event loop and a timer ends the wait. It uses an ICMP
// datagram socket where net.ipv4.ping_group_range lets this process have one,
// else a raw socket (root or cap_net_raw). OnFinished is raised exactly once,
// always from the event loop, never inside Start.
class CIcmpEcho final : public QObject {
    Q_OBJECT

public:
    explicit CIcmpEcho(QObject* parent = nullptr);
    ~CIcmpEcho() override;

    // Sends one echo carrying data to the address (first part in the lowest
    // byte, as MPing::DottedToAddress gives it) and waits timeoutMs for it.
    void Start(qint32 address, const QByteArray& data, qint32 timeoutMs);

    // The socket the echo went out on; None before Start or when none opened.
    EIcmpSocketKind SocketKind() const { return m_kind; }

signals:
    void OnFinished(const SIcmpEchoReply& reply);

private:
    // Opens a socket of either kind; returns 0 or the status to end with.
    quint32 OpenSocket();
    void OnReadable();
    // Reads the reports of ICMP errors queued on a datagram socket; true when
    // one of them answered this echo.
    bool ReadErrorQueue();
    bool ExamineDatagram(const QByteArray& icmp, quint32 from, quint8 ttl);
    bool ExamineRaw(const QByteArray& packet, quint32 from);
    void Finish(quint32 status, quint32 from = 0, const QByteArray& data = {}, quint8 ttl = 0);
    void FinishLater(quint32 status);
    void CloseSocket();

    int m_fd = -1;
    EIcmpSocketKind m_kind = EIcmpSocketKind::None;
    std::unique_ptr<QSocketNotifier> m_notifier;
    QTimer m_timeout;
    QElapsedTimer m_clock;
    quint32 m_target = 0; // first part in the lowest byte
    quint16 m_identifier = 0;
    quint16 m_sequence = 0;
    bool m_finished = false;
};
