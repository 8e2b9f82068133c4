#include "console/settings/CSettingsStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
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
    return Apply({{section, key, value}});
}

bool CSettingsStore::Delete(const QString& section, const QString& key)
{
    return Apply({{section, key, std::nullopt}});
}

bool CSettingsStore::Apply(const QList<SSettingsChange>& changes)
{
    // A QSettings keeps its error status for good: after a failure the next
    // write starts on a new one.
    if (m_failed) {
        m_user = OpenScope(QSettings::UserScope);
        m_user->setFallbacksEnabled(false);
    }
    // The values before, to take the changes back: QSettings keeps changes
    // it could not write and would write them with a later sync.
    QList<QVariant> before;
    before.reserve(changes.size());
    for (const SSettingsChange& change : changes) {
        const QString path = KeyPath(change.section, change.key);
        before.append(m_user->value(path));
        if (change.value)
            m_user->setValue(path, *change.value);
        else
            m_user->remove(path);
    }
    m_user->sync();
    ++m_syncs;
    m_failed = m_user->status() != QSettings::NoError;
    if (!m_failed) {
        m_lastError.clear();
        return true;
    }
    m_lastError = WriteFailureReason();
    for (qsizetype i = changes.size() - 1; i >= 0; --i) {
        const QString path = KeyPath(changes[i].section, changes[i].key);
        if (before[i].isValid())
            m_user->setValue(path, before[i]);
        else
            m_user->remove(path);
    }
    return false;
}

QString CSettingsStore::WriteFailureReason() const
{
    // QSettings says only that it failed: trial writes of the same kind,
    // never committed, bring out the system's reason.
    const QString file = m_user->fileName();
    const QString reason = [&file] {
        if (!QDir().mkpath(QFileInfo(file).absolutePath()))
            return QStringLiteral("its folder cannot be made");
        // Opened for writing without a byte written, the file stays as it is.
        QFile existing(file);
        if (existing.exists() && !existing.open(QIODevice::ReadWrite))
            return existing.errorString();
        QSaveFile trial(file);
        trial.setDirectWriteFallback(false);
        if (!trial.open(QIODevice::WriteOnly))
            return trial.errorString();
        const QByteArray block(4096, '\n');
        const bool written = trial.write(block) == block.size() && trial.flush();
        const QString error = trial.errorString();
        trial.cancelWriting();
        return written ? QStringLiteral("the file could not be written") : error;
    }();
    return reason.endsWith(QLatin1Char('.')) ? reason.chopped(1) : reason;
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
