#pragma once

#include "fileserver/tftp/CTftpPacket.h"

#include <QByteArray>
#include <QList>
#include <QtGlobal>

#include <functional>

class QIODevice;

// What one TFTP transfer (RFC 1350) does with each datagram and each retry
// tick, without a socket, a timer or a file of its own. The session that
// holds it feeds it what arrives and carries out the step it returns: sends
// the packets to its client, restarts its retry timer, or ends.
//
// A read sends the file in 512-byte blocks, one block in flight, numbered
// from 1 with 65535 followed by 1; each tick sends the block in flight again,
// 16 times at most, and the 17th tick without progress ends the transfer. A
// write stores each DATA block that follows the last one stored and
// acknowledges it; a repeat of the last one is acknowledged again and not
// stored; the 17th tick without a new block ends it. A block shorter than
// 512 bytes is the last. A datagram from anyone but the client gets
// "Unknown transfer ID", sent back to that stranger, and changes nothing.
//
// Work that can wait for the packets to be on their way is left for
// AfterSend: a read reads the next block while the client acknowledges the
// one just sent, and a write stores a block after it has acknowledged it.
// The last block of a write is stored and the file committed before its
// ACK, so the client learns of a failure at the end.
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
                           std::function<bool()> commit = {});

    // The answer to the request: the first DATA block of a read, the ACK of
    // lastBlock (ACK 0) of a write.
    SStep Start();

    // One datagram that reached the session's port; fromClient tells that it
    // came from the client's own address and port.
    SStep Receive(const QByteArray& datagram, bool fromClient);

    // One retry interval has passed since the last step that restarted the timer.
    SStep Tick();

    // Called once the packets of a step have been sent: reads the next block
    // of a read, stores the block a write has just acknowledged. A failed
    // write ends the transfer with "Disk full"; a failed read is told when
    // its block is due.
    SStep AfterSend();

    bool IsEnded() const { return m_ended; }

    // The last block sent (read) or stored (write).
    quint16 BlockNumber() const { return m_blockNumber; }

private:
    SStep SendNextBlock();
    // Reads the block after the one in flight into m_next.
    void ReadAhead();
    // Writes the block acknowledged last, if it waits; false when that failed.
    bool StorePending();
    SStep ReceiveData(const QByteArray& datagram);
    SStep ReceiveAck(const QByteArray& datagram);
    SStep EndWith(const QByteArray& packet);
    SStep End();

    const CTftpPacket::ETftpOpcode m_request;
    QIODevice& m_file;
    const std::function<bool()> m_commit;
    QByteArray m_packet;         // the DATA packet in flight, kept for resending
    qsizetype m_payloadSize = 0; // its payload's size
    QByteArray m_readBuffer;     // reused for each block read
    QByteArray m_next;           // the DATA packet after it, read ahead
    qsizetype m_nextPayloadSize = 0;
    bool m_nextReady = false;  // m_next (or m_nextFailed) is there
    bool m_nextFailed = false; // the read ahead failed
    QByteArray m_pending;      // a write's acknowledged block, not yet stored
    quint16 m_blockNumber = 0;
    int m_retries = 0; // ticks passed without progress
    bool m_ended = false;
};
