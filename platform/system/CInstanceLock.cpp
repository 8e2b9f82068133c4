#include "platform/system/CInstanceLock.h"

#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QStandardPaths>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Makes the lock's folder when missing: its parents as usual, the folder
// itself private.
void MakeFolder(const QString& folder)
{
    const QByteArray name = QFile::encodeName(folder);
    struct stat status {};
    if (::lstat(name.constData(), &status) == 0 || errno != ENOENT)
        return;
    QDir().mkpath(QFileInfo(folder).absolutePath());
    ::mkdir(name.constData(), S_IRWXU);
}

} // namespace

QStringList CInstanceLock::DefaultPaths(const QString& programName, const QString& sharedFolder)
{
    const QString user = QString::number(::getuid());
    const QString own = programName + QLatin1Char('-') + user;
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    return {QDir(QDir(sharedFolder).filePath(own)).filePath(programName + QStringLiteral(".lock")),
            QDir(runtime).filePath(own + QStringLiteral(".lock"))};
}

bool CInstanceLock::IsSafePlace(const QString& lockFilePath)
{
    const QFileInfo file(lockFilePath);
    struct stat status {};
    if (::lstat(QFile::encodeName(file.absolutePath()).constData(), &status) != 0
        || !S_ISDIR(status.st_mode) || status.st_uid != ::geteuid()
        || (status.st_mode & (S_IWGRP | S_IWOTH)) != 0)
        return false;
    if (::lstat(QFile::encodeName(file.absoluteFilePath()).constData(), &status) != 0)
        return errno == ENOENT;
    return S_ISREG(status.st_mode) && status.st_uid == ::geteuid();
}

CInstanceLock::CInstanceLock(QStringList lockFilePaths) : m_places(std::move(lockFilePaths)) {}

CInstanceLock::~CInstanceLock() = default;

bool CInstanceLock::TryLock()
{
    if (IsLocked())
        return true;
    for (const QString& place : std::as_const(m_places)) {
        MakeFolder(QFileInfo(place).absolutePath());
        if (!IsSafePlace(place))
            continue;
        m_path = place;
        m_lock = std::make_unique<QLockFile>(place);
        // An instance runs for hours: the lock never goes stale by age. A lock
        // is stale only when the process it names is no longer running, which
        // QLockFile checks by process identifier and name.
        m_lock->setStaleLockTime(0);
        return m_lock->tryLock(0);
    }
    m_path.clear();
    m_lock.reset();
    return false;
}

bool CInstanceLock::IsLocked() const
{
    return m_lock && m_lock->isLocked();
}

void CInstanceLock::Unlock()
{
    if (m_lock)
        m_lock->unlock();
}
