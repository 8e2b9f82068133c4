#pragma once

#include <QDir>
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
        qputenv("XDG_CONFIG_HOME", UserFolder().toUtf8());
        qputenv("XDG_CONFIG_DIRS", SystemFolder().toUtf8());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, UserFolder());
        QSettings::setPath(QSettings::IniFormat, QSettings::SystemScope, SystemFolder());
    }

    bool IsValid() const { return m_folder.isValid(); }
    QString UserFolder() const { return m_folder.filePath(QStringLiteral("user")); }
    QString SystemFolder() const { return m_folder.filePath(QStringLiteral("system")); }
    QString UserFile() const { return UserFolder() + QStringLiteral("/Pelion/Pelion.ini"); }
    QString SystemFile() const { return SystemFolder() + QStringLiteral("/Pelion/Pelion.ini"); }

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
        QFile blocker(m_folder.filePath(QStringLiteral("blocker")));
        blocker.open(QIODevice::WriteOnly);
        QSettings::setPath(QSettings::IniFormat, QSettings::SystemScope,
                           blocker.fileName() + QStringLiteral("/system"));
    }

    void MakeSystemScopeWritable() const
    {
        QSettings::setPath(QSettings::IniFormat, QSettings::SystemScope, SystemFolder());
    }

private:
    QTemporaryDir m_folder;
};
