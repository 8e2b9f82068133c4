#pragma once

#include "fileserver/folder/CServedFolder.h"

#include <QDir>
#include <QtGlobal>

// The well-known TFTP port the listener binds (RFC 1350 section 4).
inline constexpr quint16 kTftpPort = 69;
// How long a transfer waits for its client before it sends again.
inline constexpr int kTftpRetryIntervalMs = 5000;
// The range a transfer draws its own port from.
inline constexpr quint16 kTftpFirstSessionPort = 1000;
inline constexpr quint16 kTftpLastSessionPort = 2000;

// What the creator of the TFTP listener decides; tests pass an ephemeral
// port, a short interval and a folder of their own.
struct STftpOptions {
    CServedFolder servedFolder{QDir::currentPath()};
    quint16 port = kTftpPort; // 0: the system chooses
    int retryIntervalMs = kTftpRetryIntervalMs;
    quint16 firstSessionPort = kTftpFirstSessionPort;
    quint16 lastSessionPort = kTftpLastSessionPort;
};
