#include "console/help/Wicklow.h"

#include "console/help/CHttpConnection.h"
#include "platform/sockets/MSocketError.h"

#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>

namespace {

// Guide pages are small; anything bigger is not part of the guide.
constexpr qint64 kMaxFileBytes = 16 * 1024 * 1024;

} // namespace

Wicklow::Wicklow(const QHostAddress& address, const SWicklowOptions& options, QObject* parent)
    : QObject(parent), m_address(address), m_options(options)
{
}

Wicklow::~Wicklow() = default;

long Wicklow::OpenRootFolder(const QString& folder)
{
    m_root = CWebRoot(folder);
    return m_root.Exists() ? kOk : kPathNotFound;
}

long Wicklow::StartListening(const QString& folder, quint16 port)
{
    m_listener.reset();
    qDeleteAll(m_connections);
    m_connections.clear();
    m_port = 0;
    const long opened = OpenRootFolder(folder);
    if (opened != kOk)
        return opened;

    auto listener = std::make_unique<QTcpServer>();
    if (!listener->listen(m_address, port)) {
        const long number = SocketErrorNumber(listener->serverError());
        if (listener->serverError() == QAbstractSocket::AddressInUseError)
            emit OnStatusChange(kStatusPortInUse);
        return number;
    }
    m_port = listener->serverPort();
    m_listener = std::move(listener);
    connect(m_listener.get(), &QTcpServer::newConnection, this, &Wicklow::listener_NewConnection);
    return kOk;
}

// QHttpServer (6.4) buffers a whole request body before its handler sees
// the request and bounds neither the head, nor the requests read ahead, nor
// idle or simultaneous connections; so the server reads requests itself.
void Wicklow::listener_NewConnection()
{
    while (QTcpSocket* socket = m_listener->nextPendingConnection()) {
        if (m_connections.size() >= m_options.maxConnections) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        auto* connection = new CHttpConnection(
            socket, m_options, [this](const SHttpRequestHead& head) { return Respond(head); },
            this);
        m_connections.insert(connection);
        connect(connection, &CHttpConnection::Closed, this, [this, connection] {
            m_connections.remove(connection);
            connection->deleteLater();
        });
    }
}

bool Wicklow::IsListening() const
{
    return m_listener != nullptr;
}

QUrl Wicklow::BaseUrl() const
{
    if (!IsListening())
        return {};
    QUrl url;
    url.setScheme(QStringLiteral("http"));
    url.setHost(m_address.toString());
    url.setPort(m_port);
    url.setPath(QStringLiteral("/"));
    return url;
}

SHttpReply Wicklow::Respond(const SHttpRequestHead& request) const
{
    const bool head = request.method == "HEAD";
    const bool keep = request.keepAlive;
    // SECURITY: a page of another name that resolves to this computer
    // (DNS rebinding) sends its own name; it reads nothing here.
    if (!IsLoopbackHost(request.host, m_port))
        return HttpStatusReply(421, !head, true);
    if (request.method != "GET" && !head)
        return HttpStatusReply(405, true, request.hasBody || !keep, {{"Allow", "GET, HEAD"}});
    // SECURITY: the body is never read; closing is the only way past it.
    if (request.hasBody)
        return HttpStatusReply(413, !head, true);

    const QByteArray path = request.target.first(
        request.target.indexOf('?') < 0 ? request.target.size() : request.target.indexOf('?'));
    const SWebResolution resolution = m_root.Resolve(path);
    if (resolution.target == EWebTarget::Forbidden)
        return HttpStatusReply(403, !head, !keep);
    QFile file(resolution.filePath);
    if (resolution.target != EWebTarget::File || !file.open(QIODevice::ReadOnly))
        return HttpStatusReply(404, !head, !keep);
    if (file.size() > kMaxFileBytes)
        return HttpStatusReply(403, !head, !keep);
    return HttpReply(200,
                     {{"Content-Type", CWebRoot::ContentType(resolution.filePath)},
                      {"X-Content-Type-Options", "nosniff"},
                      {"Cache-Control", "no-cache"}},
                     file.readAll(), !head, !keep);
}
