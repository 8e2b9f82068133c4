#pragma once

#include "fileserver/tftp/CTftpPacket.h"
#include "fileserver/tftp/MTftpDefaults.h"

#include <QtGlobal>

// What a request's options came to: the values one transfer runs with. The
// defaults are the plain exchange, one 512-byte block at a time.
struct STftpNegotiated {
    qsizetype blockSize = CTftpPacket::kBlockSize;
    int windowSize = 1; // blocks sent before an ACK is awaited
    int timeoutS = 0;   // the client's retry interval in seconds; 0: the server's own
    // What the OACK carries; empty: no OACK, the transfer starts as without options.
    CTftpPacket::COptions acknowledged;
    quint16 rollover = kTftpRollover; // the block number after 65535: 0 or 1
};
