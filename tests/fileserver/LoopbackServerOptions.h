#pragma once

#include "fileserver/cFtpServer.h"

// Server options for tests: the given folder, every port chosen by the system.
inline SFtpServerOptions LoopbackServerOptions(const QString& folder)
{
    SFtpServerOptions options;
    options.servedFolder = folder;
    options.ftpPort = 0;
    options.ftpDataPort = 0;
    options.tftpPort = 0;
    options.tftpFirstSessionPort = 0;
    options.tftpLastSessionPort = 0;
    return options;
}
