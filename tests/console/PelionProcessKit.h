#pragma once

#include "console/CMessageLog.h"
#include "tests/kit/TestFiles.h"

#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>

// A home of its own for the pelion processes a test starts: per-user and
// machine-wide settings, the runtime folder with the instance lock, a peers
// folder with the direct-cable entry, a browser program of the test's on the
// search path, and files that take each process's messages. Nothing of the
// real user's or the machine's is read or written.
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
        // The desktop's browser, as far as pelion is concerned.
        TestFiles::WriteScript(Path("bin/x-www-browser"), "#!/bin/sh\nexit 0\n");
    }

    QString Path(const char* name) const { return m_folder.filePath(QLatin1String(name)); }
    QString LockPath() const { return Path("runtime/pelion.lock"); }
    QList<SMessage> Messages(const QString& name) const
    {
        return CMessageLog::Read(m_folder.filePath(name + ".log"));
    }

    // Entries 0 to count-1 of the address book: 10.0.0.1 "Rack 0", ...
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

    // The environment of a pelion whose messages go to the log of the given
    // name: every port chosen by the system, the help server's too. The
    // display and the sanitizers' settings are the test's own.
    QProcessEnvironment Environment(const QString& messageLogName) const
    {
        const QProcessEnvironment own = QProcessEnvironment::systemEnvironment();
        QProcessEnvironment environment;
        for (const char* name :
             {"DISPLAY", "QT_QPA_PLATFORM", "ASAN_OPTIONS", "LSAN_OPTIONS", "UBSAN_OPTIONS"}) {
            if (own.contains(QLatin1String(name)))
                environment.insert(QLatin1String(name), own.value(QLatin1String(name)));
        }
        const std::pair<const char*, QString> values[] = {
            {"HOME", Path("home")},
            {"XDG_CONFIG_HOME", Path("config")},
            {"XDG_CONFIG_DIRS", Path("system")},
            {"XDG_DATA_HOME", Path("data")},
            {"XDG_DATA_DIRS", Path("data")},
            {"XDG_CACHE_HOME", Path("cache")},
            {"XDG_RUNTIME_DIR", Path("runtime")},
            {"PATH", Path("bin") + ":/usr/bin:/bin"},
            {"PELION_PEERS_FOLDER", Path("peers")},
            {"PELION_FTP_PORT", "0"},
            {"PELION_FTP_DATA_PORT", "0"},
            {"PELION_TFTP_PORT", "0"},
            {"PELION_HELP_PORT", "0"},
            {"PELION_MESSAGE_LOG", m_folder.filePath(messageLogName + ".log")}};
        for (const auto& [name, value] : values)
            environment.insert(QLatin1String(name), value);
        return environment;
    }

    // The process number the instance lock names; 0 when there is no lock.
    qint64 LockHolder() const { return TestFiles::Read(LockPath()).split('\n')[0].toLongLong(); }

private:
    QTemporaryDir m_folder;
};

// Starts the built pelion in the given environment; its output goes to the
// test's own.
inline void StartPelion(QProcess& process, const QProcessEnvironment& environment)
{
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.start(QStringLiteral(PELION_PROGRAM), {});
}

// Ends a process the test started, if it still runs: SIGTERM first, then
// SIGKILL. True when it ended on the SIGTERM.
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
