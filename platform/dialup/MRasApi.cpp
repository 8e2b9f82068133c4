#include "platform/dialup/MRasApi.h"

#include <QDir>

QString PhonebookPath()
{
    return QStringLiteral("/etc/ppp/peers");
}

QStringList EnumRasEntries(const QString& peersFolder)
{
    return QDir(peersFolder).entryList(QDir::Files | QDir::NoDotAndDotDot, QDir::Name);
}
