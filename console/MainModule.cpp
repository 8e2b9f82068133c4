#include "console/MainModule.h"

#include "console/cRunRulesValidator.h"
#include "platform/desktop/CX11WindowSystem.h"

namespace {

// Titles are read as into a 256-character buffer with its closing zero.
constexpr qsizetype kTitleBufferChars = 256;

std::unique_ptr<CWindowSystem>& DesktopWindowsSlot()
{
    static std::unique_ptr<CWindowSystem> windows;
    return windows;
}

} // namespace

std::unique_ptr<cRunRulesValidator> gRulesValidator;
QString gWindowTitleSought;
WindowHandle gFoundWindow = 0;

CWindowSystem& DesktopWindows()
{
    std::unique_ptr<CWindowSystem>& windows = DesktopWindowsSlot();
    if (!windows)
        windows = std::make_unique<CX11WindowSystem>();
    return *windows;
}

void SetDesktopWindows(std::unique_ptr<CWindowSystem> windows)
{
    DesktopWindowsSlot() = std::move(windows);
}

bool IsManagerRunning()
{
    gFoundWindow = 0;
    gWindowTitleSought = QLatin1String(kManagerTitleSought);
    DesktopWindows().EnumWindows(EnumWindowsProc, 0);
    return gFoundWindow != 0;
}

int EnumWindowsProc(WindowHandle window, qint32 /*extra*/)
{
    // A window that goes away while it is read, or any other failure here,
    // only means this window is not the one sought.
    try {
        const QString title =
            DesktopWindows().WindowTitle(window).left(kTitleBufferChars - 1).toUpper();
        if (title.contains(gWindowTitleSought, Qt::CaseSensitive)) {
            gFoundWindow = window;
            return 0;
        }
    } catch (...) {
    }
    return 1;
}
