#pragma once

#include "fileserver/tftp/CTftpPacket.h"
#include "fileserver/tftp/STftpNegotiated.h"

#include <QByteArray>
#include <QList>
#include <QtGlobal>

#include <functional>
#include <optional>

class QIODevice;

// What one TFTP transfer (RFC 1350) does with each datagram and each retry
// tick, without a socket, a timer or a file of its own. The session that
// holds it feeds it what arrives and carries out the step it returns: sends
// the packets to its client, restarts its retry timer, or ends.
//
// A read sends the file in 512-byte blocks, one block in flight, numbered
// from 1 with 65535 followed by the negotiated rollover (1 unless told
// otherwise); each tick sends the block in flight again,
// 16 times at most, and the 17th tick without progress ends the transfer. A
// write stores each DATA block that follows the last one stored and
// acknowledges it; a repeat of the last one is acknowledged again and not
// stored; the 17th tick without a new block ends it. A block shorter than
// 512 bytes is the last. A datagram from anyone but the client gets
// "Unknown transfer ID", sent back to that stranger, and changes nothing.
//
// With negotiated options the transfer first sends the OACK, again at each
// tick, until the client answers it: ACK 0 for a read, DATA 1 for a write; an
// ERROR in its place ends the transfer without a word. Blocks then have the
// negotiated size. With a window of n blocks (RFC 7440) a read sends n blocks
// and each tick sends all n again; the ACK of any of them starts the next
// window behind it, so blocks the client missed go out again. A write
// acknowledges every n-th block and the last; the first block out of step
// after progress is answered with the ACK of the last one stored.
//
// Work that can wait for the packets to be on their way is left for
// AfterSend: a read reads the blocks of its next window while the client
// acknowledges the current one, and a write stores a block after it has
// acknowledged it. The last block of a write is stored and the file
// committed before its ACK, so the client learns of a failure at the end.
class CTftpTransfer final {
public:
    // A block is sent at most this many times again before the transfer gives up.
    static constexpr int kMaxResends = 16;

    // What the session does after one input, in this order.
    struct SStep {
        QList<QByteArray> packets; // to the client
        bool restartTimer = false; // it went forward and goes on: the retry wait starts over
        bool ended = false;        // the transfer is over; every later step says so again
        bool toSender = false;     // the packets answer a stranger and go to it, not to the client
    };

    // request is etoReadRequest (the file is sent) or etoWriteRequest (the
    // client's blocks are stored in it). file is open for that, is read or
    // written from where it stands, and outlives the transfer. lastBlock is
    // the block number the count starts after: 0 for a whole file, so that
    // block 1 is the first one sent or expected; a transfer that goes on
    // behind blocks already carried passes the last one's number.
    // commit, for a write, makes the file whole once its last block is in
    // (and is told false for "Disk full" when it cannot); none: nothing to do.
    explicit CTftpTransfer(CTftpPacket::ETftpOpcode request, QIODevice& file, quint16 lastBlock = 0,
                           const STftpNegotiated& negotiated = {},
                           std::function<bool()> commit = {});

    // The answer to the request: the OACK when options were accepted, else
    // the first DATA block of a read, the ACK of lastBlock (ACK 0) of a write.
    SStep Start();

    // One datagram that reached the session's port; fromClient tells that it
    // came from the client's own address and port.
    SStep Receive(const QByteArray& datagram, bool fromClient);

    // One retry interval has passed since the last step that restarted the timer.
    SStep Tick();

    // Called once the packets of a step have been sent: reads ahead the
    // blocks of a read's next window, stores the block a write has just
    // taken. A failed write ends the transfer with "Disk full"; a failed
    // read is told when its block is due.
    SStep AfterSend();

    bool IsEnded() const { return m_ended; }

private:
    // The next block of the file in a DATA packet whose header is not yet
    // written; nothing when the read failed.
    std::optional<QByteArray> ReadBlock();
    SStep SendWindow();
    // Writes the block taken last, if it waits; false when that failed.
    bool StorePending();
    SStep ReceiveData(const QByteArray& datagram);
    SStep ReceiveAck(const QByteArray& datagram);
    SStep AckStored(bool restartTimer);
    SStep EndWith(const QByteArray& packet);
    SStep End();

    const CTftpPacket::ETftpOpcode m_request;
    QIODevice& m_file;
    const STftpNegotiated m_negotiated;
    const std::function<bool()> m_commit;
    // Read: the DATA packets sent and not yet acknowledged, oldest first,
    // kept for resending; the first one's block number.
    QList<QByteArray> m_window;
    quint16 m_windowFirst = 0;
    bool m_lastBlockRead = false; // the short block is in the window or acknowledged
    // Read: blocks read ahead by AfterSend, headers not yet written, oldest first.
    QList<QByteArray> m_ahead;
    bool m_aheadHasLast = false; // the short block is among them
    bool m_aheadFailed = false;  // the read after them failed
    // Write: the block taken last, not yet stored.
    QByteArray m_pending;
    quint16 m_blockNumber = 0; // the last block sent (read) or taken (write)
    int m_storedSinceAck = 0;  // write: blocks taken since the last ACK
    bool m_outOfStepAnswered = false;
    bool m_awaitingOptionAnswer = false;
    int m_retries = 0; // ticks passed without progress
    bool m_ended = false;
};
