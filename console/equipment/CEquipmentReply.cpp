#include "console/equipment/CEquipmentReply.h"

#include "console/equipment/CEquipmentRequest.h"

#include <QList>

#include <optional>

namespace {

bool IsJsonBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

qsizetype SkipBlanks(const QByteArray& text, qsizetype at)
{
    while (at < text.size() && IsJsonBlank(text[at]))
        ++at;
    return at;
}

// The JSON string that starts with the quote at `at`; nothing while its
// closing quote has not arrived.
std::optional<QByteArray> StringAt(const QByteArray& text, qsizetype at)
{
    QByteArray value;
    for (qsizetype i = at + 1; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '"')
            return value;
        if (c == '\\') {
            if (++i >= text.size())
                return std::nullopt;
            value += text[i];
            continue;
        }
        value += c;
    }
    return std::nullopt;
}

// The last dotted part's leading digits decide: "19a" is 19.
SProbeVerdict VersionVerdict(const QString& version)
{
    const QString last = version.trimmed().section(QLatin1Char('.'), -1);
    qsizetype digits = 0;
    while (digits < last.size() && last[digits] >= QLatin1Char('0')
           && last[digits] <= QLatin1Char('9'))
        ++digits;
    bool ok = false;
    const qlonglong release = digits > 0 ? last.left(digits).toLongLong(&ok) : 0;
    if (!ok)
        return {EProbeVerdict::BadVersion, version};
    return {release < CEquipmentReply::kFirstNewerRelease ? EProbeVerdict::OlderInterface
                                                          : EProbeVerdict::NewerInterface,
            version};
}

// A hex digit's value, or -1.
int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

void CEquipmentReply::Append(const QByteArray& bytes)
{
    // Bytes after a complete reply (a connection kept open) are not ours.
    if (m_state != EReplyState::Incomplete || bytes.isEmpty())
        return;
    // SECURITY: what the peer sends is taken up to a limit, not without end.
    const qsizetype room = kMaxReplySize - m_taken;
    const bool overflowed = bytes.size() > room;
    m_pending += overflowed ? bytes.left(room) : bytes;
    m_taken += overflowed ? room : bytes.size();
    Parse();
    if (overflowed && m_state == EReplyState::Incomplete)
        Finish(EReplyState::TooLong);
}

void CEquipmentReply::EndOfStream()
{
    if (m_state != EReplyState::Incomplete)
        return;
    // Only a body without length or chunks ends with the connection; any
    // other reply cut short is no reply.
    Finish(m_part == EPart::ToClose ? EReplyState::Complete : EReplyState::Malformed);
}

void CEquipmentReply::Finish(EReplyState state)
{
    m_state = state;
    m_pending.clear();
}

bool CEquipmentReply::TakeLine(QByteArray& line)
{
    const qsizetype end = m_pending.indexOf('\n');
    if (end < 0)
        return false;
    line = m_pending.left(end);
    if (line.endsWith('\r'))
        line.chop(1);
    m_pending.remove(0, end + 1);
    return true;
}

void CEquipmentReply::TakeBody(qsizetype count)
{
    m_body += m_pending.left(count);
    m_pending.remove(0, count);
    m_remaining -= count;
}

void CEquipmentReply::Parse()
{
    QByteArray line;
    while (m_state == EReplyState::Incomplete) {
        bool ok = true;
        switch (m_part) {
        case EPart::StatusLine:
            if (!TakeLine(line))
                return;
            ok = ReadStatusLine(line);
            break;
        case EPart::Headers:
            if (!TakeLine(line))
                return;
            ok = line.isEmpty() ? StartBody() : ReadHeader(line);
            break;
        case EPart::Body:
        case EPart::ChunkData: {
            if (m_pending.isEmpty())
                return;
            TakeBody(qMin<qint64>(m_remaining, m_pending.size()));
            if (m_remaining > 0)
                return;
            if (m_part == EPart::Body)
                Finish(EReplyState::Complete);
            else
                m_part = EPart::ChunkEnd;
            break;
        }
        case EPart::ChunkSize:
            if (!TakeLine(line))
                return;
            ok = ReadChunkSize(line);
            break;
        case EPart::ChunkEnd:
            if (!TakeLine(line))
                return;
            // A chunk longer than its size line said.
            ok = line.isEmpty();
            m_part = EPart::ChunkSize;
            break;
        case EPart::Trailers:
            if (!TakeLine(line))
                return;
            if (line.isEmpty())
                Finish(EReplyState::Complete);
            break;
        case EPart::ToClose:
            m_body += m_pending;
            m_pending.clear();
            return;
        }
        if (!ok)
            Finish(EReplyState::Malformed);
    }
}

bool CEquipmentReply::ReadStatusLine(const QByteArray& line)
{
    // "HTTP/1.1 200 OK"; the reason may be missing.
    if (!line.startsWith("HTTP/1.") || line.size() < 12 || line[8] != ' '
        || (line.size() > 12 && line[12] != ' '))
        return false;
    bool ok = false;
    const int code = line.mid(9, 3).toInt(&ok);
    if (!ok || code < 100)
        return false;
    m_statusCode = code;
    m_http10 = line[7] == '0';
    m_part = EPart::Headers;
    return true;
}

bool CEquipmentReply::ReadHeader(const QByteArray& line)
{
    // A folded continuation line carries nothing the console reads.
    if (line.startsWith(' ') || line.startsWith('\t'))
        return true;
    const qsizetype colon = line.indexOf(':');
    if (colon <= 0)
        return false;
    const QByteArray name = line.left(colon).trimmed().toLower();
    const QByteArray value = line.mid(colon + 1).trimmed().toLower();
    if (name == "transfer-encoding") {
        // Chunked framing counts when it is the last coding applied.
        m_chunked = value.split(',').last().trimmed() == "chunked";
        return true;
    }
    if (name == "content-length") {
        bool ok = !value.isEmpty() && value.size() <= 18;
        for (const char c : value)
            ok = ok && c >= '0' && c <= '9';
        const qint64 length = ok ? value.toLongLong() : -1;
        // Two lengths that differ leave the body's end unknown.
        if (!ok || (m_contentLength >= 0 && m_contentLength != length))
            return false;
        m_contentLength = length;
    }
    return true;
}

bool CEquipmentReply::StartBody()
{
    if (m_statusCode < 200) {
        // An interim reply ("100 Continue"): the real one follows.
        m_statusCode = 0;
        m_chunked = false;
        m_contentLength = -1;
        m_part = EPart::StatusLine;
        return true;
    }
    if (m_statusCode == 204 || m_statusCode == 304) {
        Finish(EReplyState::Complete);
        return true;
    }
    if (m_chunked && !m_http10) {
        m_part = EPart::ChunkSize;
    } else if (m_contentLength >= 0) {
        m_remaining = m_contentLength;
        m_part = EPart::Body;
        if (m_remaining == 0)
            Finish(EReplyState::Complete);
    } else {
        m_part = EPart::ToClose;
    }
    return true;
}

bool CEquipmentReply::ReadChunkSize(const QByteArray& line)
{
    // "1a;name=value": the size in hex, extensions after a semicolon.
    const qsizetype extensions = line.indexOf(';');
    const QByteArray size = (extensions < 0 ? line : line.left(extensions)).trimmed();
    if (size.isEmpty())
        return false;
    qint64 bytes = 0;
    for (const char c : size) {
        // A size beyond the cap could never be taken whole, however it goes on.
        if (HexValue(c) < 0 || bytes > kMaxReplySize)
            return false;
        bytes = bytes * 16 + HexValue(c);
    }
    if (bytes > kMaxReplySize)
        return false;
    m_remaining = bytes;
    m_part = bytes == 0 ? EPart::Trailers : EPart::ChunkData;
    return true;
}

SProbeVerdict CEquipmentReply::Examine() const
{
    if (m_statusCode == 404)
        return {EProbeVerdict::NoService, {}};
    switch (m_state) {
    case EReplyState::Incomplete: return {};
    case EReplyState::Malformed: return {EProbeVerdict::NoVersion, {}};
    case EReplyState::TooLong: return {EProbeVerdict::TooLong, {}};
    case EReplyState::Complete: break;
    }
    const QByteArray key = QByteArray("\"") + CEquipmentRequest::kVersionOid + '"';
    for (qsizetype found = m_body.indexOf(key); found >= 0;
         found = m_body.indexOf(key, found + 1)) {
        qsizetype at = SkipBlanks(m_body, found + key.size());
        if (at >= m_body.size())
            break;
        // The identifier as a value (not a key) is not what is sought.
        if (m_body[at] != ':')
            continue;
        at = SkipBlanks(m_body, at + 1);
        if (at >= m_body.size())
            break;
        if (m_body[at] != '"') {
            // A value that is no string: up to where it ends, for the message.
            qsizetype end = at;
            while (end < m_body.size() && m_body[end] != ',' && m_body[end] != '}'
                   && !IsJsonBlank(m_body[end]))
                ++end;
            return {EProbeVerdict::BadVersion, QString::fromUtf8(m_body.mid(at, end - at))};
        }
        const std::optional<QByteArray> value = StringAt(m_body, at);
        if (!value)
            break;
        return VersionVerdict(QString::fromUtf8(*value));
    }
    return {EProbeVerdict::NoVersion, {}};
}
