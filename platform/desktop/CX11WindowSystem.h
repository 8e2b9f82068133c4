#pragma once

#include "platform/desktop/CWindowSystem.h"

#include <QByteArray>

// The top-level windows of an X11 desktop, through the window manager's EWMH
// properties: _NET_CLIENT_LIST for the list, _NET_WM_NAME (or the older
// WM_NAME) for titles, _NET_ACTIVE_WINDOW to activate. Each call opens its own
// short connection to the display, so nothing is held between calls.
//
// An activation counts only once the window manager has made the window the
// active one. Some (XWayland's, and managers that guard against programs
// taking the focus) only mark the window as demanding attention; that, or no
// change within a short wait, is an activation not done.
//
// Without an X display (none named, or a Wayland session without X) every
// list is empty and every title blank. Without an EWMH window manager there
// is no client list, so the list is empty as well.
class CX11WindowSystem final : public CWindowSystem {
public:
    static constexpr int kActivationWaitMs = 1500;

    // The display to ask; empty: the one $DISPLAY names. activationWaitMs:
    // how long ActivateWindow waits for the window manager to act.
    explicit CX11WindowSystem(QByteArray displayName = {},
                              int activationWaitMs = kActivationWaitMs);

    QList<WindowHandle> TopLevelWindows() override;
    QString WindowTitle(WindowHandle window) override;
    // True once the window is the active one; false when the window manager
    // only marked it urgent, or did nothing within the wait.
    bool ActivateWindow(WindowHandle window) override;

private:
    QByteArray m_displayName;
    int m_activationWaitMs;
};
