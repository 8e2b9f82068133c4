#pragma once

#include "console/settings/CSettingsStore.h"
#include "console/settings/MSettings.h"

#include <QMap>

// The address-book section of the test's settings store, read and written whole.
using StoreMap = QMap<QString, QString>;

inline void Fill(const StoreMap& keys)
{
    QList<SSettingsChange> changes;
    for (auto it = keys.cbegin(); it != keys.cend(); ++it)
        changes.append({QLatin1String(kSectionIpAddressBook), it.key(), it.value()});
    CSettingsStore().Apply(changes);
}

inline StoreMap Contents()
{
    CSettingsStore store;
    StoreMap map;
    for (const QString& key : store.Keys(QLatin1String(kSectionIpAddressBook)))
        map.insert(key, store.Read(QLatin1String(kSectionIpAddressBook), key));
    return map;
}
