#pragma once

#include "console/equipment/IEquipmentPages.h"
#include "platform/icmp/CIcmpPinger.h"
#include "platform/icmp/IPinger.h"

#include <QObject>
#include <QStringList>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <memory>
#include <optional>

// What was asked of the pages: "open URL" or "show ADDRESS URL".
class CRecordingPages final : public IEquipmentPages {
public:
    void OpenEquipmentPage(const QUrl& url) override
    {
        calls.append(QStringLiteral("open ") + url.toString(QUrl::FullyEncoded));
    }
    void ShowEquipmentPage(const QString& ipAddress, const QUrl& url) override
    {
        calls.append(QStringLiteral("show %1 %2").arg(ipAddress, url.toString(QUrl::FullyEncoded)));
    }

    QStringList calls;
};

// Stands in for the ICMP echo where this system permits no ICMP socket, or
// where a test needs one particular outcome: answers every address with the
// status given, from the event loop.
class CScriptedPinger final : public IPinger {
public:
    explicit CScriptedPinger(quint32 status) : m_status(status) {}

    void Ping(const QString&, const QByteArray& data, qint32& timeoutMs, QObject* context,
              MPing::Callback done) override
    {
        MPing::ApplyTimeoutFloor(timeoutMs);
        SIcmpEchoReply reply;
        reply.Status = m_status;
        if (m_status == kIpSuccess) {
            reply.Data = data;
            reply.DataSize = static_cast<quint16>(data.size());
        }
        QTimer::singleShot(0, context, [done, reply] { done(reply); });
    }

private:
    quint32 m_status;
};

// The real echo where this system permits it (loopback answers), else a
// stand-in that answers every address, with the reason said once.
inline std::unique_ptr<IPinger> LoopbackPinger()
{
    std::optional<quint32> status;
    QObject context;
    qint32 timeoutMs = 6000;
    MPing::Ping(QStringLiteral("127.0.0.1"), QByteArrayLiteral("Test Route"), timeoutMs, &context,
                [&](const SIcmpEchoReply& reply) { status = reply.Status; });
    if (!QTest::qWaitFor([&] { return status.has_value(); }, 10000))
        qWarning("The echo to 127.0.0.1 did not end");
    if (status != kIpEchoNotPermitted)
        return std::make_unique<CIcmpPinger>();
    qInfo("No ICMP socket is permitted here: route tests are answered by a stand-in");
    return std::make_unique<CScriptedPinger>(kIpSuccess);
}
