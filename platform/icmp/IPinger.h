#pragma once

#include "platform/icmp/MPing.h"

// Whoever sends route tests for a caller: the ICMP echo in the program, a
// stand-in in tests where this system permits no ICMP socket.
class IPinger {
public:
    virtual ~IPinger() = default;

    // Same contract as MPing::Ping.
    virtual void Ping(const QString& address, const QByteArray& data, qint32& timeoutMs,
                      QObject* context, MPing::Callback done) = 0;

protected:
    IPinger() = default;
    IPinger(const IPinger&) = default;
    IPinger& operator=(const IPinger&) = default;
};
