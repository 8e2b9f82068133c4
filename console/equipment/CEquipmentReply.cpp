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

SProbeVerdict VersionVerdict(const QString& version)
{
    const QString last = version.section(QLatin1Char('.'), -1);
    bool digitsOnly = !last.isEmpty();
    for (const QChar c : last)
        digitsOnly = digitsOnly && c >= QLatin1Char('0') && c <= QLatin1Char('9');
    bool ok = false;
    const qlonglong release = digitsOnly ? last.toLongLong(&ok) : 0;
    if (!ok)
        return {EProbeVerdict::BadVersion, version};
    return {release < CEquipmentReply::kFirstNewerRelease ? EProbeVerdict::OlderInterface
                                                          : EProbeVerdict::NewerInterface,
            version};
}

} // namespace

void CEquipmentReply::Append(const QByteArray& bytes)
{
    // SECURITY: what the peer sends is kept up to a limit, not without end.
    if (m_text.size() + bytes.size() > kMaxReplySize) {
        m_text += bytes.left(kMaxReplySize - m_text.size());
        m_overflowed = true;
        return;
    }
    m_text += bytes;
}

EStatusLine CEquipmentReply::StatusLine() const
{
    const qsizetype end = m_text.indexOf('\n');
    if (end < 0)
        return m_overflowed ? EStatusLine::TooLong : EStatusLine::Incomplete;
    // "HTTP/1.1 404 Not Found": the code is the second field.
    const QList<QByteArray> fields = m_text.left(end).simplified().split(' ');
    if (fields.size() >= 2 && fields[0].startsWith("HTTP/") && fields[1] == "404")
        return EStatusLine::NotFound;
    return EStatusLine::Answered;
}

SProbeVerdict CEquipmentReply::Examine() const
{
    switch (StatusLine()) {
    case EStatusLine::Incomplete: return {};
    case EStatusLine::NotFound: return {EProbeVerdict::NoService, {}};
    case EStatusLine::TooLong: return {EProbeVerdict::TooLong, {}};
    case EStatusLine::Answered: break;
    }
    const QByteArray key = QByteArray("\"") + CEquipmentRequest::kVersionOid + '"';
    for (qsizetype found = m_text.indexOf(key); found >= 0;
         found = m_text.indexOf(key, found + 1)) {
        qsizetype at = SkipBlanks(m_text, found + key.size());
        if (at >= m_text.size())
            break;
        // The identifier as a value (not a key) is not what is sought.
        if (m_text[at] != ':')
            continue;
        at = SkipBlanks(m_text, at + 1);
        if (at >= m_text.size())
            break;
        if (m_text[at] != '"') {
            // A value that is no string: up to where it ends, for the message.
            qsizetype end = at;
            while (end < m_text.size() && m_text[end] != ',' && m_text[end] != '}'
                   && !IsJsonBlank(m_text[end]))
                ++end;
            if (end >= m_text.size())
                break;
            return {EProbeVerdict::BadVersion, QString::fromUtf8(m_text.mid(at, end - at))};
        }
        const std::optional<QByteArray> value = StringAt(m_text, at);
        if (!value)
            break;
        return VersionVerdict(QString::fromUtf8(*value));
    }
    if (m_overflowed)
        return {EProbeVerdict::TooLong, {}};
    return {};
}
