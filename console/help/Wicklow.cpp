#include "console/help/Wicklow.h"

#include "platform/sockets/MSocketError.h"

#include <QFile>
#include <QHttpServer>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QTcpServer>

namespace {

using StatusCode = QHttpServerResponder::StatusCode;

// Guide pages are small; anything bigger is not part of the guide.
constexpr qint64 kMaxFileBytes = 16 * 1024 * 1024;

void RespondStatus(QHttpServerResponder& responder, StatusCode status, const QByteArray& text,
                   bool withBody)
{
    const QByteArray body = QByteArray::number(int(status)) + ' ' + text + '\n';
    responder.writeStatusLine(status);
    responder.writeHeader("Content-Type", "text/plain; charset=utf-8");
    responder.writeHeader("Content-Length", QByteArray::number(body.size()));
    if (status == StatusCode::MethodNotAllowed)
        responder.writeHeader("Allow", "GET, HEAD");
    responder.writeBody(withBody ? body : QByteArray());
}

} // namespace

Wicklow::Wicklow(const QHostAddress& address, QObject* parent) : QObject(parent), m_address(address)
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
    m_server.reset();
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
    m_server = std::make_unique<QHttpServer>();
    // No routes: every request comes to the one handler, which serves files.
    m_server->setMissingHandler(
        [this](const QHttpServerRequest& request, QHttpServerResponder&& responder) {
            Respond(request, std::move(responder));
        });
    m_server->bind(listener.release()); // the server takes the listener as its child
    return kOk;
}

bool Wicklow::IsListening() const
{
    return m_server != nullptr;
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

void Wicklow::Respond(const QHttpServerRequest& request, QHttpServerResponder&& responder) const
{
    const QHttpServerRequest::Method method = request.method();
    const bool head = method == QHttpServerRequest::Method::Head;
    if (method != QHttpServerRequest::Method::Get && !head) {
        RespondStatus(responder, StatusCode::MethodNotAllowed, "Method Not Allowed", true);
        return;
    }

    const SWebResolution resolution =
        m_root.Resolve(request.url().path(QUrl::FullyEncoded).toUtf8());
    if (resolution.target == EWebTarget::Forbidden) {
        RespondStatus(responder, StatusCode::Forbidden, "Forbidden", !head);
        return;
    }
    QFile file(resolution.filePath);
    if (resolution.target != EWebTarget::File || !file.open(QIODevice::ReadOnly)) {
        RespondStatus(responder, StatusCode::NotFound, "Not Found", !head);
        return;
    }
    if (file.size() > kMaxFileBytes) {
        RespondStatus(responder, StatusCode::Forbidden, "Forbidden", !head);
        return;
    }
    const QByteArray body = file.readAll();
    responder.writeStatusLine(StatusCode::Ok);
    responder.writeHeader("Content-Type", CWebRoot::ContentType(resolution.filePath));
    responder.writeHeader("Content-Length", QByteArray::number(body.size()));
    responder.writeHeader("X-Content-Type-Options", "nosniff");
    responder.writeHeader("Cache-Control", "no-cache");
    responder.writeBody(head ? QByteArray() : body);
}
