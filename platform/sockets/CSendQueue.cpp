#include "platform/sockets/CSendQueue.h"

#include <algorithm>
#include <cstring>

CSendQueue::CSendQueue(Reader reader) : m_reader(std::move(reader)) {}

bool CSendQueue::AppendBytes(QByteArrayView bytes)
{
    if (bytes.isEmpty())
        return true;
    if (!ReadRange())
        return false;
    // A plain copy to the end: called for every few hundred bytes of a file.
    const qsizetype end = m_bytes.size();
    m_bytes.resize(end + bytes.size());
    std::memcpy(m_bytes.data() + end, bytes.data(), static_cast<size_t>(bytes.size()));
    m_confirmationOwed = true;
    return true;
}

bool CSendQueue::AppendRange(const std::shared_ptr<QFile>& file, qint64 offset, qint64 length)
{
    if (length <= 0)
        return true;
    if (m_rangeLength > 0 && m_rangeFile == file && m_rangeOffset + m_rangeLength == offset) {
        m_rangeLength += length;
    } else {
        if (!ReadRange())
            return false;
        m_rangeFile = file;
        m_rangeOffset = offset;
        m_rangeLength = length;
    }
    m_confirmationOwed = true;
    return true;
}

bool CSendQueue::ReadRange()
{
    if (m_rangeLength <= 0)
        return true;
    const int descriptor = m_rangeFile->handle();
    const qsizetype end = m_bytes.size();
    m_bytes.resize(end + m_rangeLength);
    qint64 got = 0;
    // Each pass adds bytes or stops, so the loop ends with the range.
    while (got < m_rangeLength) {
        const qint64 n = m_reader(descriptor, m_rangeOffset + got, m_bytes.data() + end + got,
                                  m_rangeLength - got);
        if (n <= 0)
            break;
        got += n;
    }
    const bool whole = got == m_rangeLength;
    m_bytes.resize(whole ? end + got : end);
    DropRange();
    return whole;
}

CSendQueue::SPiece CSendQueue::Next() const
{
    if (m_bytes.size() > m_taken)
        return SPiece{m_bytes.constData() + m_taken, -1, 0, m_bytes.size() - m_taken};
    if (m_rangeLength > 0)
        return SPiece{nullptr, m_rangeFile->handle(), m_rangeOffset, m_rangeLength};
    return SPiece{};
}

void CSendQueue::Accepted(qint64 count)
{
    if (count <= 0)
        return;
    if (m_bytes.size() > m_taken) {
        m_taken += std::min<qint64>(count, m_bytes.size() - m_taken);
        // The allocation stays for the next bytes.
        if (m_taken == m_bytes.size()) {
            m_bytes.resize(0);
            m_taken = 0;
        }
        return;
    }
    const qint64 taken = std::min(count, m_rangeLength);
    m_rangeOffset += taken;
    m_rangeLength -= taken;
    if (m_rangeLength == 0)
        DropRange();
}

qint64 CSendQueue::PendingBytes() const
{
    return m_bytes.size() - m_taken + m_rangeLength;
}

bool CSendQueue::ConfirmationDue(qint64 waitingElsewhere) const
{
    return m_confirmationOwed && PendingBytes() + waitingElsewhere < kHighWater;
}

bool CSendQueue::TakeConfirmation(qint64 waitingElsewhere)
{
    if (!ConfirmationDue(waitingElsewhere))
        return false;
    m_confirmationOwed = false;
    return true;
}

void CSendQueue::Clear()
{
    m_bytes = QByteArray();
    m_taken = 0;
    DropRange();
    m_confirmationOwed = false;
}

void CSendQueue::DropRange()
{
    m_rangeFile.reset();
    m_rangeOffset = 0;
    m_rangeLength = 0;
}
