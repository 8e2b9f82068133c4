#include "platform/dialup/MRasApi.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>

#include <dirent.h>
#include <pwd.h>
#include <unistd.h>

namespace {

const char* const kPeersFolder = "/etc/ppp/peers";

// Files in the folder that are no peers: editor backups and the package
// manager's leftovers.
bool IsPeerName(const QString& name)
{
    return !name.endsWith(QLatin1Char('~')) && !name.contains(QLatin1String(".dpkg-"));
}

} // namespace

QString PhonebookPath()
{
    return QLatin1String(kPeersFolder);
}

QStringList EnumRasEntries(const QString& peersFolder)
{
    QStringList entries;
    if (peersFolder.isEmpty())
        return entries;
    // Links count when they lead to a file, as pppd follows them.
    const QFileInfoList files = QDir(peersFolder).entryInfoList(QDir::Files, QDir::Name);
    for (const QFileInfo& file : files) {
        if (IsPeerName(file.fileName()))
            entries.append(file.fileName());
    }
    return entries;
}

EEntryLookup LookUpRasEntry(const QString& entry, const QString& peersFolder)
{
    if (peersFolder.isEmpty())
        return EEntryLookup::Missing;
    // Qt's listing says nothing of why a folder gave no names: the system's does.
    DIR* folder = ::opendir(QFile::encodeName(peersFolder).constData());
    if (!folder)
        return errno == EACCES ? EEntryLookup::PhonebookUnreadable : EEntryLookup::Missing;
    ::closedir(folder);
    return EnumRasEntries(peersFolder).contains(entry) ? EEntryLookup::Found
                                                       : EEntryLookup::Missing;
}

QString DialUpUserName()
{
    const uid_t user = ::getuid();
    if (const passwd* account = ::getpwuid(user); account && account->pw_name)
        return QString::fromLocal8Bit(account->pw_name);
    return QString::number(user);
}

QString NotInDialUpGroupText(const QString& userName)
{
    return QStringLiteral("Dial-up needs membership of the group %1, and the user %2 is not a "
                          "member. An administrator adds the user with the command\n"
                          "sudo adduser %2 %1\n"
                          "then %2 logs out and in again.")
        .arg(QLatin1String(kDialUpGroup), userName);
}

QString PhonebookUnreadableText(const QString& entry)
{
    return QStringLiteral("The dial-up phonebook cannot be read, so the entry '%1' cannot be "
                          "looked for. ")
               .arg(entry)
           + NotInDialUpGroupText();
}
