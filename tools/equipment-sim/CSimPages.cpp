#include "tools/equipment-sim/CSimPages.h"

#include "tools/equipment-sim/CSimHttpRequest.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

QByteArray Reason(int code)
{
    switch (code) {
    case 200: return "OK";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 500: return "Internal Server Error";
    default: return "Status";
    }
}

} // namespace

QByteArray CSimPages::Reply(int code, const QByteArray& type, const QByteArray& body) const
{
    const bool http10 = m_options.framing == SSimOptions::EFraming::ToClose;
    QByteArray reply = (http10 ? "HTTP/1.0 " : "HTTP/1.1 ") + QByteArray::number(code) + ' '
                       + Reason(code) + "\r\n";
    reply += "Content-Type: " + type + "\r\n";
    if (m_options.framing == SSimOptions::EFraming::Chunked)
        reply += "Transfer-Encoding: chunked\r\n";
    else if (!http10)
        reply += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    reply += m_options.keepAlive && !http10 ? "Connection: keep-alive\r\n\r\n"
                                            : "Connection: close\r\n\r\n";
    return reply + (m_options.framing == SSimOptions::EFraming::Chunked ? Chunked(body) : body);
}

QByteArray CSimPages::Chunked(const QByteArray& body) const
{
    // Every size line carries an extension and a trailer follows the last
    // chunk, as some servers send them.
    QByteArray framed;
    for (qsizetype at = 0; at < body.size(); at += m_options.chunkBytes)
        framed += EndlessPiece(body.mid(at, m_options.chunkBytes));
    return framed + "0\r\nX-Sim-Trailer: end\r\n\r\n";
}

QByteArray CSimPages::EndlessHead() const
{
    QByteArray head = "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\n";
    if (m_options.framing == SSimOptions::EFraming::Chunked)
        head += "Transfer-Encoding: chunked\r\n";
    return head + "\r\n{\"1.2.1.1.2.0\":\"";
}

QByteArray CSimPages::EndlessPiece(const QByteArray& bytes) const
{
    if (m_options.framing != SSimOptions::EFraming::Chunked)
        return bytes;
    return QByteArray::number(bytes.size(), 16) + ";sim=1\r\n" + bytes + "\r\n";
}

QByteArray CSimPages::NotFound() const
{
    return Reply(404, "text/plain", "Not Found");
}

CSimPages::CSimPages(SSimOptions options) : m_options(std::move(options)) {}

QByteArray CSimPages::BadRequest() const
{
    return Reply(400, "text/plain", "Bad Request");
}

SSimAnswer CSimPages::Answer(const CSimHttpRequest& request) const
{
    const QString path = request.Path();
    const QString address = m_options.address.toString();
    if (request.Method() == "POST" && path == QLatin1String("/Snmp.Get")) {
        if (m_options.older)
            return {NotFound(), {}};
        // The value is followed directly by the brace, as equipment sends it.
        QJsonObject answer;
        answer.insert(QStringLiteral("1.2.1.1.2.0"), m_options.version);
        return {
            Reply(200, "application/json", QJsonDocument(answer).toJson(QJsonDocument::Compact)),
            {}};
    }
    if (request.Method() == "POST" && path == QLatin1String("/Snmp.Login"))
        return m_options.older ? SSimAnswer{NotFound(), {}} : Login(request);
    if (request.Method() != "GET")
        return {NotFound(), {}};
    if (path == QLatin1String("/")) {
        // A browser on the older interface shows this title; the console
        // looks for it among the windows.
        const QString title = m_options.older ? QStringLiteral("http://%1 - Link").arg(address)
                                              : QStringLiteral("Equipment %1").arg(address);
        return {Reply(200, "text/html; charset=utf-8",
                      Page(title, QStringLiteral("Software version %1").arg(m_options.version))),
                {}};
    }
    if (m_options.older)
        return {NotFound(), {}};
    if (path == QLatin1String("/home.html")) {
        return {Reply(200, "text/html; charset=utf-8",
                      Page(QStringLiteral("Equipment %1 - Home").arg(address),
                           QStringLiteral("Software version %1").arg(m_options.version))),
                {}};
    }
    if (path == QLatin1String("/orvaneBridge.asp")) {
        const QString user = request.QueryValue(QStringLiteral("user"));
        return {Reply(200, "text/html; charset=utf-8",
                      Page(QStringLiteral("Equipment %1 - Rescue").arg(address),
                           QStringLiteral("Rescue session of user %1").arg(user))),
                QStringLiteral("bridge page for user %1").arg(user)};
    }
    return {NotFound(), {}};
}

SSimAnswer CSimPages::Login(const CSimHttpRequest& request) const
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(request.Body(), &error);
    const QJsonArray credentials = document.array();
    if (error.error != QJsonParseError::NoError || !document.isArray() || credentials.size() != 2
        || !credentials[0].isString() || !credentials[1].isString())
        return {BadRequest(), QStringLiteral("login malformed")};
    const QString user = credentials[0].toString();
    int status = m_options.loginStatus;
    if (status == 0)
        status =
            user == m_options.user && credentials[1].toString() == m_options.password ? 200 : 401;
    if (status < 200 || status > 299)
        return {Reply(status, "application/json", "{\"result\":\"refused\"}"),
                QStringLiteral("login refused for user %1 (%2)").arg(user).arg(status)};
    return {Reply(status, "application/json", "{\"result\":\"ok\"}"),
            QStringLiteral("login accepted for user %1").arg(user)};
}

QByteArray CSimPages::Page(const QString& title, const QString& text) const
{
    return QStringLiteral("<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>%1</title>"
                          "</head><body><h1>%1</h1><p>%2</p></body></html>\n")
        .arg(title.toHtmlEscaped(), text.toHtmlEscaped())
        .toUtf8();
}
