#include "console/settings/MSettings.h"

int gConnType = kConnTypeDirectCable;
QString gModemEntry;
QString gWwwRoot;
qint16 gIpBookCount = 0;

void LoadProgramSettings(const CSettingsStore& store, const QString& executableFolder)
{
    gWwwRoot = store.ReadWwwRoot();
    if (gWwwRoot.isEmpty())
        gWwwRoot = executableFolder + QLatin1Char('/') + QLatin1String(kDefaultWwwRootName);

    // The console itself writes only "0" or "1"; anything that is not a
    // decimal number counts as the direct cable, the default.
    bool isNumber = false;
    const int connType = store
                             .Read(QLatin1String(kSectionProgOptions),
                                   QLatin1String(kKeyConnectionType), QStringLiteral("0"))
                             .trimmed()
                             .toInt(&isNumber);
    gConnType = isNumber ? connType : kConnTypeDirectCable;

    gModemEntry = store.Read(QLatin1String(kSectionProgOptions), QLatin1String(kKeyModemEntry));
}

bool ExtendedFtpChosen(const CSettingsStore& store)
{
    return store.Read(QLatin1String(kSectionProgOptions), QLatin1String(kKeyExtendedFtp))
           == QLatin1String("1");
}
