#pragma once

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

// Every settings store of the test process in a temporary folder: user/ and system/.
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
    QString UserFile() const { return Folder("user") + "/Pelion/Pelion.ini"; }
    void Clear() const
    {
        QFile::remove(UserFile());
        QFile::remove(Folder("system") + "/Pelion/Pelion.ini");
    }
    // Unwritable even for root: its folder would have to be made under a plain file.
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
