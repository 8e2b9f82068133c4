// Runs on a virtual X display with a window manager (tests/x11/run_on_display.sh
// --wm): real windows of this test, their titles as the window manager lists
// them, and activation.

#include "platform/desktop/CX11WindowSystem.h"

#include <QGuiApplication>
#include <QWindow>
#include <QtTest>

#include <xcb/xcb.h>

#include <memory>
#include <vector>

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

    // Windows are listed in the order they came up, with their titles as
    // they were set, and leave the list when closed.
    void listsWindowsWithTheirTitles()
    {
        CX11WindowSystem desktop;
        const QString titles[] = {"FTP Monitor", "xx Orvane Manager yy", "Überwachung – Gerät ✓",
                                  QString(300, QLatin1Char('t'))};
        std::vector<std::unique_ptr<QWindow>> windows;
        QList<WindowHandle> handles;
        for (const QString& title : titles) {
            windows.push_back(ShowWindow(title, 40 + 100 * int(windows.size())));
            handles << static_cast<WindowHandle>(windows.back()->winId());
            QTRY_VERIFY_WITH_TIMEOUT(desktop.TopLevelWindows().contains(handles.last()), 10000);
            QCOMPARE(desktop.WindowTitle(handles.last()), title);
        }
        const QList<WindowHandle> listed = desktop.TopLevelWindows();
        for (int i = 1; i < handles.size(); ++i)
            QVERIFY(listed.indexOf(handles[i - 1]) < listed.indexOf(handles[i]));

        windows.front().reset();
        QTRY_VERIFY_WITH_TIMEOUT(!desktop.TopLevelWindows().contains(handles[0]), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(desktop.WindowTitle(handles[0]), QString(), 10000);
    }

    void oldStyleTitleIsReadWhenThereIsNoOther()
    {
        CX11WindowSystem desktop;
        CBareWindow bare("Caf\xe9 legacy title");
        QTRY_VERIFY_WITH_TIMEOUT(desktop.TopLevelWindows().contains(bare.Handle()), 10000);
        QCOMPARE(desktop.WindowTitle(bare.Handle()), QStringLiteral("Café legacy title"));
    }

    void activationBringsTheWindowForward()
    {
        CX11WindowSystem desktop;
        const auto first = ShowWindow(QStringLiteral("one"));
        const auto second = ShowWindow(QStringLiteral("two"), 400);
        QVERIFY(QTest::qWaitForWindowExposed(first.get()));
        QVERIFY(QTest::qWaitForWindowExposed(second.get()));
        for (QWindow* window : {first.get(), second.get(), first.get()}) {
            QVERIFY(desktop.ActivateWindow(static_cast<WindowHandle>(window->winId())));
            QTRY_COMPARE_WITH_TIMEOUT(QGuiApplication::focusWindow(), window, 10000);
        }
    }

    void withoutADisplayNothingIsFound_data()
    {
        QTest::addColumn<QByteArray>("displayName");
        QTest::addColumn<bool>("unsetDisplay");
        QTest::newRow("display that does not exist") << QByteArray(":64999") << false;
        QTest::newRow("no display named (a session without X)") << QByteArray() << true;
    }
    void withoutADisplayNothingIsFound()
    {
        QFETCH(QByteArray, displayName);
        QFETCH(bool, unsetDisplay);
        const auto window = ShowWindow(QStringLiteral("present on the real display"));
        const QByteArray saved = qgetenv("DISPLAY");
        if (unsetDisplay)
            qunsetenv("DISPLAY");
        CX11WindowSystem desktop(displayName);
        const QList<WindowHandle> windows = desktop.TopLevelWindows();
        const QString title = desktop.WindowTitle(static_cast<WindowHandle>(window->winId()));
        const bool activated = desktop.ActivateWindow(static_cast<WindowHandle>(window->winId()));
        qputenv("DISPLAY", saved);
        QVERIFY(windows.isEmpty());
        QCOMPARE(title, QString());
        QVERIFY(!activated);
    }
};

QTEST_MAIN(tst_CX11WindowSystem)
#include "tst_CX11WindowSystem.moc"
