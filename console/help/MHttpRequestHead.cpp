#include "console/help/MHttpRequestHead.h"

#include <QList>

namespace {

bool IsTokenChar(char c)
{
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
        return true;
    return QByteArrayView("!#$%&'*+-.^_`|~").contains(c);
}

bool IsToken(QByteArrayView text)
{
    if (text.isEmpty())
        return false;
    for (const char c : text)
        if (!IsTokenChar(c))
            return false;
    return true;
}

bool IsVisible(QByteArrayView text)
{
    for (const char c : text)
        if (c <= ' ' || c == 0x7F)
            return false;
    return !text.isEmpty();
}

bool IsFieldValue(QByteArrayView text)
{
    for (const char c : text)
        if ((c < ' ' && c != '\t') || c == 0x7F)
            return false;
    return true;
}

QByteArrayView Trimmed(QByteArrayView text)
{
    while (!text.isEmpty() && (text.front() == ' ' || text.front() == '\t'))
        text = text.sliced(1);
    while (!text.isEmpty() && (text.back() == ' ' || text.back() == '\t'))
        text.chop(1);
    return text;
}

bool IsDigits(QByteArrayView text)
{
    if (text.isEmpty() || text.size() > 18)
        return false;
    for (const char c : text)
        if (c < '0' || c > '9')
            return false;
    return true;
}

bool ParseRequestLine(QByteArrayView line, SHttpRequestHead& head)
{
    const qsizetype first = line.indexOf(' ');
    const qsizetype last = line.lastIndexOf(' ');
    if (first <= 0 || last <= first)
        return false;
    const QByteArrayView method = line.first(first);
    const QByteArrayView target = line.sliced(first + 1, last - first - 1);
    const QByteArrayView version = line.sliced(last + 1);
    if (!IsToken(method) || !IsVisible(target))
        return false;
    if (version == "HTTP/1.0")
        head.http10 = true;
    else if (version != "HTTP/1.1")
        return false;
    head.method = method.toByteArray();
    head.target = target.toByteArray();
    head.keepAlive = !head.http10;
    return true;
}

// One field into the head; false when the field makes the head malformed.
bool ParseField(QByteArrayView line, SHttpRequestHead& head, bool& hostSeen,
                QByteArray& contentLength)
{
    const qsizetype colon = line.indexOf(':');
    if (colon <= 0 || !IsToken(line.first(colon)))
        return false;
    const QByteArray name = line.first(colon).toByteArray().toLower();
    const QByteArrayView value = Trimmed(line.sliced(colon + 1));
    if (!IsFieldValue(value))
        return false;
    if (name == "host") {
        if (hostSeen)
            return false;
        hostSeen = true;
        head.host = value.toByteArray();
    } else if (name == "content-length") {
        if (!IsDigits(value) || (!contentLength.isEmpty() && contentLength != value))
            return false;
        contentLength = value.toByteArray();
        head.hasBody = head.hasBody || value.toULongLong() != 0;
    } else if (name == "transfer-encoding") {
        head.hasBody = true;
    } else if (name == "connection") {
        for (const QByteArray& option : value.toByteArray().toLower().split(',')) {
            const QByteArray word = option.trimmed();
            if (word == "close")
                head.keepAlive = false;
            else if (word == "keep-alive" && head.http10)
                head.keepAlive = true;
        }
    }
    return true;
}

} // namespace

SHttpHeadParse ParseHttpRequestHead(QByteArrayView received)
{
    SHttpHeadParse parse;
    const QByteArrayView window = received.first(qMin(received.size(), kMaxHttpHeadBytes));
    qsizetype at = 0;
    bool requestLineSeen = false;
    bool hostSeen = false;
    QByteArray contentLength;
    for (;;) {
        const qsizetype end = window.indexOf('\n', at);
        if (end < 0) {
            SHttpHeadParse unfinished;
            unfinished.status = received.size() >= kMaxHttpHeadBytes ? EHttpHeadStatus::TooLarge
                                                                     : EHttpHeadStatus::Incomplete;
            return unfinished;
        }
        QByteArrayView line = window.sliced(at, end - at);
        if (line.endsWith('\r'))
            line.chop(1);
        at = end + 1;
        if (!requestLineSeen) {
            if (line.isEmpty())
                continue;
            if (!ParseRequestLine(line, parse.head))
                break;
            requestLineSeen = true;
            continue;
        }
        if (line.isEmpty()) {
            if (!parse.head.http10 && !hostSeen)
                break;
            parse.status = EHttpHeadStatus::Complete;
            parse.length = at;
            return parse;
        }
        if (line.front() == ' ' || line.front() == '\t'
            || !ParseField(line, parse.head, hostSeen, contentLength))
            break;
    }
    SHttpHeadParse malformed;
    malformed.status = EHttpHeadStatus::Malformed;
    return malformed;
}

bool IsLoopbackHost(QByteArrayView host, quint16 port)
{
    const qsizetype colon = host.lastIndexOf(':');
    if (colon < 0)
        return false;
    const QByteArray name = host.first(colon).toByteArray().toLower();
    // The port as a browser writes it: no leading zero, no sign.
    return (name == "127.0.0.1" || name == "localhost")
           && host.sliced(colon + 1) == QByteArray::number(port);
}
