#pragma once

#include "platform/desktop/CWindowSystem.h"
#include "platform/desktop/WindowHandle.h"

#include <QString>

#include <memory>

class cRunRulesValidator;

// The console's start-up: the program-wide objects it makes and the search
// for the sibling manager's window.

// The one run-rules validator, made on first use by Main.
extern std::unique_ptr<cRunRulesValidator> gRulesValidator;
// In and out of the top-level window search: the upper-case text sought in
// window titles, and the first window whose title held it (0: none).
extern QString gWindowTitleSought;
extern WindowHandle gFoundWindow;

// The title text of the sibling network manager's main window.
inline constexpr const char* kManagerTitleSought = "ORVANE MANAGER";

// Whether the sibling network manager runs: a top-level window whose title,
// in upper case, holds "ORVANE MANAGER". Without a desktop it finds nothing.
bool IsManagerRunning();

// The window search's step for one window: 0 (stop) when its upper-cased
// title holds gWindowTitleSought, which it then keeps in gFoundWindow;
// non-zero (go on) otherwise. extra is not read.
int EnumWindowsProc(WindowHandle window, qint32 extra);

// The desktop the window searches look at: the X11 desktop unless another
// one was put in its place.
CWindowSystem& DesktopWindows();
// Puts another desktop in place (tests); an empty one restores the X11 desktop.
void SetDesktopWindows(std::unique_ptr<CWindowSystem> windows);
