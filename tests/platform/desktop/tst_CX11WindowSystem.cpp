// On a virtual display with a window manager; activation is the desktop scenario's.

#include "platform/desktop/CX11WindowSystem.h"

#include <QGuiApplication>
#include <QWindow>
#include <QtTest>

#include <xcb/xcb.h>

#include <memory>
#include <utility>

namespace {

std::unique_ptr<QWindow> ShowWindow(const QString& title, int x = 40)
{
    auto window = std::make_unique<QWindow>();
    window->setTitle(title);
    window->setGeometry(x, 60, 240, 120);
    window->show();
    return window;
}

using CXcbConnection = std::unique_ptr<xcb_connection_t, decltype(&xcb_disconnect)>;

// A window made without Qt with only a Latin-1 WM_NAME; it goes with its connection.
std::pair<CXcbConnection, WindowHandle> ShowBareWindow(const QByteArray& latin1Title)
{
    CXcbConnection connection(xcb_connect(nullptr, nullptr), &xcb_disconnect);
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection.get())).data;
    const xcb_window_t window = xcb_generate_id(connection.get());
    xcb_create_window(connection.get(), XCB_COPY_FROM_PARENT, window, screen->root, 10, 10, 200,
                      100, 1, XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
    xcb_change_property(connection.get(), XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_NAME,
                        XCB_ATOM_STRING, 8, static_cast<uint32_t>(latin1Title.size()),
                        latin1Title.constData());
    xcb_map_window(connection.get(), window);
    xcb_flush(connection.get());
    return {std::move(connection), window};
}

} // namespace

class tst_CX11WindowSystem final : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb")); }

    // Titles beyond pelion's plain ones, a Latin-1 WM_NAME alone, and the order.
    void listsWindowsWithTheirTitles()
    {
        CX11WindowSystem desktop;
        const auto first = ShowWindow("Überwachung – Gerät ✓");
        const auto second = ShowWindow(QString(300, QLatin1Char('t')), 140);
        const auto bare = ShowBareWindow("Caf\xe9 legacy title");
        const QList<WindowHandle> handles{static_cast<WindowHandle>(first->winId()),
                                          static_cast<WindowHandle>(second->winId()), bare.second};
        for (const WindowHandle handle : handles)
            QTRY_VERIFY_WITH_TIMEOUT(desktop.TopLevelWindows().contains(handle), 10000);
        const QList<WindowHandle> listed = desktop.TopLevelWindows();
        QVERIFY(0 <= listed.indexOf(handles[0])
                && listed.indexOf(handles[0]) < listed.indexOf(handles[1]));
        QCOMPARE(desktop.WindowTitle(handles[0]), first->title());
        QCOMPARE(desktop.WindowTitle(handles[1]), second->title());
        QCOMPARE(desktop.WindowTitle(handles[2]), QStringLiteral("Café legacy title"));
    }

    // A display that does not exist: nothing is found, though the window is on the real one.
    void withoutADisplayNothingIsFound()
    {
        const auto window = ShowWindow(QStringLiteral("present on the real display"));
        const auto handle = static_cast<WindowHandle>(window->winId());
        CX11WindowSystem desktop(":64999");
        QVERIFY(desktop.TopLevelWindows().isEmpty());
        QVERIFY(desktop.WindowTitle(handle).isEmpty());
        QVERIFY(!desktop.ActivateWindow(handle));
    }
};

QTEST_MAIN(tst_CX11WindowSystem)
#include "tst_CX11WindowSystem.moc"
