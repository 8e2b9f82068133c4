#include "platform/sockets/CUdpSocket.h"

#include "common/CRaisedError.h"
#include "common/MWindowsError.h"
#include "platform/sockets/MSocketError.h"

#include <QSocketNotifier>

#include <cerrno>
#include <cstring>
#include <memory>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Room for the largest datagram UDP carries.
constexpr qsizetype kReceiveBufferSize = 65536;

// The receive buffer of this thread's sockets: a datagram is handled before
// the next one is read, so one buffer serves them all.
char* ReceiveBuffer()
{
    thread_local const std::unique_ptr<char[]> buffer =
        std::make_unique<char[]>(kReceiveBufferSize);
    return buffer.get();
}

QAbstractSocket::SocketError ErrorOf(int number)
{
    switch (number) {
    case EADDRINUSE: return QAbstractSocket::AddressInUseError;
    case EACCES:
    case EPERM: return QAbstractSocket::SocketAccessError;
    case EADDRNOTAVAIL: return QAbstractSocket::SocketAddressNotAvailableError;
    case EAFNOSUPPORT:
    case EPROTONOSUPPORT: return QAbstractSocket::UnsupportedSocketOperationError;
    default: return QAbstractSocket::SocketResourceError;
    }
}

} // namespace

CUdpSocket::CUdpSocket(QObject* parent) : QObject(parent) {}

CUdpSocket::~CUdpSocket()
{
    Close();
}

void CUdpSocket::Open(quint16 localPort, const QHostAddress& address)
{
    const QAbstractSocket::SocketError error = TryOpen(localPort, address);
    if (error != QAbstractSocket::UnknownSocketError) {
        throw CRaisedError(static_cast<std::uint32_t>(SocketErrorNumber(error)),
                           ProgramName() + QStringLiteral(".Sockets"), m_lastErrorText);
    }
}

QAbstractSocket::SocketError CUdpSocket::TryOpen(quint16 localPort, const QHostAddress& address)
{
    Close();
    const bool dualStack = address == QHostAddress::Any;
    const QHostAddress first = dualStack ? QHostAddress(QHostAddress::AnyIPv6) : address;
    const CUdpPeer local(first, localPort);
    const int family = local.IsIPv4() ? AF_INET : AF_INET6;
    int descriptor = ::socket(family, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    int error = descriptor < 0 ? errno : 0;
    if (descriptor >= 0 && family == AF_INET6) {
        const int v6Only = dualStack ? 0 : 1;
        ::setsockopt(descriptor, IPPROTO_IPV6, IPV6_V6ONLY, &v6Only, sizeof v6Only);
    }
    if (descriptor >= 0
        && ::bind(descriptor, reinterpret_cast<const sockaddr*>(local.m_storage.data()),
                  local.m_length)
               != 0) {
        error = errno;
        ::close(descriptor);
        descriptor = -1;
    }
    if (descriptor < 0) {
        // A host without IPv6 cannot bind the dual-stack address; IPv4 alone serves.
        if (dualStack && error != EADDRINUSE && error != EACCES && error != EPERM)
            return TryOpen(localPort, QHostAddress::AnyIPv4);
        m_lastErrorText = qt_error_string(error);
        return ErrorOf(error);
    }

    sockaddr_storage bound{};
    socklen_t boundLength = sizeof bound;
    ::getsockname(descriptor, reinterpret_cast<sockaddr*>(&bound), &boundLength);
    // The port sits at the same place in both forms.
    m_localPort = ntohs(reinterpret_cast<const sockaddr_in*>(&bound)->sin_port);
    m_descriptor = descriptor;
    m_family = family;
    m_notifier = new QSocketNotifier(descriptor, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &CUdpSocket::DataArrived);
    return QAbstractSocket::UnknownSocketError;
}

bool CUdpSocket::Receive(QByteArrayView& data, CUdpPeer& sender)
{
    if (m_descriptor < 0)
        return false;
    char* const buffer = ReceiveBuffer();
    sockaddr_storage from{};
    socklen_t fromLength = sizeof from;
    ssize_t received = 0;
    do {
        received = ::recvfrom(m_descriptor, buffer, kReceiveBufferSize, 0,
                              reinterpret_cast<sockaddr*>(&from), &fromLength);
    } while (received < 0 && errno == EINTR);
    if (received < 0)
        return false;

    sender = CUdpPeer();
    if (from.ss_family == AF_INET) {
        sockaddr_in in{};
        std::memcpy(&in, &from, sizeof in);
        sockaddr_in clean{};
        clean.sin_family = AF_INET;
        clean.sin_port = in.sin_port;
        clean.sin_addr = in.sin_addr;
        std::memcpy(sender.m_storage.data(), &clean, sizeof clean);
        sender.m_length = sizeof clean;
    } else if (from.ss_family == AF_INET6) {
        sockaddr_in6 in6{};
        std::memcpy(&in6, &from, sizeof in6);
        if (IN6_IS_ADDR_V4MAPPED(&in6.sin6_addr)) {
            sockaddr_in clean{};
            clean.sin_family = AF_INET;
            clean.sin_port = in6.sin6_port;
            std::memcpy(&clean.sin_addr, in6.sin6_addr.s6_addr + 12, sizeof clean.sin_addr);
            std::memcpy(sender.m_storage.data(), &clean, sizeof clean);
            sender.m_length = sizeof clean;
        } else {
            // The flow label may change from one datagram to the next; the peer does not.
            sockaddr_in6 clean{};
            clean.sin6_family = AF_INET6;
            clean.sin6_port = in6.sin6_port;
            clean.sin6_addr = in6.sin6_addr;
            clean.sin6_scope_id = in6.sin6_scope_id;
            std::memcpy(sender.m_storage.data(), &clean, sizeof clean);
            sender.m_length = sizeof clean;
        }
    }
    data = QByteArrayView(buffer, received);
    return true;
}

bool CUdpSocket::Receive(QByteArray& data, QString& remoteHost, quint16& remotePort)
{
    QByteArrayView view;
    CUdpPeer sender;
    if (!Receive(view, sender))
        return false;
    data = view.toByteArray();
    remoteHost = sender.Host();
    remotePort = sender.Port();
    return true;
}

bool CUdpSocket::Send(QByteArrayView data, const CUdpPeer& receiver)
{
    if (m_descriptor < 0 || !receiver.IsValid())
        return false;
    const void* to = receiver.m_storage.data();
    socklen_t toLength = receiver.m_length;
    sockaddr_in6 mapped{};
    if (m_family == AF_INET6 && receiver.IsIPv4()) {
        // A dual-stack socket reaches an IPv4 peer at its mapped address.
        sockaddr_in in{};
        std::memcpy(&in, receiver.m_storage.data(), sizeof in);
        mapped.sin6_family = AF_INET6;
        mapped.sin6_port = in.sin_port;
        mapped.sin6_addr.s6_addr[10] = 0xFF;
        mapped.sin6_addr.s6_addr[11] = 0xFF;
        std::memcpy(mapped.sin6_addr.s6_addr + 12, &in.sin_addr, sizeof in.sin_addr);
        to = &mapped;
        toLength = sizeof mapped;
    } else if (m_family == AF_INET && !receiver.IsIPv4()) {
        return false;
    }
    ssize_t sent = 0;
    do {
        sent = ::sendto(m_descriptor, data.data(), static_cast<size_t>(data.size()), 0,
                        static_cast<const sockaddr*>(to), toLength);
    } while (sent < 0 && errno == EINTR);
    return sent == data.size();
}

bool CUdpSocket::Send(const QByteArray& data, const QString& remoteHost, quint16 remotePort)
{
    return Send(QByteArrayView(data), CUdpPeer(QHostAddress(remoteHost), remotePort));
}

void CUdpSocket::Close()
{
    if (m_descriptor < 0)
        return;
    // Close may be called from the notifier's own signal: it is deleted once
    // that has returned, and it watches nothing meanwhile.
    m_notifier->setEnabled(false);
    m_notifier->deleteLater();
    m_notifier = nullptr;
    ::close(m_descriptor);
    m_descriptor = -1;
    m_family = 0;
    m_localPort = 0;
}

int CUdpSocket::BufferSize(int option) const
{
    int size = 0;
    socklen_t length = sizeof size;
    if (m_descriptor < 0 || ::getsockopt(m_descriptor, SOL_SOCKET, option, &size, &length) != 0)
        return 0;
    return size;
}

int CUdpSocket::ReceiveBufferSize() const
{
    return BufferSize(SO_RCVBUF);
}

int CUdpSocket::SendBufferSize() const
{
    return BufferSize(SO_SNDBUF);
}

void CUdpSocket::EnsureBufferSizes(int bytes)
{
    if (m_descriptor < 0)
        return;
    // Linux reports twice the size asked for, bookkeeping included; half the
    // report is what a request of the same size would set.
    if (ReceiveBufferSize() / 2 < bytes)
        ::setsockopt(m_descriptor, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
    if (SendBufferSize() / 2 < bytes)
        ::setsockopt(m_descriptor, SOL_SOCKET, SO_SNDBUF, &bytes, sizeof bytes);
}
