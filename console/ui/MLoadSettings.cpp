#include "console/ui/MLoadSettings.h"

#include "console/settings/CIpAddressBook.h"
#include "console/settings/CSettingsStore.h"
#include "console/settings/MSettings.h"
#include "console/ui/FMain.h"

#include <QCoreApplication>

namespace {

constexpr qsizetype kLoadSliceRows = 4096;

} // namespace

void LoadSettings(FMain& main)
{
    CSettingsStore store;
    LoadProgramSettings(store, QCoreApplication::applicationDirPath());
    CIpAddressBook book(store, gIpBookCount);
    const QList<SIpBookEntry> entries = book.Load();
    // In slices, with the events between them handled: a SIGTERM or the
    // tray's "Exit" during a large book's load is acted on at once.
    for (qsizetype first = 0; first < entries.size() && !main.IsUnloaded();
         first += kLoadSliceRows) {
        main.AddIpBookRows(static_cast<qint16>(first), entries.mid(first, kLoadSliceRows));
        QCoreApplication::processEvents();
    }
}
