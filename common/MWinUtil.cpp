#include "common/MWinUtil.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

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
