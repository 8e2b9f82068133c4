#pragma once

#include "fileserver/cFtpServer.h"

inline SFtpServerOptions LoopbackServerOptions(const QString& folder)
{
    SFtpServerOptions options;
    options.servedFolder = folder;
    options.ftp.port = 0;
    options.ftp.localDataPort = 0;
    options.tftp.port = 0;
    options.tftp.firstSessionPort = 0;
    options.tftp.lastSessionPort = 0;
    return options;
}
