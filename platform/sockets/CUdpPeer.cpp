#include "platform/sockets/CUdpPeer.h"

#include <QHashFunctions>

#include <cstddef>
#include <cstring>
#include <netinet/in.h>

static_assert(sizeof(sockaddr_in6) <= 28 && sizeof(sockaddr_in) <= 28);
static_assert(offsetof(sockaddr_in, sin_port) == offsetof(sockaddr_in6, sin6_port));

CUdpPeer::CUdpPeer(const QHostAddress& address, quint16 port)
{
    const QAbstractSocket::NetworkLayerProtocol protocol = address.protocol();
    Q_IPV6ADDR bytes{};
    if (protocol == QAbstractSocket::IPv6Protocol)
        bytes = address.toIPv6Address();
    // ::ffff:a.b.c.d, an IPv4 client seen through a dual-stack socket
    constexpr unsigned char kMappedPrefix[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
    const bool mapped = protocol == QAbstractSocket::IPv6Protocol
                        && std::memcmp(bytes.c, kMappedPrefix, sizeof kMappedPrefix) == 0;
    if (protocol == QAbstractSocket::IPv4Protocol || protocol == QAbstractSocket::AnyIPProtocol
        || mapped) {
        sockaddr_in in{};
        in.sin_family = AF_INET;
        in.sin_port = htons(port);
        if (mapped)
            std::memcpy(&in.sin_addr, bytes.c + sizeof kMappedPrefix, sizeof in.sin_addr);
        else
            in.sin_addr.s_addr = htonl(address.toIPv4Address());
        std::memcpy(m_storage.data(), &in, sizeof in);
        m_length = sizeof in;
    } else if (protocol == QAbstractSocket::IPv6Protocol) {
        sockaddr_in6 in6{};
        in6.sin6_family = AF_INET6;
        in6.sin6_port = htons(port);
        std::memcpy(&in6.sin6_addr, bytes.c, sizeof bytes.c);
        in6.sin6_scope_id = static_cast<uint32_t>(address.scopeId().toUInt());
        std::memcpy(m_storage.data(), &in6, sizeof in6);
        m_length = sizeof in6;
    }
}

bool CUdpPeer::IsIPv4() const
{
    return m_length == sizeof(sockaddr_in);
}

quint16 CUdpPeer::Port() const
{
    // The port sits at the same place in both forms.
    in_port_t port = 0;
    std::memcpy(&port, m_storage.data() + offsetof(sockaddr_in, sin_port), sizeof port);
    return ntohs(port);
}

QHostAddress CUdpPeer::Address() const
{
    if (!IsValid())
        return {};
    return QHostAddress(reinterpret_cast<const sockaddr*>(m_storage.data()));
}

QString CUdpPeer::Host() const
{
    return Address().toString();
}

bool operator==(const CUdpPeer& a, const CUdpPeer& b) noexcept
{
    return a.m_length == b.m_length
           && std::memcmp(a.m_storage.data(), b.m_storage.data(), a.m_length) == 0;
}

size_t CUdpPeer::Hash(size_t seed) const noexcept
{
    return qHashBits(m_storage.data(), m_length, seed);
}
