#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QFile>

#include <functional>
#include <memory>

// What a stream socket has been given to send and the system has not taken
// yet: bytes, then at most one range of an open file. A range that continues
// the queued one joins it, so a file sent block by block leaves in one call;
// bytes or another range after it first turn it into bytes, so the order
// holds and one turn needs one write of bytes and one of the range.
//
// It also keeps the confirmation owed to the sender: one answers every append
// made before it, and it is due while the queue is below kHighWater.
// No socket and no system call: the file is read through the given reader.
class CSendQueue final {
public:
    // Bytes waiting before a confirmation waits for the system to take some.
    static constexpr qint64 kHighWater = 256 * 1024;

    // Reads up to length bytes of the open file at offset into `into`;
    // returns how many (0 at its end, negative on a failure).
    using Reader = std::function<qint64(int descriptor, qint64 offset, char* into, qint64 length)>;

    // The next piece to hand to the system: bytes, or a range of a file.
    struct SPiece {
        const char* bytes = nullptr; // null for a range
        int descriptor = -1;         // -1 for bytes
        qint64 offset = 0;
        qint64 length = 0; // 0: nothing is queued
        bool IsRange() const { return descriptor >= 0; }
    };

    explicit CSendQueue(Reader reader);

    // Both appends return false when a queued range had to be read and the
    // file no longer holds it; the range is then dropped and nothing added.
    bool AppendBytes(QByteArrayView bytes);
    bool AppendRange(const std::shared_ptr<QFile>& file, qint64 offset, qint64 length);

    // Reads the queued range into the bytes now, so that what is sent no
    // longer depends on the file. False (and the range dropped) if the file
    // no longer holds it.
    bool ReadRange();

    // The queued bytes first, then the range.
    SPiece Next() const;
    // The system took count bytes of the piece Next handed out.
    void Accepted(qint64 count);

    qint64 PendingBytes() const;
    bool IsEmpty() const { return PendingBytes() == 0; }

    // True, once, when a confirmation is owed and the queue together with
    // waitingElsewhere (bytes sent on but not yet gone) is below kHighWater.
    bool TakeConfirmation(qint64 waitingElsewhere);
    bool ConfirmationDue(qint64 waitingElsewhere) const;

    // Drops everything queued; no confirmation is owed.
    void Clear();

private:
    void DropRange();

    Reader m_reader;
    QByteArray m_bytes;
    qsizetype m_taken = 0; // bytes at the front the system has already taken
    std::shared_ptr<QFile> m_rangeFile;
    qint64 m_rangeOffset = 0;
    qint64 m_rangeLength = 0;
    bool m_confirmationOwed = false;
};
