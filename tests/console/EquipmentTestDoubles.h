#pragma once

#include "console/equipment/IEquipmentPages.h"
#include "platform/icmp/IPinger.h"

#include <QStringList>
#include <QTimer>
#include <QUrl>

// What was asked of the pages: "open URL" or "show ADDRESS URL".
class CRecordingPages final : public IEquipmentPages {
public:
    void OpenEquipmentPage(const QUrl& url) override
    {
        calls.append("open " + url.toString(QUrl::FullyEncoded));
    }
    void ShowEquipmentPage(const QString& ipAddress, const QUrl& url) override
    {
        calls.append(QStringLiteral("show %1 %2").arg(ipAddress, url.toString(QUrl::FullyEncoded)));
    }
    QStringList calls;
};

// Answers every address with the status given, from the event loop, and
// keeps the addresses asked.
class CScriptedPinger final : public IPinger {
public:
    explicit CScriptedPinger(quint32 status) : m_status(status) {}

    void Ping(const QString& address, const QByteArray& data, qint32& timeoutMs, QObject* context,
              MPing::Callback done) override
    {
        pinged.append(address);
        MPing::ApplyTimeoutFloor(timeoutMs);
        SIcmpEchoReply reply;
        reply.Status = m_status;
        if (m_status == kIpSuccess) {
            reply.Data = data;
            reply.DataSize = static_cast<quint16>(data.size());
        }
        QTimer::singleShot(0, context, [done, reply] { done(reply); });
    }

    QStringList pinged;

private:
    quint32 m_status;
};
