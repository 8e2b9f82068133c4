#pragma once

#include <QHostAddress>
#include <QString>
#include <QtGlobal>

#include <array>
#include <cstddef>

// The address and port of a datagram's sender or receiver, kept in the
// system's own binary form: compared, hashed and sent to without any text.
// An IPv4 sender that reaches a dual-stack socket is kept in its plain IPv4
// form, so the same client compares equal whichever socket it reached.
class CUdpPeer final {
public:
    // No peer: IsValid is false.
    CUdpPeer() = default;
    CUdpPeer(const QHostAddress& address, quint16 port);

    bool IsValid() const { return m_length != 0; }
    bool IsIPv4() const;
    quint16 Port() const;
    QHostAddress Address() const;
    // The dotted address ("127.0.0.1"), for people and logs.
    QString Host() const;

    size_t Hash(size_t seed) const noexcept;
    friend bool operator==(const CUdpPeer& a, const CUdpPeer& b) noexcept;

private:
    friend class CUdpSocket;

    // room for a sockaddr_in6, the larger of the two forms
    static constexpr std::size_t kStorageSize = 28;

    alignas(8) std::array<unsigned char, kStorageSize> m_storage{};
    quint8 m_length = 0; // bytes of m_storage in use: sockaddr_in or sockaddr_in6
};

inline size_t qHash(const CUdpPeer& peer, size_t seed = 0) noexcept
{
    return peer.Hash(seed);
}
