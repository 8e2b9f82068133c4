#pragma once

#include <QList>
#include <QRect>
#include <QtGlobal>

#include <xcb/xcb.h>
#include <xcb/xcb_ewmh.h>

// What a test of a whole program needs of the X display that the program
// shares with it, beyond the window list: the program's tray icons, the
// popup menus on screen, window geometry, and a close request as the close
// box makes it.
class CTestDesktop final {
public:
    CTestDesktop();
    ~CTestDesktop();
    CTestDesktop(const CTestDesktop&) = delete;
    CTestDesktop& operator=(const CTestDesktop&) = delete;

    bool IsValid() const { return m_valid; }

    // Whether a notification area has claimed the screen's tray selection.
    bool HasTray();

    // The process's tray icons on screen (small mapped windows of its own
    // inside the notification area), in the order they were made.
    QList<xcb_window_t> TrayIcons(qint64 processId);

    // The process's popup menus on screen.
    QList<xcb_window_t> PopupMenus(qint64 processId);

    // The window's area on the screen; empty when it is gone.
    QRect Geometry(xcb_window_t window);

    // Asks the window manager to close the window, as its close box does.
    void RequestClose(xcb_window_t window);

private:
    QList<xcb_window_t> Children(xcb_window_t window);
    bool IsViewable(xcb_window_t window, bool* overrideRedirect = nullptr);
    qint64 ProcessOf(xcb_window_t window);
    xcb_atom_t Atom(const char* name);

    xcb_connection_t* m_connection = nullptr;
    xcb_ewmh_connection_t m_ewmh{};
    int m_screen = 0;
    xcb_window_t m_root = 0;
    bool m_valid = false;
};
