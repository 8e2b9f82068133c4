#include "console/equipment/CEquipmentRequest.h"

namespace {

constexpr char kCrLf[] = "\r\n";

// The header lines both requests share up to the content type. The blanks in
// "Keep -Alive" and "no -cache" are what the equipment has always been sent.
QByteArray Head(const QByteArray& host, const char* path)
{
    QByteArray head;
    head += "POST http://" + host + path + " HTTP/1.1" + kCrLf;
    head += QByteArrayLiteral("Accept: */*") + kCrLf;
    head += QByteArrayLiteral("x-requested-with: XMLHttpRequest") + kCrLf;
    head += QByteArrayLiteral("Content-Type: application/json") + kCrLf;
    return head;
}

QByteArray Tail(const QByteArray& host, const QByteArray& body)
{
    QByteArray tail;
    tail += "Host: " + host + kCrLf;
    tail += "Content-Length: " + QByteArray::number(body.size()) + kCrLf;
    tail += QByteArrayLiteral("Connection: Keep -Alive") + kCrLf;
    tail += QByteArrayLiteral("Pragma: no -cache") + kCrLf;
    tail += kCrLf;
    tail += body;
    return tail;
}

} // namespace

QByteArray CEquipmentRequest::Probe(const QString& host)
{
    const QByteArray h = host.toUtf8();
    const QByteArray body = QByteArrayLiteral("[\"") + kVersionOid + "\"]";
    return Head(h, "/Snmp.Get") + Tail(h, body);
}

QByteArray CEquipmentRequest::Login(const QString& host, const QString& user,
                                    const QString& password)
{
    const QByteArray h = host.toUtf8();
    // SECURITY: the typed texts are escaped, so a quote or backslash in them
    // cannot end the string early or change the request.
    const QByteArray body = "[\"" + JsonEscaped(user) + "\",\"" + JsonEscaped(password) + "\"]";
    return Head(h, "/Snmp.Login") + QByteArrayLiteral("Accept-Encoding: gzip, deflate") + kCrLf
           + Tail(h, body);
}

QByteArray CEquipmentRequest::JsonEscaped(const QString& text)
{
    QByteArray escaped;
    for (const char c : text.toUtf8()) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            escaped += '\\';
            escaped += c;
        } else if (byte < 0x20) {
            escaped += "\\u00" + QByteArray::number(byte, 16).rightJustified(2, '0');
        } else {
            escaped += c;
        }
    }
    return escaped;
}
