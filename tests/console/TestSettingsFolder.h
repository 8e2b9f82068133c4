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

    // What the user's store folder takes: everything, nothing (read-only), or no more bytes
    // (full). For root, whom permissions do not stop, it is bound read-only onto itself or
    // covered by a small file system of its own, in a mount namespace of the calling thread's
    // own; a full folder needs root. False when the state cannot be had.
    enum class EUserFolder { Writable, ReadOnly, Full };
    bool SetUserFolder(EUserFolder state) const
    {
        const QString folder = Folder("user") + "/Pelion";
        const QByteArray path = QFile::encodeName(folder);
        if (!QDir().mkpath(folder))
            return false;
        if (::geteuid() != 0) {
            const QFileDevice::Permissions access = QFileDevice::ReadOwner | QFileDevice::ExeOwner;
            return state != EUserFolder::Full
                   && QFile::setPermissions(folder, state == EUserFolder::ReadOnly
                                                        ? access
                                                        : access | QFileDevice::WriteOwner);
        }
        if (state == EUserFolder::Writable)
            return ::umount2(path.constData(), MNT_DETACH) == 0;
        static const bool ownNamespace =
            ::unshare(CLONE_NEWNS) == 0
            && ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
        if (!ownNamespace)
            return false;
        if (state == EUserFolder::ReadOnly)
            return ::mount(path.constData(), path.constData(), nullptr, MS_BIND, nullptr) == 0
                   && ::mount(nullptr, path.constData(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY,
                              nullptr)
                          == 0;
        // The store's file as it was, then a filler that takes every byte left.
        QFile stored(folder + "/Pelion.ini");
        const QByteArray content = stored.open(QIODevice::ReadOnly) ? stored.readAll() : "";
        stored.close();
        if (::mount("tmpfs", path.constData(), "tmpfs", 0, "size=256k") != 0)
            return false;
        if (!stored.open(QIODevice::WriteOnly) || stored.write(content) != content.size())
            return false;
        stored.close();
        QFile filler(folder + "/filler");
        if (!filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
            return false;
        const QByteArray block(4096, 'x');
        for (int i = 0; i < 1024 && filler.write(block) == block.size(); ++i) {
        }
        for (int i = 0; i < 4096 && filler.write(block.left(1)) == 1; ++i) {
        }
        return true;
    }

private:
    QString Folder(const char* name) const { return m_folder.filePath(QLatin1String(name)); }

    QTemporaryDir m_folder;
};
