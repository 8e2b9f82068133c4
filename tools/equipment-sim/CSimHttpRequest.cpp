#include "tools/equipment-sim/CSimHttpRequest.h"

#include <QList>
#include <QUrl>
#include <QUrlQuery>

CSimHttpRequest::EState CSimHttpRequest::Append(const QByteArray& bytes)
{
    if (m_state != EState::Incomplete)
        return m_state;
    m_bytes += bytes;
    m_state = Parse();
    return m_state;
}

CSimHttpRequest::EState CSimHttpRequest::Parse()
{
    const qsizetype headEnd = m_bytes.indexOf("\r\n\r\n");
    if (headEnd < 0)
        return m_bytes.size() > kMaxHeadBytes ? EState::Malformed : EState::Incomplete;
    const QList<QByteArray> lines = m_bytes.left(headEnd).split('\n');
    m_requestLine = lines.first().trimmed();
    const QList<QByteArray> fields = m_requestLine.split(' ');
    if (fields.size() != 3)
        return EState::Malformed;
    m_method = fields[0];
    m_target = fields[1];
    qsizetype length = 0;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const qsizetype colon = lines[i].indexOf(':');
        if (colon < 0)
            return EState::Malformed;
        if (lines[i].left(colon).trimmed().toLower() == "content-length") {
            bool ok = false;
            length = lines[i].mid(colon + 1).trimmed().toLongLong(&ok);
            if (!ok || length < 0 || length > kMaxBodyBytes)
                return EState::Malformed;
        }
    }
    const qsizetype bodyStart = headEnd + 4;
    if (m_bytes.size() - bodyStart < length)
        return EState::Incomplete;
    m_body = m_bytes.mid(bodyStart, length);
    return EState::Complete;
}

QString CSimHttpRequest::Path() const
{
    return QUrl(QString::fromLatin1(m_target)).path();
}

QString CSimHttpRequest::QueryValue(const QString& name) const
{
    const QUrlQuery query(QUrl(QString::fromLatin1(m_target)));
    return query.queryItemValue(name, QUrl::FullyDecoded);
}
