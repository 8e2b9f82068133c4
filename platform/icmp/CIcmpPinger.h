#pragma once

#include "platform/icmp/IPinger.h"

// Route tests through real ICMP echoes (MPing::Ping).
class CIcmpPinger final : public IPinger {
public:
    CIcmpPinger() = default;

    void Ping(const QString& address, const QByteArray& data, qint32& timeoutMs, QObject* context,
              MPing::Callback done) override;
};
