#pragma once

#include "console/CMessageLog.h"
#include "tests/kit/TestFiles.h"

#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>

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
    QString LockPath() const { return Path("instance/pelion.lock"); }
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
        for (const QString name :
             {"DISPLAY", "QT_QPA_PLATFORM", "ASAN_OPTIONS", "LSAN_OPTIONS", "UBSAN_OPTIONS"}) {
            if (own.contains(name))
                environment.insert(name, own.value(name));
        }
        for (const QString pair :
             {"HOME=home", "XDG_CONFIG_HOME=config", "XDG_CONFIG_DIRS=system", "XDG_DATA_HOME=data",
              "XDG_DATA_DIRS=data", "XDG_CACHE_HOME=cache", "XDG_RUNTIME_DIR=runtime",
              "PELION_PEERS_FOLDER=peers", "PELION_INSTANCE_FOLDER=instance"})
            environment.insert(pair.section('=', 0, 0), Path(pair.section('=', 1)));
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
};

inline void StartPelion(QProcess& process, const QProcessEnvironment& environment)
{
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::ForwardedChannels);
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
