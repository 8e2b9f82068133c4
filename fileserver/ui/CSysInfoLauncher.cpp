#include "fileserver/ui/CSysInfoLauncher.h"

#include <QProcess>
#include <QStandardPaths>

QStringList CSysInfoLauncher::DefaultPrograms()
{
    return {QStringLiteral("hardinfo2"),         QStringLiteral("hardinfo"),
            QStringLiteral("kinfocenter"),       QStringLiteral("gnome-system-monitor"),
            QStringLiteral("xfce4-taskmanager"), QStringLiteral("lxtask")};
}

CSysInfoLauncher::CSysInfoLauncher(QStringList programs, QStringList searchFolders)
    : m_programs(std::move(programs)), m_searchFolders(std::move(searchFolders))
{
}

QString CSysInfoLauncher::Find() const
{
    for (const QString& program : m_programs) {
        const QString path = QStandardPaths::findExecutable(program, m_searchFolders);
        if (!path.isEmpty())
            return path;
    }
    return {};
}

bool CSysInfoLauncher::Start() const
{
    const QString path = Find();
    return !path.isEmpty() && QProcess::startDetached(path, {});
}
