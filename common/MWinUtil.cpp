#include "MWinUtil.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEvent>
#include <QEventLoop>
#include <QGuiApplication>
#include <QScreen>
#include <QThread>
#include <QTimer>
#include <QWidget>

void Pause(std::uint32_t milliseconds, bool noEvents)
{
    QDeadlineTimer deadline(static_cast<qint64>(milliseconds));
    if (noEvents) {
        QThread::msleep(milliseconds);
        return;
    }
    QCoreApplication::processEvents();
    const qint64 remaining = deadline.remainingTime();
    if (remaining <= 0)
        return;
    // A nested loop that only its timer ends, so events cannot cut the pause short.
    QEventLoop loop;
    QTimer::singleShot(std::chrono::milliseconds(remaining), &loop, &QEventLoop::quit);
    loop.exec();
}

std::uint16_t GetWindowsVersion(int major, int minor, int platform)
{
    switch (major) {
    case 3: return 4;
    case 4:
        if (minor == 0)
            return platform == kPlatformNT ? 5 : 1;
        if (minor == 10)
            return 2;
        if (minor == 90)
            return 3;
        return 0;
    case 5:
        if (minor == 0)
            return 6;
        if (minor == 1)
            return 7;
        return 0;
    case 6: return 8;
    default: return 0;
    }
}

std::uint16_t GetWindowsVersion()
{
    return 0;
}

namespace {

// Swallows close requests that come from the user, not from the program.
class CCloseBlocker final : public QObject {
public:
    explicit CCloseBlocker(QObject* parent) : QObject(parent) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Close && event->spontaneous()) {
            event->ignore();
            return true;
        }
        return QObject::eventFilter(watched, event);
    }
};

} // namespace

void RemoveCloseMenu(QWidget* window)
{
    if (!window)
        return;
    const bool wasVisible = window->isVisible();
    window->setWindowFlag(Qt::CustomizeWindowHint, true);
    window->setWindowFlag(Qt::WindowCloseButtonHint, false);
    if (!window->findChild<CCloseBlocker*>(QString(), Qt::FindDirectChildrenOnly))
        window->installEventFilter(new CCloseBlocker(window));
    // Changing window flags hides a shown window.
    if (wasVisible)
        window->show();
}

void CenterOnScreen(QWidget* window)
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!window || !screen)
        return;
    const QRect area = screen->geometry();
    window->move(area.x() + (area.width() - window->width()) / 2,
                 area.y() + (area.height() - window->height()) / 2);
}
