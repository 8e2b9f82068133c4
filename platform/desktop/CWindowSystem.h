#pragma once

#include "platform/desktop/WindowHandle.h"

#include <QList>
#include <QString>

#include <functional>

// The desktop's top-level windows, as the console needs them: list them, read
// a title, bring one to the front. CX11WindowSystem is the real one; tests put
// their own in its place.
class CWindowSystem {
public:
    virtual ~CWindowSystem() = default;

    // The top-level windows in the order the window manager keeps them (the
    // order they were mapped); empty without a desktop.
    virtual QList<WindowHandle> TopLevelWindows() = 0;

    // The window's title; empty when it has none or is gone.
    virtual QString WindowTitle(WindowHandle window) = 0;

    // Asks the window manager to bring the window to the front and give it the
    // focus; false when the request could not be made.
    virtual bool ActivateWindow(WindowHandle window) = 0;

    // Calls proc for each top-level window in turn, with extra passed through,
    // until proc returns 0.
    void EnumWindows(const std::function<int(WindowHandle, qint32)>& proc, qint32 extra)
    {
        for (const WindowHandle window : TopLevelWindows()) {
            if (proc(window, extra) == 0)
                return;
        }
    }

protected:
    CWindowSystem() = default;
    CWindowSystem(const CWindowSystem&) = default;
    CWindowSystem& operator=(const CWindowSystem&) = default;
};
