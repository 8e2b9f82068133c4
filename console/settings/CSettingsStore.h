#pragma once

#include <QList>
#include <QString>

#include <memory>
#include <optional>

class QSettings;

// The console's settings store. Per-user values are strings addressed by
// section and key, kept in an INI file of organisation and application
// "Pelion" in the user's XDG config folder (~/.config/Pelion/Pelion.ini).
// The one machine-wide value, the web root folder "wwwRoot", lives in the
// system-scope file of the same name (/etc/xdg/Pelion/Pelion.ini).
//
// Every write reaches the file before the call returns; a missing key reads
// as the default and is never an error. A write that fails leaves the store
// as the file still has it, and LastError tells the system's reason.
struct SSettingsChange {
    QString section;
    QString key;
    std::optional<QString> value; // empty: the key is removed
};

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

    // Makes all the changes with one write of the file. When it fails none
    // of them is kept and the call returns false.
    bool Apply(const QList<SSettingsChange>& changes);

    // Why the last failed write failed, in the system's words; empty after
    // a write that succeeded.
    QString LastError() const { return m_lastError; }

    // How many times this store has written its file.
    int Syncs() const { return m_syncs; }

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
    QString WriteFailureReason() const;

    std::unique_ptr<QSettings> m_user;
    QString m_lastError;
    bool m_failed = false;
    int m_syncs = 0;
};
