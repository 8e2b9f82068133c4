#pragma once

#include <QString>
#include <QStringList>

// The folder the file server serves, and the one place where a path a client
// sends becomes a local path.
//
// Client paths: "/" and "\" both separate names, a leading drive letter
// ("C:") is ignored, a leading separator starts from the served root, "."
// names the folder itself and ".." its parent. Virtual paths are what the
// client sees: "/" for the root, "/sub/file" below it.
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
    explicit CServedFolder(const QString& root);

    // The served folder as an absolute, canonical path.
    const QString& Root() const { return m_root; }

    // The names of a client path, without drive letter, "." or empty names.
    static QStringList SplitClientPath(const QString& clientPath);

    // The virtual path a client path names when taken from the virtual folder
    // current. ".." never climbs above "/"; climbedAboveRoot tells when it tried.
    static QString Normalize(const QString& clientPath,
                             const QString& current = QStringLiteral("/"),
                             bool* climbedAboveRoot = nullptr);

    // SECURITY: the local path of a virtual path, refused (inside false) when
    // a symbolic link on the way leads out of the served folder.
    SResolved Locate(const QString& virtualPath) const;

    // Normalize, then Locate.
    SResolved Resolve(const QString& clientPath,
                      const QString& current = QStringLiteral("/")) const;

private:
    bool IsInside(const QString& canonicalPath) const;

    QString m_root;
};
