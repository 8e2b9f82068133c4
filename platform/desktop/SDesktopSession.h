#pragma once

#include "platform/desktop/CWindowSystem.h"

#include <QProcessEnvironment>
#include <QString>

#include <memory>

// What the program knows of the desktop it runs on, enough to tell whether
// other programs' windows can be searched.
struct SDesktopSession {
    enum class EWindowSearch { X11, NotAvailable };

    QString qtPlatform;     // the platform plug-in the program's windows use
    QString display;        // $DISPLAY
    QString waylandDisplay; // $WAYLAND_DISPLAY
    QString sessionType;    // $XDG_SESSION_TYPE

    static SDesktopSession FromEnvironment(const QProcessEnvironment& environment,
                                           QString qtPlatform);

    // How other programs' windows can be found on this desktop.
    EWindowSearch WindowSearch() const;

    // The window search for this desktop.
    std::unique_ptr<CWindowSystem> MakeWindowSystem() const;
};
