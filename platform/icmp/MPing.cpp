#include "platform/icmp/MPing.h"

#include "platform/icmp/CIcmpEcho.h"

#include <QStringList>

namespace {

// A dotted IPv4 address: four parts of one byte each.
constexpr int kAddressParts = 4;

} // namespace

namespace MPing {

qint32 DottedToAddress(const QString& dotted)
{
    const QStringList parts = dotted.split(QLatin1Char('.'));
    // Fewer than four parts are no address; more than four, or a part that
    // is not a number, are not one either.
    if (parts.size() != kAddressParts)
        return 0;
    quint32 address = 0;
    for (int i = 0; i < kAddressParts; ++i) {
        const QString part = parts[i].trimmed();
        if (part.isEmpty())
            return 0;
        for (const QChar c : part) {
            if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                return 0;
        }
        bool ok = false;
        const qulonglong value = part.toULongLong(&ok);
        if (!ok)
            return 0;
        // Only the low byte of a larger part counts (300 gives 0x2C).
        address |= static_cast<quint32>(value & 0xff) << (8 * i);
    }
    return static_cast<qint32>(address);
}

void ApplyTimeoutFloor(qint32& timeoutMs)
{
    if (timeoutMs <= kTimeoutFloorMs)
        timeoutMs = kTimeoutFloorMs;
}

void Ping(const QString& address, const QByteArray& data, qint32& timeoutMs, QObject* context,
          Callback done)
{
    Q_ASSERT(context);
    ApplyTimeoutFloor(timeoutMs);
    // The echo is the context's child, so it goes with it.
    auto* echo = new CIcmpEcho(context);
    QObject::connect(echo, &CIcmpEcho::OnFinished, echo,
                     [echo, done = std::move(done)](const SIcmpEchoReply& reply) {
                         echo->deleteLater();
                         if (done)
                             done(reply);
                     });
    echo->Start(DottedToAddress(address), data, timeoutMs);
}

} // namespace MPing
