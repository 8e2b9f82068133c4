#include "console/help/CWebRoot.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

namespace {

const QLatin1String kIndexFile("index.html");

struct SExtensionType {
    const char* extension;
    const char* contentType;
};

// The types of a help guide's files, fixed here so that no desktop's MIME
// database decides them; anything else is plain bytes.
constexpr SExtensionType kContentTypes[] = {
    {"html", "text/html; charset=utf-8"},
    {"htm", "text/html; charset=utf-8"},
    {"css", "text/css; charset=utf-8"},
    {"js", "text/javascript; charset=utf-8"},
    {"txt", "text/plain; charset=utf-8"},
    {"json", "application/json"},
    {"png", "image/png"},
    {"jpg", "image/jpeg"},
    {"jpeg", "image/jpeg"},
    {"gif", "image/gif"},
    {"svg", "image/svg+xml"},
    {"ico", "image/vnd.microsoft.icon"},
    {"pdf", "application/pdf"},
};

} // namespace

CWebRoot::CWebRoot(const QString& folder) : m_folder(folder)
{
    const QFileInfo info(folder);
    if (!folder.isEmpty() && info.isDir())
        m_canonicalRoot = info.canonicalFilePath();
}

SWebResolution CWebRoot::Resolve(const QByteArray& encodedPath) const
{
    if (!Exists())
        return {};

    // SECURITY: the path is decoded once and then judged segment by segment,
    // so that neither "/../" nor its encoded forms ("%2e%2e", "..%2f") can
    // climb; backslashes and NUL characters are refused outright, and so are
    // hidden names.
    const QString path = QString::fromUtf8(QByteArray::fromPercentEncoding(encodedPath));
    if (!path.startsWith(QLatin1Char('/')) || path.contains(QLatin1Char('\\'))
        || path.contains(QChar(0)))
        return {EWebTarget::Forbidden, {}};
    QStringList segments;
    for (const QString& segment : path.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (segment == QLatin1String("."))
            continue;
        if (segment.startsWith(QLatin1Char('.')))
            return {EWebTarget::Forbidden, {}};
        segments.append(segment);
    }

    QString local = m_canonicalRoot;
    for (const QString& segment : segments)
        local += QLatin1Char('/') + segment;
    QFileInfo info(local);
    if (info.isDir())
        info.setFile(local + QLatin1Char('/') + kIndexFile);
    if (!info.exists() || !info.isFile())
        return {EWebTarget::NotFound, {}};

    // SECURITY: a link inside the root may lead anywhere; what counts is
    // where it really ends.
    const QString canonical = info.canonicalFilePath();
    if (!canonical.startsWith(m_canonicalRoot + QLatin1Char('/')))
        return {EWebTarget::Forbidden, {}};
    if (!QFileInfo(canonical).isReadable())
        return {EWebTarget::Forbidden, {}};
    return {EWebTarget::File, canonical};
}

QByteArray CWebRoot::ContentType(const QString& fileName)
{
    const QString extension = QFileInfo(fileName).suffix().toLower();
    for (const SExtensionType& type : kContentTypes) {
        if (extension == QLatin1String(type.extension))
            return type.contentType;
    }
    return "application/octet-stream";
}
