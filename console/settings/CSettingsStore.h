#pragma once

#include <QString>

#include <memory>

class QSettings;

// The console's settings store. Per-user values are strings addressed by
// section and key, kept in an INI file of organisation and application
// "Pelion" in the user's XDG config folder (~/.config/Pelion/Pelion.ini).
// The one machine-wide value, the web root folder "wwwRoot", lives in the
// system-scope file of the same name (/etc/xdg/Pelion/Pelion.ini).
//
// Every write reaches the file before the call returns; a missing key reads
// as the default and is never an error.
class CSettingsStore final {
public:
    // Section and value name of the machine-wide web root.
    static constexpr char kSystemSection[] = "Settings";
    static constexpr char kKeyWwwRoot[] = "wwwRoot";

    CSettingsStore();
    ~CSettingsStore();
    CSettingsStore(const CSettingsStore&) = delete;
    CSettingsStore& operator=(const CSettingsStore&) = delete;

    // The stored string, or defaultValue when the key is absent.
    QString Read(const QString& section, const QString& key,
                 const QString& defaultValue = QString()) const;

    // Stores the value; false when the file could not be written.
    bool Write(const QString& section, const QString& key, const QString& value);

    // Removes one key; false when the file could not be written.
    bool Delete(const QString& section, const QString& key);

    // The keys of a section, in the store's order.
    QStringList Keys(const QString& section) const;

    // The machine-wide web root folder; empty when missing.
    QString ReadWwwRoot() const;

    // Stores the machine-wide web root. Most users may not write the system
    // scope: the write then fails quietly and returns false.
    bool WriteWwwRoot(const QString& folder);

    // The per-user file's path.
    QString FileName() const;

private:
    std::unique_ptr<QSettings> m_user;
};
