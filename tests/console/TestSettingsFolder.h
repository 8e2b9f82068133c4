#pragma once

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

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

    // The user's store folder takes no writes, or takes them again. For root,
    // whom permissions do not stop, it is bound read-only onto itself in a
    // mount namespace of the calling thread's own, private to it.
    bool SetUserFolderReadOnly(bool readOnly) const
    {
        const QString folder = Folder("user") + "/Pelion";
        if (!QDir().mkpath(folder))
            return false;
        if (::geteuid() != 0) {
            const QFileDevice::Permissions access = QFileDevice::ReadOwner | QFileDevice::ExeOwner;
            return QFile::setPermissions(folder,
                                         readOnly ? access : access | QFileDevice::WriteOwner);
        }
        const QByteArray path = QFile::encodeName(folder);
        if (!readOnly)
            return ::umount2(path.constData(), MNT_DETACH) == 0;
        static const bool ownNamespace =
            ::unshare(CLONE_NEWNS) == 0
            && ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
        return ownNamespace
               && ::mount(path.constData(), path.constData(), nullptr, MS_BIND, nullptr) == 0
               && ::mount(nullptr, path.constData(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY,
                          nullptr)
                      == 0;
    }

private:
    QString Folder(const char* name) const { return m_folder.filePath(QLatin1String(name)); }

    QTemporaryDir m_folder;
};
