#include "platform/desktop/SDesktopSession.h"

#include "platform/desktop/CUnavailableWindowSystem.h"
#include "platform/desktop/CX11WindowSystem.h"

SDesktopSession SDesktopSession::FromEnvironment(const QProcessEnvironment& environment,
                                                 QString qtPlatform)
{
    return {std::move(qtPlatform), environment.value(QStringLiteral("DISPLAY")),
            environment.value(QStringLiteral("WAYLAND_DISPLAY")),
            environment.value(QStringLiteral("XDG_SESSION_TYPE")).toLower()};
}

// A program whose own windows are native Wayland ones is on a Wayland
// session, where the browser is too: its windows cannot be listed by others,
// and an X server beside it (XWayland) shows only the X programs. A program
// that is itself an X client searches its X server: a browser there is found,
// and an activation its window manager only marks urgent is told apart. Other
// plug-ins (offscreen, a bare frame buffer) say nothing of the session, so the
// session's own variables decide: Wayland named, or no X display, means there
// is nothing to search.
SDesktopSession::EWindowSearch SDesktopSession::WindowSearch() const
{
    if (qtPlatform.startsWith(QLatin1String("wayland")))
        return EWindowSearch::NotAvailable;
    if (qtPlatform == QLatin1String("xcb"))
        return EWindowSearch::X11;
    const bool wayland = !waylandDisplay.isEmpty() || sessionType == QLatin1String("wayland");
    return wayland || display.isEmpty() ? EWindowSearch::NotAvailable : EWindowSearch::X11;
}

std::unique_ptr<CWindowSystem> SDesktopSession::MakeWindowSystem() const
{
    if (WindowSearch() == EWindowSearch::X11)
        return std::make_unique<CX11WindowSystem>();
    return std::make_unique<CUnavailableWindowSystem>();
}
