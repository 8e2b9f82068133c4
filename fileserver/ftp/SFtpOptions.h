#pragma once

#include "fileserver/folder/CServedFolder.h"

#include <QDir>
#include <QString>

// RFC 959 section 3.2: the well-known ports of FTP.
inline constexpr quint16 kFtpPort = 21;     // control connections
inline constexpr quint16 kFtpDataPort = 20; // active data connections

// What the creator of the FTP session collection chooses; every session gets a copy.
struct SFtpOptions {
    // The folder clients see as "/"; the working directory by default.
    CServedFolder servedFolder{QDir::currentPath()};
    // The second half of the greeting line.
    QString serverTitle;
    // Local port of data connections, where the process may bind it; 0 lets the system choose.
    quint16 localDataPort = kFtpDataPort;
};
