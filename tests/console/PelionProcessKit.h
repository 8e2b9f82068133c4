#pragma once

#include "console/CMessageLog.h"
#include "tests/kit/TestFiles.h"

#include <QCoreApplication>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>

#include <unistd.h>

// An ordinary user of the test's own, made when the test runs as root and removed with this
// object (with the folder in /tmp its pelion kept); pelion processes start as it through setpriv.
// Without root there is none (IsValid false).
class CThrowawayUser final {
public:
    CThrowawayUser()
    {
        if (::geteuid() != 0)
            return;
        const QString name = QStringLiteral("pelion-t%1").arg(QCoreApplication::applicationPid());
        if (QProcess::execute("useradd", {"--system", "--no-create-home", "--user-group", "--shell",
                                          "/usr/sbin/nologin", name})
            != 0)
            return;
        m_name = name;
        QProcess id;
        id.start("id", {"-u", name});
        if (id.waitForFinished(10000))
            m_uid = id.readAllStandardOutput().trimmed().toUInt();
    }
    ~CThrowawayUser()
    {
        if (m_name.isEmpty())
            return;
        QProcess::execute("userdel", {m_name});
        if (m_uid != 0)
            QDir(QStringLiteral("/tmp/pelion-%1").arg(m_uid)).removeRecursively();
    }
    CThrowawayUser(const CThrowawayUser&) = delete;
    CThrowawayUser& operator=(const CThrowawayUser&) = delete;

    bool IsValid() const { return m_uid != 0; }
    uint Uid() const { return m_uid; }
    // The folder and all it holds become the user's.
    bool Own(const QString& folder) const
    {
        return QProcess::execute("chown", {"-R", m_name + ':' + m_name, folder}) == 0;
    }
    // setpriv's arguments that run the program as the user.
    QStringList AsUser(const QString& program) const
    {
        return {"--reuid=" + m_name, "--regid=" + m_name, "--clear-groups", "--", program};
    }

private:
    QString m_name;
    uint m_uid = 0;
};

// A home for the pelion processes a test starts: settings, the runtime folder,
// the instance folder (lock and socket), peers, a browser on the search path,
// message logs.
class CPelionHome final {
public:
    CPelionHome()
    {
        for (const char* folder : {"home", "config", "system", "data", "cache"})
            QDir().mkpath(Path(folder));
        QDir().mkdir(Path("runtime"));
        QFile::setPermissions(Path("runtime"), QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                                   | QFileDevice::ExeOwner);
        TestFiles::Write(Path("peers/TarnDirectPPP"), {});
        TestFiles::WriteScript(Path("bin/x-www-browser"), "#!/bin/sh\nexit 0\n");
    }
    QString Path(const QString& name) const { return m_folder.filePath(name); }
    QString LockPath() const { return m_lockPath; }
    // The home becomes the user's, and its pelion processes run as that user with the lock
    // where the product keeps it, in the user's own folder in /tmp.
    bool GiveTo(const CThrowawayUser& user)
    {
        m_user = &user;
        m_lockPath = QStringLiteral("/tmp/pelion-%1/pelion.lock").arg(user.Uid());
        return user.Own(m_folder.path());
    }
    const CThrowawayUser* User() const { return m_user; }
    QList<SMessage> Messages(const QString& name) const
    {
        return CMessageLog::Read(Path(name + ".log"));
    }
    // Entries 0 to count-1: 10.0.0.1 "Rack 0", ...
    void WriteBook(int count) const
    {
        QSettings store(Path("config/Pelion/Pelion.ini"), QSettings::IniFormat);
        for (int i = 0; i < count; ++i) {
            store.setValue(QStringLiteral("Ip Address Book/%1IpAddress").arg(i),
                           QStringLiteral("10.0.0.%1").arg(i + 1));
            store.setValue(QStringLiteral("Ip Address Book/%1Description").arg(i),
                           QStringLiteral("Rack %1").arg(i));
        }
    }
    // Messages to the named log, every port chosen by the system.
    QProcessEnvironment Environment(const QString& messageLogName) const
    {
        const QProcessEnvironment own = QProcessEnvironment::systemEnvironment();
        QProcessEnvironment environment;
        for (const QString name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "ASAN_OPTIONS",
                                   "LSAN_OPTIONS", "UBSAN_OPTIONS"}) {
            if (own.contains(name))
                environment.insert(name, own.value(name));
        }
        for (const QString pair :
             {"HOME=home", "XDG_CONFIG_HOME=config", "XDG_CONFIG_DIRS=system", "XDG_DATA_HOME=data",
              "XDG_DATA_DIRS=data", "XDG_CACHE_HOME=cache", "XDG_RUNTIME_DIR=runtime",
              "PELION_PEERS_FOLDER=peers", "PELION_INSTANCE_FOLDER=instance",
              "PELION_SYSTEM_SETTINGS=system"})
            environment.insert(pair.section('=', 0, 0), Path(pair.section('=', 1)));
        if (m_user)
            environment.remove("PELION_INSTANCE_FOLDER");
        for (const QString port :
             {"PELION_FTP_PORT", "PELION_FTP_DATA_PORT", "PELION_TFTP_PORT", "PELION_HELP_PORT"})
            environment.insert(port, "0");
        environment.insert("PATH", Path("bin") + ":/usr/bin:/bin");
        environment.insert("PELION_MESSAGE_LOG", Path(messageLogName + ".log"));
        return environment;
    }
    // 0 when there is no lock.
    qint64 LockHolder() const { return TestFiles::Read(LockPath()).split('\n')[0].toLongLong(); }

private:
    QTemporaryDir m_folder;
    QString m_lockPath = Path("instance/pelion.lock");
    const CThrowawayUser* m_user = nullptr;
};

// As the home's user when it was given to one.
inline void StartPelion(QProcess& process, const QProcessEnvironment& environment,
                        const CPelionHome* home = nullptr)
{
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    if (home && home->User())
        process.start(QStringLiteral("setpriv"),
                      home->User()->AsUser(QStringLiteral(PELION_PROGRAM)));
    else
        process.start(QStringLiteral(PELION_PROGRAM), {});
}

// SIGTERM, then SIGKILL; true when it ended on the SIGTERM.
inline bool EndProcess(QProcess& process, int waitMs = 30000)
{
    if (process.state() == QProcess::NotRunning)
        return true;
    process.terminate();
    if (process.waitForFinished(waitMs))
        return true;
    process.kill();
    process.waitForFinished(waitMs);
    return false;
}
