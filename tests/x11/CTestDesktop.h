#pragma once

#include "platform/desktop/CX11WindowSystem.h"

#include <QList>
#include <QPoint>
#include <QRect>
#include <QString>

#include <xcb/xcb.h>
#include <xcb/xcb_ewmh.h>

// What a test of whole programs needs of the X display it shares with them:
// windows by title, tray icons and popup menus, the close box's request, real
// mouse clicks (xdotool), and pictures kept in $PELION_ARTEFACTS.
class CTestDesktop final {
public:
    CTestDesktop();
    ~CTestDesktop();
    CTestDesktop(const CTestDesktop&) = delete;
    CTestDesktop& operator=(const CTestDesktop&) = delete;

    bool IsValid() const { return m_valid; }
    CX11WindowSystem& Windows() { return m_windows; }
    // Whether a notification area has claimed the screen's tray selection.
    bool HasTray();
    // The process's icons inside the notification area, in the order they were made.
    QList<xcb_window_t> TrayIcons(qint64 processId);
    // The top-level windows whose upper-cased title holds upperText.
    QList<WindowHandle> WindowsHolding(const QString& upperText);
    // The window the window manager reports as active; 0 when none.
    xcb_window_t ActiveWindow();
    // The window's area on the screen; empty when it is gone.
    QRect Geometry(xcb_window_t window);
    // Whether the window shows something drawn: text and pictures bring many colours.
    bool IsPainted(xcb_window_t window);
    // Saves a picture of the window (0: the whole screen) as the named artefact.
    bool Save(xcb_window_t window, const QString& name);
    // Asks the window manager to close the window, as its close box does.
    void RequestClose(xcb_window_t window);
    // A real mouse click through the X server, at a point of the window.
    bool Click(xcb_window_t window, const QPoint& at, int button);
    // Right-clicks the tray icon; the menu that opened, 0 when none did in time.
    xcb_window_t OpenMenu(xcb_window_t icon, qint64 processId);

private:
    QList<xcb_window_t> Children(xcb_window_t window);
    bool IsViewable(xcb_window_t window, bool* overrideRedirect = nullptr);
    qint64 ProcessOf(xcb_window_t window);

    CX11WindowSystem m_windows;
    xcb_connection_t* m_connection = nullptr;
    xcb_ewmh_connection_t m_ewmh{};
    int m_screen = 0;
    xcb_window_t m_root = 0;
    bool m_valid = false;
};
