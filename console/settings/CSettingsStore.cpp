#include "console/settings/CSettingsStore.h"

#include <QSettings>
#include <QStringList>

namespace {

const char* const kOrganisation = "Pelion";
const char* const kApplication = "Pelion";

QString KeyPath(const QString& section, const QString& key)
{
    return section + QLatin1Char('/') + key;
}

// QSettings reads an unquoted INI value with commas as a list; a value
// edited by hand ("Lab, rack 3") is still one string to the console.
QString AsText(const QVariant& value)
{
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(QLatin1String(", "));
    return value.toString();
}

std::unique_ptr<QSettings> OpenScope(QSettings::Scope scope)
{
    return std::make_unique<QSettings>(QSettings::IniFormat, scope, QLatin1String(kOrganisation),
                                       QLatin1String(kApplication));
}

} // namespace

CSettingsStore::CSettingsStore() : m_user(OpenScope(QSettings::UserScope))
{
    // Only this file: no fall-back to the system-wide defaults of the same name.
    m_user->setFallbacksEnabled(false);
}

CSettingsStore::~CSettingsStore() = default;

QString CSettingsStore::Read(const QString& section, const QString& key,
                             const QString& defaultValue) const
{
    const QVariant value = m_user->value(KeyPath(section, key));
    return value.isValid() ? AsText(value) : defaultValue;
}

bool CSettingsStore::Write(const QString& section, const QString& key, const QString& value)
{
    m_user->setValue(KeyPath(section, key), value);
    m_user->sync();
    return m_user->status() == QSettings::NoError;
}

bool CSettingsStore::Delete(const QString& section, const QString& key)
{
    m_user->remove(KeyPath(section, key));
    m_user->sync();
    return m_user->status() == QSettings::NoError;
}

QStringList CSettingsStore::Keys(const QString& section) const
{
    m_user->beginGroup(section);
    const QStringList keys = m_user->childKeys();
    m_user->endGroup();
    return keys;
}

QString CSettingsStore::ReadWwwRoot() const
{
    const std::unique_ptr<QSettings> system = OpenScope(QSettings::SystemScope);
    return AsText(
        system->value(KeyPath(QLatin1String(kSystemSection), QLatin1String(kKeyWwwRoot))));
}

bool CSettingsStore::WriteWwwRoot(const QString& folder)
{
    const std::unique_ptr<QSettings> system = OpenScope(QSettings::SystemScope);
    const QString key = KeyPath(QLatin1String(kSystemSection), QLatin1String(kKeyWwwRoot));
    // Writing the value it already holds would only try the system folder
    // for nothing.
    if (system->contains(key) && AsText(system->value(key)) == folder)
        return true;
    system->setValue(key, folder);
    system->sync();
    return system->status() == QSettings::NoError;
}

QString CSettingsStore::FileName() const
{
    return m_user->fileName();
}
