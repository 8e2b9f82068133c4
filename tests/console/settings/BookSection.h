#pragma once

#include "console/settings/CSettingsStore.h"
#include "console/settings/MSettings.h"

#include <QMap>
#include <QString>

// The address-book section of the test's settings store, read and written
// whole, so that a test can compare it with the exact keys it expects.
using StoreMap = QMap<QString, QString>;

inline QString Section()
{
    return QLatin1String(kSectionIpAddressBook);
}

// Writes the book section exactly as given.
inline void Fill(const StoreMap& keys)
{
    CSettingsStore store;
    for (auto it = keys.cbegin(); it != keys.cend(); ++it)
        store.Write(Section(), it.key(), it.value());
}

// Everything the book section holds.
inline StoreMap Contents()
{
    CSettingsStore store;
    StoreMap map;
    for (const QString& key : store.Keys(Section()))
        map.insert(key, store.Read(Section(), key));
    return map;
}
