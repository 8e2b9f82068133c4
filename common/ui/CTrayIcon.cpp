#include "common/ui/CTrayIcon.h"

#include "common/GBytes.h"
#include "common/MWindowsError.h"
#include "common/ui/CDesktopNotification.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QMenu>
#include <QWidget>

#include <limits>
#include <utility>

namespace {

// Message numbers of the kind a window system hands out for registered
// messages; every icon object takes the next one.
std::uint32_t NextMessageNumber()
{
    static std::uint32_t next = 0xC000;
    return next++;
}

bool IsIconPicture(const QVariant& picture)
{
    return picture.typeId() == QMetaType::QIcon;
}

} // namespace

CTrayIcon::CTrayIcon(ETrayForm form, QObject* parent, std::function<bool()> notifierHost)
    : QObject(parent), m_form(form), m_notifierHost(std::move(notifierHost))
{
    if (!m_notifierHost)
        m_notifierHost = &CTrayIcon::StatusNotifierHostRegistered;
}

bool CTrayIcon::StatusNotifierHostRegistered()
{
    const QString watcher = QStringLiteral("org.kde.StatusNotifierWatcher");
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface()
        || !bus.interface()->isServiceRegistered(watcher).value())
        return false;
    QDBusInterface watcherObject(watcher, QStringLiteral("/StatusNotifierWatcher"), watcher, bus);
    return watcherObject.property("IsStatusNotifierHostRegistered").toBool();
}

CTrayIcon::~CTrayIcon()
{
    Destroy();
}

void CTrayIcon::Create(QWidget* window, const QVariant& picture, const QString& tip)
{
    if (!window)
        RaiseWindowsError(kErrorInvalidHandle);
    if (!IsIconPicture(picture))
        RaiseWindowsError(kErrorInvalidData);

    m_owner = window;
    if (m_message == 0)
        m_message = NextMessageNumber();
    m_picture = picture;

    if (m_form == ETrayForm::Server) {
        // The tip field is filled with zero bytes, and a longer tip is cut at
        // the field's size; Create writes the text without a closing zero.
        m_tipField = QByteArray(kServerTipBytes, '\0');
        QString text = tip;
        GBytes::StrToBytes(m_tipField, text);
    } else {
        m_tip = tip.left(kConsoleTipChars);
    }

    // Qt chooses its kind of icon when the icon is made; the mapping of
    // activations follows the same choice.
    m_activatesOnce = m_notifierHost();
    m_icon = std::make_unique<QSystemTrayIcon>(picture.value<QIcon>());
    connect(m_icon.get(), &QSystemTrayIcon::activated, this, &CTrayIcon::OnActivated);
    if (m_menu)
        m_icon->setContextMenu(m_menu);
    ApplyTip();
    m_icon->show();
}

void CTrayIcon::SetContextMenu(QMenu* menu)
{
    m_menu = menu;
    if (m_icon)
        m_icon->setContextMenu(menu);
}

void CTrayIcon::Destroy()
{
    if (m_message == 0)
        return;
    BalloonMsgOff();
    if (m_icon) {
        m_icon->hide();
        m_icon.reset();
    }
    m_owner = nullptr;
}

QString CTrayIcon::Tip() const
{
    if (m_form == ETrayForm::Server) {
        // The shell reads the field as a zero-ended text, so its last byte
        // never shows.
        const QString field = GBytes::BytesToStr(m_tipField).left(kServerTipBytes - 1);
        return field.left(field.indexOf(QChar(0)));
    }
    return m_tip;
}

void CTrayIcon::SetTip(const QString& tip)
{
    if (!IsShown())
        return;
    if (m_form == ETrayForm::Server) {
        // Written with a closing zero: at most 63 characters remain visible.
        QString text = tip + QChar(0);
        GBytes::StrToBytes(m_tipField, text);
    } else {
        m_tip = tip.left(kConsoleTipChars);
    }
    ApplyTip();
}

void CTrayIcon::SetIcon(const QVariant& picture)
{
    if (!IsShown() || !IsIconPicture(picture))
        return;
    m_picture = picture;
    if (m_icon)
        m_icon->setIcon(picture.value<QIcon>());
}

void CTrayIcon::BalloonMsgOn(const QString& title, const QString& msg, std::int16_t severity)
{
    if (m_form != ETrayForm::Console || !m_icon)
        return;
    m_balloonText = msg;
    m_balloonSeverity = severity;
    if (!m_notification)
        m_notification = new CDesktopNotification(QCoreApplication::applicationName(),
                                                  QDBusConnection::sessionBus(), this);
    // Each kind replaces its own balloon; one of the other kind goes first.
    if (m_notification->IsAvailable()) {
        if (m_balloon == EBalloon::Tray)
            TakeBalloonDown();
        m_notification->Show(title, msg, severity);
        m_balloon = EBalloon::Notification;
        return;
    }
    if (m_balloon == EBalloon::Notification)
        TakeBalloonDown();
    QSystemTrayIcon::MessageIcon icon = QSystemTrayIcon::NoIcon;
    switch (severity) {
    case kBalloonInfo: icon = QSystemTrayIcon::Information; break;
    case kBalloonWarning: icon = QSystemTrayIcon::Warning; break;
    case kBalloonError: icon = QSystemTrayIcon::Critical; break;
    default: break;
    }
    // The holder takes the balloon down itself; the longest time Qt allows
    // stands for "no time-out".
    m_icon->showMessage(title, msg, icon, std::numeric_limits<int>::max());
    m_balloon = EBalloon::Tray;
}

void CTrayIcon::BalloonMsgOff()
{
    m_balloonText.clear();
    m_balloonSeverity = 0;
    TakeBalloonDown();
}

void CTrayIcon::TakeBalloonDown()
{
    const EBalloon shown = std::exchange(m_balloon, EBalloon::None);
    if (shown == EBalloon::Notification) {
        m_notification->Withdraw();
    } else if (shown == EBalloon::Tray && m_icon && !m_activatesOnce) {
        // The XEmbed tray's balloon is a window of Qt's that a message
        // without texts takes down. A StatusNotifier host would show that
        // message as an empty notification, so there nothing is sent.
        m_icon->showMessage(QString(), QString(), QSystemTrayIcon::NoIcon, 1);
    }
}

bool CTrayIcon::IsVisible() const
{
    return m_icon && m_icon->isVisible() && QSystemTrayIcon::isSystemTrayAvailable();
}

void CTrayIcon::ApplyTip()
{
    if (m_icon)
        m_icon->setToolTip(Tip());
}

void CTrayIcon::OnActivated(QSystemTrayIcon::ActivationReason reason)
{
    switch (reason) {
    case QSystemTrayIcon::Trigger:
        RaiseMessage(kLeftButtonDown);
        RaiseMessage(kLeftButtonUp);
        if (m_activatesOnce)
            RaiseMessage(kLeftDoubleClick);
        break;
    case QSystemTrayIcon::DoubleClick: RaiseMessage(kLeftDoubleClick); break;
    case QSystemTrayIcon::Context:
        RaiseMessage(kRightButtonDown);
        RaiseMessage(kRightButtonUp);
        break;
    case QSystemTrayIcon::MiddleClick:
        RaiseMessage(kMiddleButtonDown);
        RaiseMessage(kMiddleButtonUp);
        break;
    case QSystemTrayIcon::Unknown: break;
    }
}

void CTrayIcon::RaiseMessage(std::uint32_t message)
{
    // The console's icon brings its window forward on a button press, so the
    // menu that follows belongs to a window in front.
    if (m_form == ETrayForm::Console && (message == kLeftButtonDown || message == kRightButtonDown)
        && m_owner) {
        m_owner->raise();
        m_owner->activateWindow();
    }
    emit TrayMessage(message, m_message);
}
