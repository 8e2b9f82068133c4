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
    // Off: the equipment's own dialogue, byte for byte (active mode only,
    // every other command 502, an empty file 550). On: passive mode (PASV,
    // EPSV), EPRT, FEAT, SIZE, MDTM, REST, CDUP, NOOP, SYST, OPTS UTF8, and
    // empty files retrieved as empty, for the ordinary clients of a laptop.
    bool extended = false;
    // The ports passive data connections are offered on, both ends
    // included; 0 and 0: a port the system chooses.
    quint16 firstPassivePort = 0;
    quint16 lastPassivePort = 0;
    // The control port the listener binds (read by its holder, not by the
    // sessions); 0 lets the system choose.
    quint16 port = kFtpPort;
};
