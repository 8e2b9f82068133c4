#pragma once

#include "platform/desktop/CWindowSystem.h"

#include <QByteArray>

// The top-level windows of an X11 desktop, through the window manager's EWMH
// properties: _NET_CLIENT_LIST for the list, _NET_WM_NAME (or the older
// WM_NAME) for titles, _NET_ACTIVE_WINDOW to activate. Each call opens its own
// short connection to the display, so nothing is held between calls.
//
// Without an X display (none named, or a Wayland session without X) every
// list is empty and every title blank. Without an EWMH window manager there
// is no client list, so the list is empty as well.
class CX11WindowSystem final : public CWindowSystem {
public:
    // The display to ask; empty: the one $DISPLAY names.
    explicit CX11WindowSystem(QByteArray displayName = {});

    QList<WindowHandle> TopLevelWindows() override;
    QString WindowTitle(WindowHandle window) override;
    bool ActivateWindow(WindowHandle window) override;

private:
    QByteArray m_displayName;
};
