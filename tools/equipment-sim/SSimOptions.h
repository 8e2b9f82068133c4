#pragma once

#include <QHostAddress>
#include <QString>

// How the simulated equipment behaves, from its command line.
struct SSimOptions {
    // The fault to show instead of a normal answer.
    enum class EFault {
        None,
        Split,       // answers in small pieces with pauses
        Silent,      // accepts and reads, never answers
        SilentLogin, // answers everything but the rescue login
        Close,       // closes each connection at once
        Endless      // answers the probe with a body that never ends
    };
    // How a reply's body is framed.
    enum class EFraming {
        Length,  // Content-Length
        Chunked, // Transfer-Encoding: chunked, chunks of chunkBytes
        ToClose  // HTTP/1.0: no length, the close ends it
    };

    QHostAddress address;
    quint16 port = 0;
    QString version = QStringLiteral("20.1.19");
    bool older = false; // no /Snmp.Get: the older web interface
    QString user = QStringLiteral("SYSTEM");
    QString password = QStringLiteral("KORVELAN");
    EFault fault = EFault::None;
    int splitPieceBytes = 5;
    int splitPauseMs = 10;
    EFraming framing = EFraming::Length;
    int chunkBytes = 0;
    // The connection stays open after a reply, for the next request.
    bool keepAlive = false;
    // The rescue login's status whatever the credentials; 0: decided by them.
    int loginStatus = 0;
    // Where an endless reply gives up on a peer that keeps reading.
    qint64 endlessLimitBytes = 64 * 1024 * 1024;
};
