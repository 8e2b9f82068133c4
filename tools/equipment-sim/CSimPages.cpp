#include "tools/equipment-sim/CSimPages.h"

#include "tools/equipment-sim/CSimHttpRequest.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

QByteArray Reply(int code, const char* reason, const QByteArray& type, const QByteArray& body)
{
    QByteArray reply = "HTTP/1.1 " + QByteArray::number(code) + ' ' + reason + "\r\n";
    reply += "Content-Type: " + type + "\r\n";
    reply += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    reply += "Connection: close\r\n\r\n";
    return reply + body;
}

QByteArray NotFound()
{
    return Reply(404, "Not Found", "text/plain", "Not Found");
}

} // namespace

CSimPages::CSimPages(SSimOptions options) : m_options(std::move(options)) {}

QByteArray CSimPages::BadRequest()
{
    return Reply(400, "Bad Request", "text/plain", "Bad Request");
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
        return {Reply(200, "OK", "application/json",
                      QJsonDocument(answer).toJson(QJsonDocument::Compact)),
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
        return {Reply(200, "OK", "text/html; charset=utf-8",
                      Page(title, QStringLiteral("Software version %1").arg(m_options.version))),
                {}};
    }
    if (m_options.older)
        return {NotFound(), {}};
    if (path == QLatin1String("/home.html")) {
        return {Reply(200, "OK", "text/html; charset=utf-8",
                      Page(QStringLiteral("Equipment %1 - Home").arg(address),
                           QStringLiteral("Software version %1").arg(m_options.version))),
                {}};
    }
    if (path == QLatin1String("/orvaneBridge.asp")) {
        const QString user = request.QueryValue(QStringLiteral("user"));
        return {Reply(200, "OK", "text/html; charset=utf-8",
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
    if (user != m_options.user || credentials[1].toString() != m_options.password)
        return {Reply(401, "Unauthorized", "application/json", "{\"result\":\"refused\"}"),
                QStringLiteral("login refused for user %1").arg(user)};
    return {Reply(200, "OK", "application/json", "{\"result\":\"ok\"}"),
            QStringLiteral("login accepted for user %1").arg(user)};
}

QByteArray CSimPages::Page(const QString& title, const QString& text) const
{
    return QStringLiteral("<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>%1</title>"
                          "</head><body><h1>%1</h1><p>%2</p></body></html>\n")
        .arg(title.toHtmlEscaped(), text.toHtmlEscaped())
        .toUtf8();
}
