#include "platform/dialup/MSerialDevices.h"

#include <QDir>

#include <algorithm>
#include <utility>

namespace {

// A device name as its family and unit number: "ttyS10" -> ("ttyS", 10).
std::pair<QString, qulonglong> FamilyAndUnit(const QString& name)
{
    qsizetype digits = name.size();
    while (digits > 0 && name.at(digits - 1).isDigit())
        --digits;
    return {name.left(digits), name.mid(digits).toULongLong()};
}

} // namespace

QStringList ListSerialDevices(const QString& deviceFolder)
{
    const QDir folder(deviceFolder);
    QStringList names = folder.entryList(
        {QStringLiteral("ttyS*"), QStringLiteral("ttyUSB*"), QStringLiteral("ttyACM*")},
        QDir::System | QDir::Files | QDir::NoDotAndDotDot);
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        return FamilyAndUnit(a) < FamilyAndUnit(b);
    });
    QStringList paths;
    for (const QString& name : names)
        paths << folder.filePath(name);
    return paths;
}
