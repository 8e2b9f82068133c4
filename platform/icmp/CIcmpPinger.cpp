#include "platform/icmp/CIcmpPinger.h"

void CIcmpPinger::Ping(const QString& address, const QByteArray& data, qint32& timeoutMs,
                       QObject* context, MPing::Callback done)
{
    MPing::Ping(address, data, timeoutMs, context, std::move(done));
}
