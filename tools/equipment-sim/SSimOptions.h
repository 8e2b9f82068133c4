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
        Close        // closes each connection at once
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
};
