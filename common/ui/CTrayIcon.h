#pragma once

#include <QByteArray>
#include <QIcon>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QSystemTrayIcon>
#include <QVariant>

#include <cstdint>
#include <memory>

class QWidget;

// The two variants of the tray icon: the console's (long tip, balloons, raises
// its window on a button press) and the file server's (short tip field).
enum class ETrayForm { Console, Server };

// One notification-area icon on behalf of a window. Mouse activity on the
// icon comes back as TrayMessage with the mouse message numbers the holders
// know: 513/514 left button down/up, 515 left double click, 516/517 right
// button down/up, 519/520 middle button down/up.
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

    explicit CTrayIcon(ETrayForm form, QObject* parent = nullptr);
    ~CTrayIcon() override;

    // Shows the icon for the window. Raises error 6 (as a Windows error) when
    // the window does not exist, 13 when the picture does not hold a QIcon.
    void Create(QWidget* window, const QVariant& picture, const QString& tip);

    // Removes the icon. Also done when the object goes.
    void Destroy();

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

    // Console form only: shows or removes a balloon message.
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

    ETrayForm m_form;
    std::uint32_t m_message = 0;
    QPointer<QWidget> m_owner;
    QVariant m_picture;
    QByteArray m_tipField; // server form: the fixed-size tip field
    QString m_tip;         // console form
    QString m_balloonText;
    std::int16_t m_balloonSeverity = 0;
    std::unique_ptr<QSystemTrayIcon> m_icon;
};
