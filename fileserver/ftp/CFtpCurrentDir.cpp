#include "fileserver/ftp/CFtpCurrentDir.h"

#include <QFileInfo>

QString CFtpCurrentDir::Path() const
{
    return m_current == QLatin1String("/") ? m_current : m_current + QLatin1Char('/');
}

bool CFtpCurrentDir::Change(const QString& argument)
{
    if (argument.isEmpty())
        return true;
    // SECURITY: only a folder inside the served one may become current; a
    // malformed name (one the file system refuses) names nothing.
    const CServedFolder::SResolved target = m_folder.Resolve(argument, m_current);
    if (!target.inside || !QFileInfo(target.localPath).isDir())
        return false;
    m_current = target.virtualPath;
    return true;
}

CServedFolder::SResolved CFtpCurrentDir::File(const QString& argument) const
{
    return m_folder.Resolve(argument, m_current);
}

std::optional<QString> CFtpCurrentDir::ListTarget(const QString& argument) const
{
    if (argument.isEmpty() || argument.startsWith(QLatin1Char('-')))
        return m_current;
    const CServedFolder::SResolved target = m_folder.Resolve(argument, m_current);
    if (!target.inside || !QFileInfo::exists(target.localPath))
        return std::nullopt;
    return target.virtualPath;
}
