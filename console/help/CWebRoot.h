#pragma once

#include <QByteArray>
#include <QString>

// What a request path leads to inside the web root.
enum class EWebTarget {
    File,      // a readable file inside the root
    NotFound,  // nothing there
    Forbidden, // a path that climbs out of the root, or that a link leads out of
};

struct SWebResolution {
    EWebTarget target = EWebTarget::NotFound;
    QString filePath; // the file's canonical path when target is File
};

// The folder the help server serves, and the one place where a request path
// becomes a local file. Knows no sockets: tests feed it paths.
class CWebRoot final {
public:
    explicit CWebRoot(const QString& folder);

    // Whether the folder exists.
    bool Exists() const { return !m_canonicalRoot.isEmpty(); }

    QString Folder() const { return m_folder; }

    // The file a percent-encoded request path (as it came in the request
    // line, "/help/index.html") names. A folder stands for its index.html.
    SWebResolution Resolve(const QByteArray& encodedPath) const;

    // The Content-Type of a file, from its name's extension; bytes when unknown.
    static QByteArray ContentType(const QString& fileName);

private:
    QString m_folder;
    QString m_canonicalRoot; // empty when the folder does not exist
};
