#include "platform/icmp/CIcmpEcho.h"

#include <QRandomGenerator>
#include <QSocketNotifier>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <linux/errqueue.h>
#include <linux/icmp.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// An ICMP header (RFC 792): type, code, checksum, identifier, sequence.
constexpr int kHeaderSize = 8;
constexpr int kTypeAt = 0;
constexpr int kCodeAt = 1;
constexpr int kChecksumAt = 2;
constexpr int kIdentifierAt = 4;
constexpr int kSequenceAt = 6;

// An IPv4 header (RFC 791), as a raw socket receives it before the ICMP part.
constexpr int kMinIpHeaderSize = 20;
constexpr int kIpTtlAt = 8;
constexpr int kIpProtocolAt = 9;
constexpr int kIpDestinationAt = 16;
constexpr int kIpProtocolIcmp = 1;

constexpr qsizetype kMaxPacket = 65536; // one datagram at most
// Datagrams read per wake-up of the socket, so one flood cannot hold the loop.
constexpr int kMaxReadsPerWake = 64;
// Room for the ancillary data of one error report: the extended error and
// the address of the host that sent it.
constexpr size_t kErrorControlSize = 512;

// A one-part header for recvmsg: the sender's address, the payload and the
// control data land in the given places.
msghdr ReceiveHeader(sockaddr_in& from, iovec& part, char* control, size_t controlSize)
{
    msghdr message{};
    message.msg_name = &from;
    message.msg_namelen = sizeof from;
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = controlSize;
    return message;
}

// The address number (first part in the lowest byte) as the socket calls take it.
in_addr ToInAddr(quint32 address)
{
    const unsigned char bytes[4] = {static_cast<unsigned char>(address & 0xff),
                                    static_cast<unsigned char>((address >> 8) & 0xff),
                                    static_cast<unsigned char>((address >> 16) & 0xff),
                                    static_cast<unsigned char>((address >> 24) & 0xff)};
    in_addr result{};
    std::memcpy(&result.s_addr, bytes, sizeof bytes);
    return result;
}

// Four bytes in network order, as found in a packet, as an address number.
quint32 AddressAt(const char* bytes)
{
    const auto* b = reinterpret_cast<const unsigned char*>(bytes);
    return quint32(b[0]) | quint32(b[1]) << 8 | quint32(b[2]) << 16 | quint32(b[3]) << 24;
}

quint32 FromInAddr(const in_addr& address)
{
    return AddressAt(reinterpret_cast<const char*>(&address.s_addr));
}

// The length of the IPv4 header that starts the bytes (its IHL field, in
// 32-bit words).
qsizetype IpHeaderSize(const QByteArray& bytes)
{
    return (bytes[0] & 0x0f) * 4;
}

quint16 Word(const QByteArray& bytes, qsizetype at)
{
    return static_cast<quint16>(static_cast<unsigned char>(bytes[at]) << 8
                                | static_cast<unsigned char>(bytes[at + 1]));
}

void PutWord(QByteArray& bytes, qsizetype at, quint16 word)
{
    bytes[at] = static_cast<char>(word >> 8);
    bytes[at + 1] = static_cast<char>(word & 0xff);
}

// RFC 1071 checksum of the whole message.
quint16 InternetChecksum(const QByteArray& bytes)
{
    quint32 sum = 0;
    qsizetype i = 0;
    for (; i + 1 < bytes.size(); i += 2)
        sum += Word(bytes, i);
    if (i < bytes.size())
        sum += static_cast<quint32>(static_cast<unsigned char>(bytes[i])) << 8;
    while (sum >> 16)
        sum = (sum & 0xffff) + (sum >> 16);
    return static_cast<quint16>(~sum);
}

// The status for an ICMP error message that answered the echo.
quint32 StatusForIcmpError(int type, int code)
{
    switch (type) {
    case ICMP_DEST_UNREACH:
        switch (code) {
        case ICMP_NET_UNREACH:
        case ICMP_NET_UNKNOWN:
        case ICMP_NET_ANO:
        case ICMP_NET_UNR_TOS: return kIpDestNetUnreachable;
        case ICMP_PROT_UNREACH: return kIpDestProtUnreachable;
        case ICMP_PORT_UNREACH: return kIpDestPortUnreachable;
        case ICMP_FRAG_NEEDED: return kIpPacketTooBig;
        case ICMP_SR_FAILED: return kIpBadRoute;
        default: return kIpDestHostUnreachable;
        }
    case ICMP_TIME_EXCEEDED:
        return code == ICMP_EXC_FRAGTIME ? kIpTtlExpiredReassem : kIpTtlExpiredTransit;
    case ICMP_PARAMETERPROB: return kIpParamProblem;
    case ICMP_SOURCE_QUENCH: return kIpSourceQuench;
    default: return kIpGeneralFailure;
    }
}

bool IsIcmpError(int type)
{
    return type == ICMP_DEST_UNREACH || type == ICMP_TIME_EXCEEDED || type == ICMP_PARAMETERPROB
           || type == ICMP_SOURCE_QUENCH;
}

bool IsPermissionError(int error)
{
    return error == EPERM || error == EACCES;
}

} // namespace

CIcmpEcho::CIcmpEcho(QObject* parent) : QObject(parent)
{
    m_timeout.setSingleShot(true);
    connect(&m_timeout, &QTimer::timeout, this, [this] { Finish(kIpReqTimedOut); });
}

CIcmpEcho::~CIcmpEcho()
{
    CloseSocket();
}

void CIcmpEcho::Start(qint32 address, const QByteArray& data, qint32 timeoutMs)
{
    m_target = static_cast<quint32>(address);
    // 0.0.0.0 would reach this very host and answer: a malformed address
    // must not pass a route test.
    if (m_target == 0) {
        FinishLater(kIpBadDestination);
        return;
    }
    if (const quint32 failure = OpenSocket(); failure != kIpSuccess) {
        FinishLater(failure);
        return;
    }

    // A datagram socket puts its own identifier in; a raw one receives every
    // echo reply of the host, so both numbers tell this echo's reply apart.
    const quint32 random = QRandomGenerator::global()->generate();
    m_identifier = static_cast<quint16>(random >> 16);
    m_sequence = static_cast<quint16>(random);
    QByteArray packet(kHeaderSize, '\0');
    packet[kTypeAt] = static_cast<char>(ICMP_ECHO);
    PutWord(packet, kIdentifierAt, m_identifier);
    PutWord(packet, kSequenceAt, m_sequence);
    packet += data;
    PutWord(packet, kChecksumAt, InternetChecksum(packet));

    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr = ToInAddr(m_target);
    m_clock.start();
    const ssize_t sent = ::sendto(m_fd, packet.constData(), static_cast<size_t>(packet.size()), 0,
                                  reinterpret_cast<const sockaddr*>(&to), sizeof to);
    if (sent != packet.size()) {
        FinishLater(kIpGeneralFailure);
        return;
    }
    m_notifier = std::make_unique<QSocketNotifier>(m_fd, QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &CIcmpEcho::OnReadable);
    m_timeout.start(timeoutMs);
}

quint32 CIcmpEcho::OpenSocket()
{
    m_fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_ICMP);
    if (m_fd >= 0) {
        m_kind = EIcmpSocketKind::Datagram;
        const int on = 1;
        // ICMP errors about the echo come through the error queue, and the
        // reply's time to live as ancillary data.
        ::setsockopt(m_fd, IPPROTO_IP, IP_RECVERR, &on, sizeof on);
        ::setsockopt(m_fd, IPPROTO_IP, IP_RECVTTL, &on, sizeof on);
        return kIpSuccess;
    }
    m_fd = ::socket(AF_INET, SOCK_RAW | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_ICMP);
    if (m_fd >= 0) {
        m_kind = EIcmpSocketKind::Raw;
        // Only replies and error reports wake this socket, not every request.
        icmp_filter filter{};
        filter.data =
            ~((1U << ICMP_ECHOREPLY) | (1U << ICMP_DEST_UNREACH) | (1U << ICMP_SOURCE_QUENCH)
              | (1U << ICMP_TIME_EXCEEDED) | (1U << ICMP_PARAMETERPROB));
        ::setsockopt(m_fd, SOL_RAW, ICMP_FILTER, &filter, sizeof filter);
        return kIpSuccess;
    }
    return IsPermissionError(errno) ? kIpEchoNotPermitted : kIpGeneralFailure;
}

void CIcmpEcho::OnReadable()
{
    if (m_finished)
        return;
    if (m_kind == EIcmpSocketKind::Datagram && ReadErrorQueue())
        return;
    // The notifier fires while anything is queued: read all of it.
    for (int i = 0; i < kMaxReadsPerWake && !m_finished; ++i) {
        QByteArray buffer(kMaxPacket, '\0');
        char control[CMSG_SPACE(sizeof(int))] = {};
        sockaddr_in from{};
        iovec part{buffer.data(), static_cast<size_t>(buffer.size())};
        msghdr message = ReceiveHeader(from, part, control, sizeof control);
        const ssize_t received = ::recvmsg(m_fd, &message, MSG_DONTWAIT);
        if (received < 0) {
            if (errno == EINTR)
                continue;
            // A report of an error is read from the error queue next time.
            if (errno != EAGAIN && errno != EWOULDBLOCK && m_kind != EIcmpSocketKind::Datagram)
                Finish(kIpGeneralFailure);
            return;
        }
        buffer.truncate(received);
        if (m_kind == EIcmpSocketKind::Raw) {
            if (ExamineRaw(buffer, FromInAddr(from.sin_addr)))
                return;
            continue;
        }
        quint8 ttl = 0;
        for (cmsghdr* c = CMSG_FIRSTHDR(&message); c; c = CMSG_NXTHDR(&message, c)) {
            if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_TTL) {
                int value = 0;
                std::memcpy(&value, CMSG_DATA(c), sizeof value);
                ttl = static_cast<quint8>(value);
            }
        }
        if (ExamineDatagram(buffer, FromInAddr(from.sin_addr), ttl))
            return;
    }
}

bool CIcmpEcho::ReadErrorQueue()
{
    for (int i = 0; i < kMaxReadsPerWake; ++i) {
        QByteArray original(kMaxPacket, '\0');
        char control[kErrorControlSize] = {};
        sockaddr_in name{};
        iovec part{original.data(), static_cast<size_t>(original.size())};
        msghdr message = ReceiveHeader(name, part, control, sizeof control);
        const ssize_t received = ::recvmsg(m_fd, &message, MSG_ERRQUEUE | MSG_DONTWAIT);
        if (received < 0)
            return false;
        original.truncate(received);
        for (cmsghdr* c = CMSG_FIRSTHDR(&message); c; c = CMSG_NXTHDR(&message, c)) {
            if (c->cmsg_level != IPPROTO_IP || c->cmsg_type != IP_RECVERR)
                continue;
            sock_extended_err report{};
            std::memcpy(&report, CMSG_DATA(c), sizeof report);
            // The queued bytes are the echo as sent: its sequence tells it is ours.
            if (original.size() < kHeaderSize || Word(original, kSequenceAt) != m_sequence)
                continue;
            if (report.ee_origin == SO_EE_ORIGIN_ICMP) {
                sockaddr_in offender{};
                std::memcpy(&offender, CMSG_DATA(c) + sizeof report, sizeof offender);
                Finish(StatusForIcmpError(report.ee_type, report.ee_code),
                       FromInAddr(offender.sin_addr));
            } else {
                Finish(kIpGeneralFailure);
            }
            return true;
        }
    }
    return false;
}

bool CIcmpEcho::ExamineDatagram(const QByteArray& icmp, quint32 from, quint8 ttl)
{
    if (icmp.size() < kHeaderSize || icmp[kTypeAt] != ICMP_ECHOREPLY
        || Word(icmp, kSequenceAt) != m_sequence || from != m_target)
        return false;
    Finish(kIpSuccess, from, icmp.mid(kHeaderSize), ttl);
    return true;
}

bool CIcmpEcho::ExamineRaw(const QByteArray& packet, quint32 from)
{
    if (packet.size() < kMinIpHeaderSize)
        return false;
    const qsizetype headerSize = IpHeaderSize(packet);
    if (packet.size() < headerSize + kHeaderSize)
        return false;
    const QByteArray icmp = packet.mid(headerSize);
    const int type = static_cast<unsigned char>(icmp[kTypeAt]);
    if (type == ICMP_ECHOREPLY) {
        if (Word(icmp, kIdentifierAt) != m_identifier || Word(icmp, kSequenceAt) != m_sequence
            || from != m_target)
            return false;
        Finish(kIpSuccess, from, icmp.mid(kHeaderSize), static_cast<quint8>(packet[kIpTtlAt]));
        return true;
    }
    if (!IsIcmpError(type))
        return false;
    // An error message quotes the IP header of the echo and its first 8 bytes.
    const QByteArray quoted = icmp.mid(kHeaderSize);
    if (quoted.size() < kMinIpHeaderSize)
        return false;
    const qsizetype quotedHeaderSize = IpHeaderSize(quoted);
    if (quoted.size() < quotedHeaderSize + kHeaderSize || quoted[kIpProtocolAt] != kIpProtocolIcmp
        || AddressAt(quoted.constData() + kIpDestinationAt) != m_target)
        return false;
    const QByteArray echo = quoted.mid(quotedHeaderSize);
    if (echo[kTypeAt] != ICMP_ECHO || Word(echo, kIdentifierAt) != m_identifier
        || Word(echo, kSequenceAt) != m_sequence)
        return false;
    Finish(StatusForIcmpError(type, static_cast<unsigned char>(icmp[kCodeAt])), from);
    return true;
}

void CIcmpEcho::Finish(quint32 status, quint32 from, const QByteArray& data, quint8 ttl)
{
    if (m_finished)
        return;
    m_finished = true;
    m_timeout.stop();
    CloseSocket();
    SIcmpEchoReply reply;
    reply.Status = status;
    reply.Address = from;
    if (m_clock.isValid() && status != kIpReqTimedOut)
        reply.RoundTripTime = static_cast<quint32>(m_clock.elapsed());
    reply.Data = data;
    reply.DataSize = static_cast<quint16>(data.size());
    reply.Ttl = ttl;
    // Last: a receiver may delete this object.
    emit OnFinished(reply);
}

void CIcmpEcho::FinishLater(quint32 status)
{
    QMetaObject::invokeMethod(
        this, [this, status] { Finish(status); }, Qt::QueuedConnection);
}

void CIcmpEcho::CloseSocket()
{
    m_notifier.reset();
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}
