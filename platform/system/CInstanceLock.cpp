#include "platform/system/CInstanceLock.h"

#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QStandardPaths>

QString CInstanceLock::DefaultPath(const QString& programName)
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    return QDir(folder).filePath(programName + QStringLiteral(".lock"));
}

CInstanceLock::CInstanceLock(QString lockFilePath)
    : m_path(std::move(lockFilePath)), m_lock(std::make_unique<QLockFile>(m_path))
{
    // An instance runs for hours: the lock never goes stale by age. A lock is
    // stale only when the process it names is no longer running, which QLockFile
    // checks by process identifier and name.
    m_lock->setStaleLockTime(0);
}

CInstanceLock::~CInstanceLock() = default;

bool CInstanceLock::TryLock()
{
    if (m_lock->isLocked())
        return true;
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    return m_lock->tryLock(0);
}

bool CInstanceLock::IsLocked() const
{
    return m_lock->isLocked();
}

void CInstanceLock::Unlock()
{
    m_lock->unlock();
}
