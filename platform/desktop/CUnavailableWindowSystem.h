#pragma once

#include "platform/desktop/CWindowSystem.h"

// A desktop whose windows other programs cannot see: a Wayland session, where
// each program knows its own windows only. Nothing is listed and nothing can
// be activated, so a caller looking for a window goes on as if there were
// none (it opens the page again) instead of believing one was found.
class CUnavailableWindowSystem final : public CWindowSystem {
public:
    QList<WindowHandle> TopLevelWindows() override { return {}; }
    QString WindowTitle(WindowHandle) override { return {}; }
    bool ActivateWindow(WindowHandle) override { return false; }
};
