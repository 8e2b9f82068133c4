#pragma once

#include <QFile>
#include <QSettings>
#include <QString>
#include <QTemporaryDir>

// Points every settings store of the test process at a temporary folder, the
// per-user files under user/ and the system-scope files under system/, so no
// test reads or writes the real user's or machine's settings.
class CTestSettingsFolder final {
public:
    CTestSettingsFolder()
    {
        qputenv("XDG_CONFIG_HOME", Folder("user").toUtf8());
        qputenv("XDG_CONFIG_DIRS", Folder("system").toUtf8());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, Folder("user"));
        MakeSystemScopeWritable();
    }

    bool IsValid() const { return m_folder.isValid(); }
    QString UserFile() const { return Folder("user") + QStringLiteral("/Pelion/Pelion.ini"); }
    QString SystemFile() const { return Folder("system") + QStringLiteral("/Pelion/Pelion.ini"); }

    // Empties both scopes.
    void Clear() const
    {
        QFile::remove(UserFile());
        QFile::remove(SystemFile());
    }

    // Makes the system scope unwritable for anyone, root included: its
    // folder would have to be made under a plain file.
    void MakeSystemScopeUnwritable() const
    {
        QFile(Folder("blocker")).open(QIODevice::WriteOnly);
        QSettings::setPath(QSettings::IniFormat, QSettings::SystemScope, Folder("blocker/system"));
    }

    void MakeSystemScopeWritable() const
    {
        QSettings::setPath(QSettings::IniFormat, QSettings::SystemScope, Folder("system"));
    }

private:
    QString Folder(const char* name) const { return m_folder.filePath(QLatin1String(name)); }

    QTemporaryDir m_folder;
};
