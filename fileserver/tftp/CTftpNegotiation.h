#pragma once

#include "fileserver/tftp/CTftpPacket.h"
#include "fileserver/tftp/MTftpDefaults.h"
#include "fileserver/tftp/STftpNegotiated.h"

#include <QtGlobal>

// Option negotiation (RFC 2347): which of a request's options the server
// accepts, and with which values. Accepted are blksize (RFC 2348), tsize and
// timeout (RFC 2349), windowsize (RFC 7440) and rollover, the block number
// after 65535, 0 or 1; unknown options, and values that are not decimal
// numbers or lie outside an option's range, are left out of the answer. A request none of whose
// options is accepted gets no OACK and runs exactly as one without options.
class CTftpNegotiation final {
public:
    static constexpr qsizetype kMinBlockSize = 8;
    static constexpr qsizetype kMaxBlockSize = 65464; // a larger wish gets this
    static constexpr int kMinTimeoutS = 1;
    static constexpr int kMaxTimeoutS = 255;
    static constexpr int kMaxWindowSize = 65535;

    struct SLimits {
        qint64 fileSize = 0; // a read's tsize answer
        // The bytes a window of DATA may take in a socket buffer; a larger
        // window is cut to fit, so that no block of it is dropped on arrival.
        qint64 windowBufferBytes = 0;
        quint16 rollover = kTftpRollover; // the server's own, for a client that does not ask
    };

    static STftpNegotiated Negotiate(CTftpPacket::ETftpOpcode request,
                                     const CTftpPacket::COptions& requested, const SLimits& limits);

    // The bytes one DATA datagram of blockSize takes in a socket buffer: the
    // system charges about twice the datagram, bookkeeping included.
    static qint64 DatagramCost(qsizetype blockSize);
};
