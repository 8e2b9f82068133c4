#pragma once

#include "console/SStartupOptions.h"
#include "platform/desktop/CWindowSystem.h"
#include "platform/desktop/WindowHandle.h"

#include <QString>

#include <memory>

class CRaisedError;
class FMain;
class IEquipmentPages;
class cFtpServer;
class cRunRulesValidator;

// The console's start-up: the program-wide objects it makes and the search
// for the sibling manager's window.

// The one run-rules validator, made on first use by Main.
extern std::unique_ptr<cRunRulesValidator> gRulesValidator;
// The file server; empty when the sibling manager runs or the server could
// not start.
extern std::unique_ptr<cFtpServer> gFileServer;
// The main window; empty when a run rule failed.
extern std::unique_ptr<FMain> gMainForm;
// How the window's equipment pages reach the user; lives as long as the window.
extern std::unique_ptr<IEquipmentPages> gEquipmentPages;
// In and out of the top-level window search: the upper-case text sought in
// window titles, and the first window whose title held it (0: none).
extern QString gWindowTitleSought;
extern WindowHandle gFoundWindow;

// Texts of start-up's messages; every box is titled "Pelion".
inline constexpr const char* kCannotRun = "Impossible to run Pelion";
inline constexpr const char* kManagerRunning =
    "Warning! Orvane is currently running!\r\n"
    "Pelion Download capability will be guaranteed until Orvane will be terminated";

// The title text of the sibling network manager's main window.
inline constexpr const char* kManagerTitleSought = "ORVANE MANAGER";

// The console's start-up: the splash, the run rules, the file server (unless
// the sibling manager runs), the main window with the stored settings, at
// least options.splashMs with the splash up, then the main window shown.
// True when the start-up succeeded: the main window is open and the program
// lives on in it, or the tray's "Exit" during the splash has unloaded it
// already (gMainForm->IsUnloaded()) and the program is to end with status 0.
// False when a run rule failed and the program is to end.
bool Main(const SStartupOptions& options = SStartupOptions());

// Releases the objects Main made, the main window first; the instance lock
// goes last. Called once the program's event loop has ended.
void ReleaseStartupObjects();

// The message for a file server that could not start on the TFTP port: the
// system's reason, what fixes it, and that the console goes on without it.
QString FileServerFailureText(const CRaisedError& error, quint16 tftpPort);

// Whether the sibling network manager runs: a top-level window whose title,
// in upper case, holds "ORVANE MANAGER". Without a desktop it finds nothing.
bool IsManagerRunning();

// The first top-level window whose upper-cased title holds the upper-case
// text, through gWindowTitleSought and EnumWindowsProc; 0 when none does.
WindowHandle FindWindowTitled(const QString& upperText);

// The window search's step for one window: 0 (stop) when its upper-cased
// title holds gWindowTitleSought, which it then keeps in gFoundWindow;
// non-zero (go on) otherwise. extra is not read.
int EnumWindowsProc(WindowHandle window, qint32 extra);

// The desktop the window searches look at: the search the session allows (X11,
// or none to be had on Wayland) unless another one was put in its place.
CWindowSystem& DesktopWindows();
// Puts another desktop in place (tests); an empty one restores the session's.
void SetDesktopWindows(std::unique_ptr<CWindowSystem> windows);
