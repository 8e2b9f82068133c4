// Runs on a virtual X display with a window manager (tests/x11/run_on_display.sh
// --wm): real windows of this test and their titles. Activation is proved by
// the desktop scenario, which brings a browser window back to the front.

#include "platform/desktop/CX11WindowSystem.h"

#include <QGuiApplication>
#include <QWindow>
#include <QtTest>

#include <xcb/xcb.h>

#include <memory>

namespace {

std::unique_ptr<QWindow> ShowWindow(const QString& title, int x = 40)
{
    auto window = std::make_unique<QWindow>();
    window->setTitle(title);
    window->setGeometry(x, 60, 240, 120);
    window->show();
    return window;
}

// An X window made without Qt, with only the old WM_NAME title in Latin-1.
class CBareWindow final {
public:
    explicit CBareWindow(const QByteArray& latin1Title)
    {
        m_connection = xcb_connect(nullptr, nullptr);
        const xcb_setup_t* setup = xcb_get_setup(m_connection);
        const xcb_screen_t* screen = xcb_setup_roots_iterator(setup).data;
        m_window = xcb_generate_id(m_connection);
        xcb_create_window(m_connection, XCB_COPY_FROM_PARENT, m_window, screen->root, 10, 10, 200,
                          100, 1, XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
        xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, m_window, XCB_ATOM_WM_NAME,
                            XCB_ATOM_STRING, 8, static_cast<uint32_t>(latin1Title.size()),
                            latin1Title.constData());
        xcb_map_window(m_connection, m_window);
        xcb_flush(m_connection);
    }
    ~CBareWindow() { xcb_disconnect(m_connection); }
    CBareWindow(const CBareWindow&) = delete;
    CBareWindow& operator=(const CBareWindow&) = delete;

    WindowHandle Handle() const { return m_window; }

private:
    xcb_connection_t* m_connection = nullptr;
    xcb_window_t m_window = 0;
};

} // namespace

class tst_CX11WindowSystem final : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb")); }

    // The scenario lists pelion's own windows; here titles beyond its plain
    // ones, the old Latin-1 WM_NAME where there is no other, and the order.
    void listsWindowsWithTheirTitles()
    {
        CX11WindowSystem desktop;
        const auto first = ShowWindow("Überwachung – Gerät ✓");
        const auto second = ShowWindow(QString(300, QLatin1Char('t')), 140);
        CBareWindow bare("Caf\xe9 legacy title");
        const QList<WindowHandle> handles{static_cast<WindowHandle>(first->winId()),
                                          static_cast<WindowHandle>(second->winId()),
                                          bare.Handle()};
        for (const WindowHandle handle : handles)
            QTRY_VERIFY_WITH_TIMEOUT(desktop.TopLevelWindows().contains(handle), 10000);
        const QList<WindowHandle> listed = desktop.TopLevelWindows();
        QVERIFY(0 <= listed.indexOf(handles[0])
                && listed.indexOf(handles[0]) < listed.indexOf(handles[1]));
        QCOMPARE(desktop.WindowTitle(handles[0]), first->title());
        QCOMPARE(desktop.WindowTitle(handles[1]), second->title());
        QCOMPARE(desktop.WindowTitle(handles[2]), QStringLiteral("Café legacy title"));
    }

    // A display that does not exist (as none named without X): nothing is
    // found, though the window is on the real display.
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
