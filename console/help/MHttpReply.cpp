#include "console/help/MHttpReply.h"

namespace {

QByteArray Reason(int status)
{
    switch (status) {
    case 200: return "OK";
    case 400: return "Bad Request";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 413: return "Content Too Large";
    case 421: return "Misdirected Request";
    case 431: return "Request Header Fields Too Large";
    default: return "Error";
    }
}

} // namespace

SHttpReply HttpReply(int status, const HttpFields& fields, const QByteArray& body, bool withBody,
                     bool close)
{
    SHttpReply reply;
    reply.close = close;
    QByteArray& out = reply.bytes;
    out = "HTTP/1.1 " + QByteArray::number(status) + ' ' + Reason(status) + "\r\n";
    for (const auto& [name, value] : fields)
        out += name + ": " + value + "\r\n";
    out += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    if (close)
        out += "Connection: close\r\n";
    out += "\r\n";
    if (withBody)
        out += body;
    return reply;
}

SHttpReply HttpStatusReply(int status, bool withBody, bool close, const HttpFields& fields)
{
    HttpFields all{{"Content-Type", "text/plain; charset=utf-8"}};
    all += fields;
    return HttpReply(status, all, QByteArray::number(status) + ' ' + Reason(status) + '\n',
                     withBody, close);
}
