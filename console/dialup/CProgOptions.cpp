#include "console/dialup/CProgOptions.h"

#include <QSettings>

CProgOptions::CProgOptions(QSettings& store, int& connType, QString& modemEntry)
    : m_store(store), m_connType(connType), m_modemEntry(modemEntry)
{
}

void CProgOptions::SetConnType(int type)
{
    Write(kConnectionType, QString::number(type));
    m_connType = type;
}

void CProgOptions::SetModemEntry(const QString& entry)
{
    Write(kModemEntry, entry);
    m_modemEntry = entry;
}

QString CProgOptions::MultiHomedIp() const
{
    m_store.beginGroup(QLatin1StringView(kSection));
    const QString value = m_store.value(QLatin1StringView(kMultiHomedIp), QString()).toString();
    m_store.endGroup();
    return value;
}

void CProgOptions::SetMultiHomedIp(const QString& address)
{
    Write(kMultiHomedIp, address);
}

void CProgOptions::Write(const char* key, const QString& value)
{
    m_store.beginGroup(QLatin1StringView(kSection));
    m_store.setValue(QLatin1StringView(key), value);
    m_store.endGroup();
    // Written at once, as the user confirms, not when the program ends.
    m_store.sync();
}
