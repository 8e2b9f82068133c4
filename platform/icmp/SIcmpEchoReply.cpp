#include "platform/icmp/SIcmpEchoReply.h"

qint32 SIcmpEchoReply::Result() const
{
    if (Status == kIpSuccess)
        return static_cast<qint32>(RoundTripTime);
    return -static_cast<qint32>(Status);
}
