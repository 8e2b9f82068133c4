#pragma once

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QStringList>

#include <memory>

// The folder the file server serves, and the one place where a path a client
// sends becomes a local path.
//
// Client paths: "/" and "\" both separate names, a leading drive letter
// ("C:") is ignored, a leading separator starts from the served root, "."
// names the folder itself and ".." its parent. Virtual paths are what the
// client sees: "/" for the root, "/sub/file" below it. A name that is not
// valid UTF-8 arrives in the lossless text form of FileNameText (MRawFiles),
// and the files are opened by those very bytes.
class CServedFolder final {
public:
    // What a client path comes to.
    struct SResolved {
        QString virtualPath;           // "/..." inside the served folder
        QString localPath;             // absolute local path, empty when refused
        bool climbedAboveRoot = false; // ".." went above the root (and stopped there)
        bool inside = false;           // localPath lies in the served folder
    };

    // root is made absolute; a root that does not exist serves nothing.
    // Inline: hosts of the shared library build it into their options.
    explicit CServedFolder(const QString& root)
    {
        const QFileInfo info(root);
        const QString canonical = info.canonicalFilePath();
        m_root = canonical.isEmpty() ? QDir::cleanPath(info.absoluteFilePath()) : canonical;
    }

    // The served folder as an absolute, canonical path.
    const QString& Root() const { return m_root; }

    // The names of a client path, without drive letter, "." or empty names.
    static QStringList SplitClientPath(const QString& clientPath);

    // The virtual path a client path names when taken from the virtual folder
    // current. ".." never climbs above "/"; climbedAboveRoot tells when it tried.
    static QString Normalize(const QString& clientPath,
                             const QString& current = QStringLiteral("/"),
                             bool* climbedAboveRoot = nullptr);

    // Whether a client path holds a control character (NUL, CR, LF, DEL, ...).
    static bool HasControlCharacter(const QString& clientPath);

    // SECURITY: whether a file name (the last name of a path) is hidden, as
    // dot-files are; hidden files are neither listed nor served.
    static bool IsHiddenName(const QString& fileName);

    // SECURITY: the local path of a virtual path, refused (inside false) when
    // it holds a control character or a symbolic link on the way leads out
    // of the served folder.
    SResolved Locate(const QString& virtualPath) const;

    // Normalize, then Locate; a client path with a control character is
    // refused before anything touches the file system.
    SResolved Resolve(const QString& clientPath,
                      const QString& current = QStringLiteral("/")) const;

    // SECURITY: opens the ordinary file a resolved path names for reading.
    // The file is judged once open, by where the system says it lies: one
    // outside the served folder is closed again. nullptr when refused.
    std::unique_ptr<QFile> OpenForRead(const SResolved& target) const;

    // SECURITY: removes whatever the name is (a file, a hard link, a link),
    // then creates a new file there, never through a link; one that turns out
    // to lie outside the served folder is removed again. nullptr when refused.
    std::unique_ptr<QFile> CreateForWrite(const SResolved& target) const;

    // SECURITY: opens the ordinary file a resolved path names for writing
    // from offset on (a restarted store): what lies beyond offset goes, what
    // lies before it stays. Never through a link or a file with other hard
    // links, and judged once open as OpenForRead does. nullptr when refused
    // or when the file is shorter than offset.
    std::unique_ptr<QFile> OpenForRewrite(const SResolved& target, qint64 offset) const;

private:
    bool IsInside(const QString& canonicalPath) const;
    bool IsOpenedInside(const QFile& file) const;

    QString m_root;
};
