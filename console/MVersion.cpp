#include "console/MVersion.h"

QString VersionText(int major, int minor, int revision)
{
    return QStringLiteral("%1.%2.%3a").arg(major).arg(minor).arg(revision);
}

QString ProgramVersionText()
{
    return VersionText(PELION_VERSION_MAJOR, PELION_VERSION_MINOR, PELION_VERSION_PATCH);
}
