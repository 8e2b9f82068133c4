#pragma once

#include "platform/icmp/SIcmpEchoReply.h"

#include <QByteArray>
#include <QString>

#include <functional>

class QObject;

// The route test: one ICMP echo to a dotted IPv4 address.
namespace MPing {

// A time-out at or below this is raised to it.
inline constexpr qint32 kTimeoutFloorMs = 200;

// The one text for a process that may open neither kind of ICMP socket.
inline constexpr char kNotPermittedText[] =
    "The route test is not possible: this computer does not allow the program to send ICMP "
    "echo requests. Allow it with the setting net.ipv4.ping_group_range, or give the program "
    "the capability cap_net_raw.";

using Callback = std::function<void(const SIcmpEchoReply&)>;

// Converts a dotted address into the 32-bit number the echo is sent to: the
// first part in the lowest byte, the fourth in the highest, each part taken
// modulo 256. Text with fewer than four parts gives 0; so does text with more
// than four parts or a part that is not a decimal number, which is not an
// address either.
qint32 DottedToAddress(const QString& dotted);

// Raises a time-out of 200 ms or less to 200 ms, in the caller's variable.
void ApplyTimeoutFloor(qint32& timeoutMs);

// Sends one echo request carrying data to the dotted address and returns at
// once; done runs exactly once, from the event loop, with the reply record.
// The time-out gets its floor, in the caller's variable too. The echo belongs
// to context: when context is destroyed first, the echo is dropped and done
// never runs. An address that converts to 0 is not sent at all (this system
// would deliver it to itself) and ends with kIpBadDestination.
void Ping(const QString& address, const QByteArray& data, qint32& timeoutMs, QObject* context,
          Callback done);

} // namespace MPing
