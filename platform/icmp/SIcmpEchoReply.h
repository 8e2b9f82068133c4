#pragma once

#include <QByteArray>
#include <QMetaType>
#include <QtGlobal>

// What an echo ended with, as the reply record's Status carries it: 0 for
// success, otherwise the IP status codes that callers of an echo test for.
inline constexpr quint32 kIpSuccess = 0;
inline constexpr quint32 kIpDestNetUnreachable = 11002;
inline constexpr quint32 kIpDestHostUnreachable = 11003;
inline constexpr quint32 kIpDestProtUnreachable = 11004;
inline constexpr quint32 kIpDestPortUnreachable = 11005;
inline constexpr quint32 kIpPacketTooBig = 11009;
inline constexpr quint32 kIpReqTimedOut = 11010;
inline constexpr quint32 kIpBadRoute = 11012;
inline constexpr quint32 kIpTtlExpiredTransit = 11013;
inline constexpr quint32 kIpTtlExpiredReassem = 11014;
inline constexpr quint32 kIpParamProblem = 11015;
inline constexpr quint32 kIpSourceQuench = 11016;
inline constexpr quint32 kIpBadDestination = 11018;
// The request could not be sent (no route, no buffer, ...).
inline constexpr quint32 kIpGeneralFailure = 11050;
// Outside the usual codes on purpose: neither kind of ICMP socket is
// permitted to this process, which says nothing about the target.
inline constexpr quint32 kIpEchoNotPermitted = 11900;

// The reply record of one echo.
struct SIcmpEchoReply {
    // Address that replied, first part in the lowest byte; 0 when none did.
    quint32 Address = 0;
    quint32 Status = kIpGeneralFailure;
    // Milliseconds from the request to its answer.
    quint32 RoundTripTime = 0;
    // Bytes of echoed data, and the data itself.
    quint16 DataSize = 0;
    QByteArray Data;
    // Time to live of the reply as it arrived; 0 when unknown.
    quint8 Ttl = 0;

    // The echo's result as a number: the round-trip time when a reply came,
    // otherwise minus the status.
    qint32 Result() const;
};

Q_DECLARE_METATYPE(SIcmpEchoReply)
