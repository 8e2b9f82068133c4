#pragma once

#include <QString>
#include <QStringList>

#include <memory>

class QLockFile;

// Tells whether another instance of a program runs for this user: a lock file
// held for as long as this object holds it. A lock left behind by an instance
// that died (crash, kill, power loss) does not block: the file names its
// process, and a lock whose process is gone is taken over.
class CInstanceLock final {
public:
    // Where the program's lock is kept, in order of preference. First the
    // user's own folder in the shared temporary folder,
    // "/tmp/<program>-<uid>/<program>.lock": every session of the user meets
    // there, whatever its $XDG_RUNTIME_DIR says. Then, for when another user
    // has taken that name, "<program>-<uid>.lock" in the runtime folder
    // ($XDG_RUNTIME_DIR, or the folder Qt makes in its place).
    static QStringList DefaultPaths(const QString& programName,
                                    const QString& sharedFolder = QStringLiteral("/tmp"));

    // Whether a lock may be kept at the path: its folder is a folder (not a
    // link) of this user that no one else may write to, and the file, when it
    // is there, is an ordinary file of this user. Anything else could be
    // another user's trap or a way to keep the program from starting.
    static bool IsSafePlace(const QString& lockFilePath);

    // The places to try, in order; see DefaultPaths.
    explicit CInstanceLock(QStringList lockFilePaths);
    ~CInstanceLock();
    CInstanceLock(const CInstanceLock&) = delete;
    CInstanceLock& operator=(const CInstanceLock&) = delete;

    // Takes the lock at the first safe place (its folder made, private, when
    // missing) unless a live process holds it there; true when this object
    // holds it afterwards. Never waits. An unsafe place is passed over.
    bool TryLock();

    bool IsLocked() const;
    // The place of the lock held, or of the holder that refused it; empty
    // before TryLock and when no place was safe.
    const QString& Path() const { return m_path; }

    // Gives the lock up; the file goes.
    void Unlock();

private:
    QStringList m_places;
    QString m_path;
    std::unique_ptr<QLockFile> m_lock;
};
