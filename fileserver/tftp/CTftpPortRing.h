#pragma once

#include <QtGlobal>

#include <deque>
#include <optional>

// The session ports of the configured range that no session holds, in the
// order they are handed out: a shuffled ring, so that a client cannot guess
// the next port, and a port given back waits behind every other free one.
// Take and Give cost the same whatever the range and however many are held.
class CTftpPortRing final {
public:
    // Every port from first to last, in random order; none when first > last.
    CTftpPortRing(quint16 first, quint16 last);

    // The next free port, now held by the caller; nothing when all are held.
    std::optional<quint16> Take();

    // Puts a port from Take back at the end of the ring.
    void Give(quint16 port);

    qsizetype FreeCount() const { return static_cast<qsizetype>(m_free.size()); }

private:
    std::deque<quint16> m_free;
};
