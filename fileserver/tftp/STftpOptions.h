#pragma once

#include "fileserver/folder/CServedFolder.h"
#include "fileserver/tftp/MTftpDefaults.h"

#include <QDir>
#include <QHostAddress>
#include <QList>
#include <QtGlobal>

// What the creator of the TFTP listener decides; tests pass an ephemeral
// port, a short interval and a folder of their own.
struct STftpOptions {
    CServedFolder servedFolder{QDir::currentPath()};
    quint16 port = kTftpPort; // 0: the system chooses
    // The addresses listened on, each with the same port; empty: every
    // address of both families on one socket.
    QList<QHostAddress> listenAddresses = {};
    int retryIntervalMs = kTftpRetryIntervalMs;
    quint16 firstSessionPort = kTftpFirstSessionPort;
    quint16 lastSessionPort = kTftpLastSessionPort;
    int maxSessions = kTftpMaxSessions;
    int windowBufferBytes = kTftpWindowBufferBytes;
    quint16 rollover = kTftpRollover; // the block after 65535, 0 or 1, unless the client asks
};
