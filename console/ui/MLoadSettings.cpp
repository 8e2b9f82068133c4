#include "console/ui/MLoadSettings.h"

#include "console/settings/CIpAddressBook.h"
#include "console/settings/CSettingsStore.h"
#include "console/settings/MSettings.h"
#include "console/ui/FMain.h"

#include <QCoreApplication>

void LoadSettings(FMain& main)
{
    CSettingsStore store;
    LoadProgramSettings(store, QCoreApplication::applicationDirPath());
    CIpAddressBook book(store, gIpBookCount);
    const QList<SIpBookEntry> entries = book.Load();
    for (qsizetype index = 0; index < entries.size(); ++index)
        main.AddIpBookRow(static_cast<qint16>(index), entries[index]);
}
