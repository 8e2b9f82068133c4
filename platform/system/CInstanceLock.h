#pragma once

#include <QString>

#include <memory>

class QLockFile;

// Tells whether another instance of a program runs for this user: a lock file
// in the user's runtime folder, held for as long as this object holds it.
// A lock left behind by an instance that died (crash, kill, power loss) does
// not block: the file names its process, and a lock whose process is gone is
// taken over.
class CInstanceLock final {
public:
    // The lock file of the named program in the user's runtime folder
    // ($XDG_RUNTIME_DIR, or the folder Qt makes in its place).
    static QString DefaultPath(const QString& programName);

    explicit CInstanceLock(QString lockFilePath);
    ~CInstanceLock();
    CInstanceLock(const CInstanceLock&) = delete;
    CInstanceLock& operator=(const CInstanceLock&) = delete;

    // Takes the lock unless a live process holds it; true when this object
    // holds it afterwards. Never waits.
    bool TryLock();

    bool IsLocked() const;
    const QString& Path() const { return m_path; }

    // Gives the lock up; the file goes.
    void Unlock();

private:
    QString m_path;
    std::unique_ptr<QLockFile> m_lock;
};
