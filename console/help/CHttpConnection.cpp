#include "console/help/CHttpConnection.h"

#include <QTcpSocket>

#include <utility>

CHttpConnection::CHttpConnection(QTcpSocket* socket, const SWicklowOptions& options,
                                 Responder responder, QObject* parent)
    : QObject(parent), m_socket(socket), m_options(options), m_responder(std::move(responder))
{
    m_socket->setParent(this);
    // Qt reads no further ahead than this for us; the rest waits in the
    // system's buffers and then at the client.
    m_socket->setReadBufferSize(kMaxHttpHeadBytes);
    m_idle.setSingleShot(true);
    connect(&m_idle, &QTimer::timeout, this, [this] {
        m_socket->abort();
        End();
    });
    connect(m_socket, &QTcpSocket::readyRead, this, &CHttpConnection::ReadRequests);
    connect(m_socket, &QTcpSocket::bytesWritten, this, &CHttpConnection::socket_BytesWritten);
    connect(m_socket, &QTcpSocket::disconnected, this, &CHttpConnection::End);
    m_idle.start(m_options.idleTimeoutMs);
}

CHttpConnection::~CHttpConnection() = default;

void CHttpConnection::ReadRequests()
{
    // Each turn handles one request, or returns: the number of turns is
    // bounded by the bytes that kMaxHttpHeadBytes lets in.
    while (!m_closing && !m_ended && qsizetype(m_unsent.size()) < m_options.maxUnsentReplies) {
        if (const qint64 room = kMaxHttpHeadBytes - m_received.size(); room > 0)
            m_received += m_socket->read(room);
        const SHttpHeadParse parse = ParseHttpRequestHead(m_received);
        switch (parse.status) {
        case EHttpHeadStatus::Incomplete: return;
        case EHttpHeadStatus::Malformed: Send(HttpStatusReply(400, true, true)); return;
        case EHttpHeadStatus::TooLarge: Send(HttpStatusReply(431, true, true)); return;
        case EHttpHeadStatus::Complete: break;
        }
        m_received.remove(0, parse.length);
        m_idle.start(m_options.idleTimeoutMs);
        Send(m_responder(parse.head));
    }
}

void CHttpConnection::Send(const SHttpReply& reply)
{
    m_socket->write(reply.bytes);
    m_unsent.push_back(reply.bytes.size());
    if (reply.close) {
        // Qt closes once the reply has gone to the system; whatever the
        // client still sends (a body) is never read.
        m_closing = true;
        m_socket->disconnectFromHost();
    }
}

void CHttpConnection::socket_BytesWritten(qint64 bytes)
{
    m_idle.start(m_options.idleTimeoutMs);
    while (bytes > 0 && !m_unsent.empty()) {
        const qint64 taken = qMin(bytes, m_unsent.front());
        bytes -= taken;
        m_unsent.front() -= taken;
        if (m_unsent.front() == 0)
            m_unsent.pop_front();
    }
    ReadRequests();
}

void CHttpConnection::End()
{
    if (m_ended)
        return;
    m_ended = true;
    m_idle.stop();
    emit Closed();
}
