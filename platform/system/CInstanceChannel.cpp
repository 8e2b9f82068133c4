#include "platform/system/CInstanceChannel.h"

#include <QLocalServer>
#include <QLocalSocket>

namespace {

// The one request, and its answer; a line each.
const QByteArray kShowRequest = QByteArrayLiteral("show\n");
const QByteArray kTaken = QByteArrayLiteral("ok\n");
// A peer that sends more than this without a request is not a second start.
constexpr qint64 kMaxRequestBytes = 64;

} // namespace

QString CInstanceChannel::PathBeside(const QString& lockFilePath)
{
    QString path = lockFilePath;
    if (path.endsWith(QLatin1String(".lock")))
        path.chop(5);
    return path + QStringLiteral(".socket");
}

bool CInstanceChannel::AskToShow(const QString& socketPath, int waitMs)
{
    QLocalSocket socket;
    socket.connectToServer(socketPath);
    if (!socket.waitForConnected(waitMs))
        return false;
    socket.write(kShowRequest);
    if (!socket.waitForBytesWritten(waitMs))
        return false;
    while (socket.bytesAvailable() < kTaken.size() && socket.waitForReadyRead(waitMs)) {
    }
    return socket.read(kTaken.size()) == kTaken;
}

CInstanceChannel::CInstanceChannel(QObject* parent)
    : QObject(parent), m_server(new QLocalServer(this))
{
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, &CInstanceChannel::server_NewConnection);
}

CInstanceChannel::~CInstanceChannel() = default;

bool CInstanceChannel::Listen(const QString& socketPath)
{
    m_server->close();
    QLocalServer::removeServer(socketPath);
    return m_server->listen(socketPath);
}

void CInstanceChannel::server_NewConnection()
{
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (socket->bytesAvailable() < kShowRequest.size())
                return;
            const bool asked = socket->read(kShowRequest.size()) == kShowRequest;
            if (asked)
                socket->write(kTaken);
            socket->disconnectFromServer();
            if (asked)
                emit ShowRequested();
        });
        // Never more than a request's bytes are read; a peer that sends less
        // and stays is cut off when the instance ends.
        socket->setReadBufferSize(kMaxRequestBytes);
    }
}
