#pragma once

#include <QByteArray>
#include <QIcon>
#include <QMenu>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QSystemTrayIcon>
#include <QVariant>

#include <cstdint>
#include <functional>
#include <memory>

class CDesktopNotification;
class QWidget;

// The two variants of the tray icon: the console's (long tip, balloons, raises
// its window on a button press) and the file server's (short tip field).
enum class ETrayForm { Console, Server };

// One notification-area icon on behalf of a window. Mouse activity on the
// icon comes back as TrayMessage with the mouse message numbers the holders
// know: 513/514 left button down/up, 515 left double click, 516/517 right
// button down/up, 519/520 middle button down/up.
//
// Desktops have two kinds of notification area. An XEmbed tray hands the
// icon the mouse itself: clicks, double clicks and the right button come as
// they are, and the icon pops its menu up. A StatusNotifier host (a D-Bus
// service that Qt uses whenever a StatusNotifierWatcher is registered)
// sends one "Activate" for a click and never a double click, and shows the
// menu the icon exports: there a single activation also raises 515, so that
// the holders' double-click action is reachable at all.
//
// The menu is handed to the icon (SetContextMenu); every host then shows it
// at its own place. Balloons go to the desktop's notification server when
// one runs, and are withdrawn from it; otherwise they are the tray's own.
//
// Where the desktop has no notification area, Create still succeeds and
// IsVisible tells the holder that nothing is shown.
class CTrayIcon final : public QObject {
    Q_OBJECT

public:
    static constexpr std::uint32_t kLeftButtonDown = 513;
    static constexpr std::uint32_t kLeftButtonUp = 514;
    static constexpr std::uint32_t kLeftDoubleClick = 515;
    static constexpr std::uint32_t kRightButtonDown = 516;
    static constexpr std::uint32_t kRightButtonUp = 517;
    static constexpr std::uint32_t kMiddleButtonDown = 519;
    static constexpr std::uint32_t kMiddleButtonUp = 520;

    // Visible tip characters of the console form (a 128-byte field with its zero).
    static constexpr int kConsoleTipChars = 127;
    // Size of the server form's tip field in bytes.
    static constexpr int kServerTipBytes = 64;

    // Balloon severities.
    static constexpr std::int16_t kBalloonInfo = 1;
    static constexpr std::int16_t kBalloonWarning = 2;
    static constexpr std::int16_t kBalloonError = 3;

    // notifierHost tells whether the desktop's tray is a StatusNotifier host;
    // empty: StatusNotifierHostRegistered.
    explicit CTrayIcon(ETrayForm form, QObject* parent = nullptr,
                       std::function<bool()> notifierHost = {});
    ~CTrayIcon() override;

    // Whether the session bus has a StatusNotifierWatcher with a host
    // registered: the test Qt makes when it chooses its kind of tray icon.
    static bool StatusNotifierHostRegistered();

    // Shows the icon for the window. Raises error 6 (as a Windows error) when
    // the window does not exist, 13 when the picture does not hold a QIcon.
    void Create(QWidget* window, const QVariant& picture, const QString& tip);

    // Removes the icon. Also done when the object goes.
    void Destroy();

    // The menu of the icon, shown by the tray host; given before or after
    // Create. The holder keeps it.
    void SetContextMenu(QMenu* menu);

    // The message number of this icon, distinct for every object; 0 before Create.
    std::uint32_t Message() const { return m_message; }
    std::uint32_t ID() const { return m_message; }

    // The tooltip as shown. Writes are ignored until Create and after Destroy.
    QString Tip() const;
    void SetTip(const QString& tip);

    // The icon shown. A write of anything but a QIcon is ignored, as is a
    // write before Create.
    QVariant Icon() const { return m_picture; }
    void SetIcon(const QVariant& picture);

    // Console form only: shows or removes a balloon message. A balloon off
    // withdraws the one shown and shows nothing else.
    void BalloonMsgOn(const QString& title, const QString& msg, std::int16_t severity);
    void BalloonMsgOff();
    // The balloon shown now: its text (empty when none) and severity.
    QString BalloonText() const { return m_balloonText; }
    std::int16_t BalloonSeverity() const { return m_balloonSeverity; }

    // True when the icon is really in a notification area.
    bool IsVisible() const;

    // Whether a window stands behind the icon (between Create and Destroy).
    bool IsShown() const { return !m_owner.isNull(); }

    // The system icon itself, for tests that play the user's clicks on it.
    QSystemTrayIcon* SystemIcon() const { return m_icon.get(); }

signals:
    // Raised once for each mouse message on the icon.
    void TrayMessage(std::uint32_t message, std::uint32_t id);

private:
    void OnActivated(QSystemTrayIcon::ActivationReason reason);
    void RaiseMessage(std::uint32_t message);
    void ApplyTip();
    void TakeBalloonDown();

    enum class EBalloon { None, Tray, Notification };

    ETrayForm m_form;
    std::function<bool()> m_notifierHost;
    bool m_activatesOnce = false; // a single activation counts as the double click
    std::uint32_t m_message = 0;
    QPointer<QWidget> m_owner;
    QPointer<QMenu> m_menu;
    EBalloon m_balloon = EBalloon::None;
    CDesktopNotification* m_notification = nullptr;
    QVariant m_picture;
    QByteArray m_tipField; // server form: the fixed-size tip field
    QString m_tip;         // console form
    QString m_balloonText;
    std::int16_t m_balloonSeverity = 0;
    std::unique_ptr<QSystemTrayIcon> m_icon;
};
