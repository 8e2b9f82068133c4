#include "common/ui/CDesktopNotification.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

namespace {

const char* const kPath = "/org/freedesktop/Notifications";
const char* const kInterface = "org.freedesktop.Notifications";

// The notification server's urgency levels.
constexpr unsigned char kUrgencyNormal = 1;
constexpr unsigned char kUrgencyCritical = 2;

QDBusMessage Call(const char* method)
{
    return QDBusMessage::createMethodCall(QLatin1String(CDesktopNotification::kService),
                                          QLatin1String(kPath), QLatin1String(kInterface),
                                          QLatin1String(method));
}

QString IconName(std::int16_t severity)
{
    switch (severity) {
    case 2: return QStringLiteral("dialog-warning");
    case 3: return QStringLiteral("dialog-error");
    default: return QStringLiteral("dialog-information");
    }
}

} // namespace

CDesktopNotification::CDesktopNotification(const QString& applicationName,
                                           const QDBusConnection& bus, QObject* parent)
    : QObject(parent), m_applicationName(applicationName), m_bus(bus)
{
}

CDesktopNotification::~CDesktopNotification()
{
    Withdraw();
}

bool CDesktopNotification::IsAvailable() const
{
    if (!m_bus.isConnected() || !m_bus.interface())
        return false;
    const QString service = QLatin1String(kService);
    return m_bus.interface()->isServiceRegistered(service).value()
           || m_bus.interface()->activatableServiceNames().value().contains(service);
}

void CDesktopNotification::Show(const QString& title, const QString& text, std::int16_t severity)
{
    QDBusMessage notify = Call("Notify");
    const QVariantMap hints{
        {QStringLiteral("urgency"),
         QVariant::fromValue(severity == 3 ? kUrgencyCritical : kUrgencyNormal)}};
    // Expiry 0: the server keeps it until the holder withdraws it.
    notify << m_applicationName << static_cast<uint>(m_id) << IconName(severity) << title << text
           << QStringList() << hints << 0;
    m_shown = true;
    const int sequence = ++m_sequence;
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(notify), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, sequence](QDBusPendingCallWatcher* call) { OnNotified(call, sequence); });
}

void CDesktopNotification::Withdraw()
{
    if (!m_shown)
        return;
    m_shown = false;
    if (m_id != 0)
        Close(m_id);
    m_id = 0;
}

void CDesktopNotification::OnNotified(QDBusPendingCallWatcher* call, int sequence)
{
    call->deleteLater();
    const QDBusPendingReply<uint> reply = *call;
    if (reply.isError())
        return;
    const std::uint32_t id = reply.value();
    // One withdrawn, or shown again, before the server told its number
    // would otherwise stay up for good.
    if (sequence != m_sequence || !m_shown) {
        if (id != m_id)
            Close(id);
        return;
    }
    m_id = id;
}

void CDesktopNotification::Close(std::uint32_t id)
{
    QDBusMessage close = Call("CloseNotification");
    close << static_cast<uint>(id);
    m_bus.asyncCall(close);
}
