#pragma once

#include "console/help/MHttpReply.h"
#include "console/help/MHttpRequestHead.h"
#include "console/help/SWicklowOptions.h"

#include <QByteArray>
#include <QObject>
#include <QTimer>

#include <deque>
#include <functional>

class QTcpSocket;

// One connection to the help server: reads request heads, hands each to the
// responder and writes its reply, within the server's limits. Memory stays
// bounded whatever the client sends: at most kMaxHttpHeadBytes are read
// ahead, no request body is ever read (the responder closes on one), and
// while maxUnsentReplies wait for the system to take them (it stops taking
// when the client does not read) nothing more is read, so TCP holds the
// client back. A connection without progress for idleTimeoutMs is closed. A head over
// kMaxHttpHeadBytes gets 431, a malformed one 400, and the connection closes after either.
class CHttpConnection final : public QObject {
    Q_OBJECT

public:
    using Responder = std::function<SHttpReply(const SHttpRequestHead&)>;

    // Takes the connected socket as its child.
    CHttpConnection(QTcpSocket* socket, const SWicklowOptions& options, Responder responder,
                    QObject* parent = nullptr);
    ~CHttpConnection() override;

signals:
    // Raised once, when the socket has closed; the owner deletes the
    // connection later, not in the slot.
    void Closed();

private:
    void ReadRequests();
    void Send(const SHttpReply& reply);
    void socket_BytesWritten(qint64 bytes);
    void End();

    QTcpSocket* m_socket;
    const SWicklowOptions m_options;
    const Responder m_responder;
    QTimer m_idle;
    QByteArray m_received;       // read and not yet parsed, at most kMaxHttpHeadBytes
    std::deque<qint64> m_unsent; // bytes of each reply the system has not taken
    bool m_closing = false;      // the last reply is written; nothing more is read
    bool m_ended = false;
};
