#pragma once

#include <QDir>
#include <QString>

// What the creator of the FTP session collection chooses.
struct SFtpOptions {
    // RFC 959 section 3.2: active data connections leave from port 20.
    static constexpr quint16 kDefaultLocalDataPort = 20;

    // The folder clients see as "/"; the working directory at creation by default.
    QString servedFolder = QDir::currentPath();
    // The second half of the greeting line.
    QString serverTitle;
    // Local port of data connections; 0 lets the system choose.
    quint16 localDataPort = kDefaultLocalDataPort;
};
