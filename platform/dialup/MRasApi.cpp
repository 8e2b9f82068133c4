#include "platform/dialup/MRasApi.h"

#include <QDir>
#include <QFileInfo>

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
