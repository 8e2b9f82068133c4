#pragma once

#include "console/equipment/MEquipmentUrls.h"

#include <QString>

// What the creator of a CEquipmentAccess decides. The defaults are the
// program's values; tests put loopback addresses, their own ports and short
// intervals in.
struct SEquipmentAccessOptions {
    // The fixed address of an equipment that has lost its configuration.
    static constexpr char kRescueAddress[] = "172.20.253.13";
    static constexpr qint32 kRouteTestTimeoutMs = 6000;
    // How long a connection may take to connect, and then to bring a
    // complete reply, before it is given up.
    static constexpr int kReplyTimeoutMs = 10000;
    // The pause before a failed rescue connection is tried again, so that an
    // equipment that refuses while it starts is not hammered.
    static constexpr int kRescueRetryDelayMs = 1000;

    quint16 port = MEquipmentUrls::kHttpPort;
    QString rescueAddress = QString::fromLatin1(kRescueAddress);
    qint32 routeTestTimeoutMs = kRouteTestTimeoutMs;
    int replyTimeoutMs = kReplyTimeoutMs;
    int rescueRetryDelayMs = kRescueRetryDelayMs;
    // Title of the messages: the application title.
    QString messageTitle = QStringLiteral("Pelion");
};
