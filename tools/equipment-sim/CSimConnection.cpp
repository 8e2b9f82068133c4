#include "tools/equipment-sim/CSimConnection.h"

#include <QTcpSocket>

namespace {

// The request line as it can be printed: no control characters.
QString Printable(const QByteArray& line)
{
    QString text = QString::fromLatin1(line.left(512));
    for (QChar& c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            c = QLatin1Char('?');
    }
    return text;
}

} // namespace

CSimConnection::CSimConnection(std::unique_ptr<QTcpSocket> socket, const CSimPages& pages,
                               const SSimOptions& options, Printer print, QObject* parent)
    : QObject(parent), m_socket(std::move(socket)), m_pages(pages), m_options(options),
      m_print(std::move(print))
{
    m_pause.setSingleShot(true);
    connect(&m_pause, &QTimer::timeout, this, &CSimConnection::SendNextPiece);
    connect(m_socket.get(), &QTcpSocket::disconnected, this, &CSimConnection::OnEnded);
    if (m_options.fault == SSimOptions::EFault::Close) {
        m_print(QStringLiteral("connection closed at once"));
        m_socket->disconnectFromHost();
        if (m_socket->state() == QAbstractSocket::UnconnectedState)
            QMetaObject::invokeMethod(this, &CSimConnection::OnEnded, Qt::QueuedConnection);
        return;
    }
    // Each piece of a split answer goes out as its own segment.
    m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    connect(m_socket.get(), &QTcpSocket::readyRead, this, &CSimConnection::OnReadyRead);
    if (m_socket->bytesAvailable() > 0)
        QMetaObject::invokeMethod(this, &CSimConnection::OnReadyRead, Qt::QueuedConnection);
}

CSimConnection::~CSimConnection()
{
    m_socket->disconnect(this);
    m_socket->abort();
}

void CSimConnection::OnReadyRead()
{
    const QByteArray bytes = m_socket->readAll();
    if (m_answered)
        return;
    const CSimHttpRequest::EState state = m_request.Append(bytes);
    if (state == CSimHttpRequest::EState::Incomplete)
        return;
    m_answered = true;
    if (state == CSimHttpRequest::EState::Malformed) {
        m_print(QStringLiteral("malformed request"));
        Send(m_pages.BadRequest());
        return;
    }
    m_print(Printable(m_request.RequestLine()));
    if (m_options.fault == SSimOptions::EFault::Endless
        && m_request.Path() == QLatin1String("/Snmp.Get")) {
        m_endlessSent = 0;
        connect(m_socket.get(), &QTcpSocket::bytesWritten, this, &CSimConnection::SendEndless);
        connect(m_socket.get(), &QTcpSocket::disconnected, this, [this] {
            m_print(QStringLiteral("endless reply ended after %1 bytes").arg(m_endlessSent));
        });
        m_socket->write(m_pages.EndlessHead());
        return;
    }
    if (m_options.fault == SSimOptions::EFault::Silent
        || (m_options.fault == SSimOptions::EFault::SilentLogin
            && m_request.Path() == QLatin1String("/Snmp.Login")))
        return;
    const SSimAnswer answer = m_pages.Answer(m_request);
    if (!answer.note.isEmpty())
        m_print(answer.note);
    Send(answer.reply);
}

void CSimConnection::Send(const QByteArray& reply)
{
    if (m_options.fault != SSimOptions::EFault::Split) {
        m_socket->write(reply);
        Replied();
        return;
    }
    m_pending = reply;
    SendNextPiece();
}

void CSimConnection::SendNextPiece()
{
    if (m_socket->state() != QAbstractSocket::ConnectedState)
        return;
    m_socket->write(m_pending.left(m_options.splitPieceBytes));
    m_pending.remove(0, m_options.splitPieceBytes);
    m_socket->flush();
    if (m_pending.isEmpty()) {
        Replied();
        return;
    }
    m_pause.start(m_options.splitPauseMs);
}

void CSimConnection::Replied()
{
    if (!m_options.keepAlive || m_options.framing == SSimOptions::EFraming::ToClose) {
        m_socket->disconnectFromHost();
        return;
    }
    m_request = CSimHttpRequest();
    m_answered = false;
}

void CSimConnection::SendEndless()
{
    // Written as fast as the peer reads, up to a limit, so that a peer that
    // reads without end does not keep this going for ever.
    if (m_socket->bytesToWrite() > 0 || m_socket->state() != QAbstractSocket::ConnectedState)
        return;
    if (m_endlessSent >= m_options.endlessLimitBytes) {
        m_socket->disconnectFromHost();
        return;
    }
    const QByteArray piece(4096, '9');
    m_socket->write(m_pages.EndlessPiece(piece));
    m_endlessSent += piece.size();
}
