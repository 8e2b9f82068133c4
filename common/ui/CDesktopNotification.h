#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>

#include <cstdint>

class QDBusPendingCallWatcher;

// One notification on the desktop's notification server (the freedesktop
// notification service on the session bus): shown, replaced by the next one,
// and withdrawn on request, so that nothing stays on the screen after the
// holder has taken it down.
class CDesktopNotification final : public QObject {
    Q_OBJECT

public:
    static constexpr const char* kService = "org.freedesktop.Notifications";

    explicit CDesktopNotification(const QString& applicationName,
                                  const QDBusConnection& bus = QDBusConnection::sessionBus(),
                                  QObject* parent = nullptr);
    ~CDesktopNotification() override;

    // Whether a notification server answers on the bus.
    bool IsAvailable() const;

    // Shows the notification, in place of the one shown before. It stays
    // until Withdraw. Severity as the tray icon's balloons: 1 information,
    // 2 warning, 3 error.
    void Show(const QString& title, const QString& text, std::int16_t severity);

    // Takes the shown notification down; nothing when none is shown.
    void Withdraw();

    // Whether a notification of ours is up, or on its way.
    bool IsShown() const { return m_shown; }

private:
    void OnNotified(QDBusPendingCallWatcher* call, int sequence);
    void Close(std::uint32_t id);

    QString m_applicationName;
    QDBusConnection m_bus;
    std::uint32_t m_id = 0; // the server's number for the shown one; 0 while not known
    bool m_shown = false;
    int m_sequence = 0; // of the latest Notify: an answer to an earlier one is out of date
};
