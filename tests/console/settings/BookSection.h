#pragma once

#include "console/settings/CSettingsStore.h"
#include "console/settings/MSettings.h"

#include <QMap>

// The address-book section of the test's settings store, read and written whole.
using StoreMap = QMap<QString, QString>;

inline void Fill(const StoreMap& keys)
{
    CSettingsStore store;
    for (auto it = keys.cbegin(); it != keys.cend(); ++it)
        store.Write(QLatin1String(kSectionIpAddressBook), it.key(), it.value());
}

inline StoreMap Contents()
{
    CSettingsStore store;
    StoreMap map;
    for (const QString& key : store.Keys(QLatin1String(kSectionIpAddressBook)))
        map.insert(key, store.Read(QLatin1String(kSectionIpAddressBook), key));
    return map;
}
