#pragma once

#include "fileserver/folder/CServedFolder.h"
#include "fileserver/ftp/MFtpDefaults.h"

#include <QDir>
#include <QString>

// What the creator of the FTP service chooses; every session gets a copy.
struct SFtpOptions {
    // The folder clients see as "/"; the working directory by default.
    CServedFolder servedFolder{QDir::currentPath()};
    // The second half of the greeting line.
    QString serverTitle;
    // Local port of data connections, where the process may bind it; 0 lets the system choose.
    quint16 localDataPort = kFtpDataPort;
    // How long a data connection may take to open.
    int dataConnectTimeoutMs = kFtpDataConnectTimeoutMs;
    // How long a client may stay without sending a command.
    int idleTimeoutMs = kFtpIdleTimeoutMs;
    // The control port the listener binds (read by its holder, not by the
    // sessions); 0 lets the system choose.
    quint16 port = kFtpPort;
};
