// On a virtual display with a window manager; activation by a real one is the desktop
// scenario's, here a stand-in answers the request as managers do that withhold the focus.

#include "platform/desktop/CX11WindowSystem.h"
#include "platform/desktop/SDesktopSession.h"

#include <QGuiApplication>
#include <QWindow>
#include <QtTest>

#include <poll.h>
#include <xcb/xcb.h>
#include <xcb/xcb_ewmh.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <thread>
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

// Answers the first request to activate its own (override-redirect, so the real manager leaves
// it alone) window as told: "active", "urgent" (demands attention) or "nothing". Own thread and
// connection, for ActivateWindow waits on the test's. The real manager may still be taking the
// focus from the windows of a test before and write "none active" late; an "active" answer is
// then written again, as a manager that grants the focus keeps it granted.
class CActivationAnswer final {
public:
    explicit CActivationAnswer(QByteArray answer) : m_answer(std::move(answer))
    {
        m_connection = xcb_connect(nullptr, &m_screenNumber);
        xcb_ewmh_init_atoms_replies(&m_ewmh, xcb_ewmh_init_atoms(m_connection, &m_ewmh), nullptr);
        const xcb_screen_t* screen = m_ewmh.screens[m_screenNumber];
        m_window = xcb_generate_id(m_connection);
        const uint32_t overrideRedirect = 1;
        xcb_create_window(m_connection, XCB_COPY_FROM_PARENT, m_window, screen->root, 0, 0, 50, 50,
                          0, XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual,
                          XCB_CW_OVERRIDE_REDIRECT, &overrideRedirect);
        xcb_map_window(m_connection, m_window);
        // Window numbers come back with a later connection: none is active to begin with.
        xcb_ewmh_set_active_window(&m_ewmh, m_screenNumber, XCB_NONE);
        const uint32_t requests =
            XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_PROPERTY_CHANGE;
        xcb_change_window_attributes(m_connection, screen->root, XCB_CW_EVENT_MASK, &requests);
        free(xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr));
        m_thread = std::thread([this] { Answer(); });
    }
    ~CActivationAnswer()
    {
        m_stop = true;
        m_thread.join();
        xcb_ewmh_connection_wipe(&m_ewmh);
        xcb_disconnect(m_connection);
    }
    CActivationAnswer(const CActivationAnswer&) = delete;
    CActivationAnswer& operator=(const CActivationAnswer&) = delete;

    WindowHandle Window() const { return m_window; }

private:
    void Answer()
    {
        constexpr int kStopCheckMs = 50; // how soon the destructor's stop is seen
        constexpr int kMostGrants = 20;  // a manager that fights back does not loop for ever
        QDeadlineTimer deadline(10000);
        pollfd descriptor{xcb_get_file_descriptor(m_connection), POLLIN, 0};
        bool answered = false;
        int grants = 0;
        while (!deadline.hasExpired() && !m_stop) {
            xcb_generic_event_t* event = xcb_poll_for_event(m_connection);
            if (!event) {
                poll(&descriptor, 1, std::min(kStopCheckMs, int(deadline.remainingTime())));
                continue;
            }
            const int type = event->response_type & 0x7f;
            const auto* message = reinterpret_cast<xcb_client_message_event_t*>(event);
            const bool asked = type == XCB_CLIENT_MESSAGE
                               && message->type == m_ewmh._NET_ACTIVE_WINDOW
                               && message->window == m_window;
            const auto* property = reinterpret_cast<xcb_property_notify_event_t*>(event);
            const bool activeChanged =
                type == XCB_PROPERTY_NOTIFY && property->atom == m_ewmh._NET_ACTIVE_WINDOW;
            free(event);
            if (asked && !answered) {
                answered = true;
                if (m_answer == "urgent")
                    xcb_ewmh_set_wm_state(&m_ewmh, m_window, 1,
                                          &m_ewmh._NET_WM_STATE_DEMANDS_ATTENTION);
            }
            if (answered && m_answer == "active" && (asked || activeChanged)
                && ActiveWindow() != m_window && grants++ < kMostGrants)
                xcb_ewmh_set_active_window(&m_ewmh, m_screenNumber, m_window);
            xcb_flush(m_connection);
        }
    }
    xcb_window_t ActiveWindow()
    {
        xcb_window_t active = XCB_NONE;
        xcb_ewmh_get_active_window_reply(
            &m_ewmh, xcb_ewmh_get_active_window(&m_ewmh, m_screenNumber), &active, nullptr);
        return active;
    }

    QByteArray m_answer;
    xcb_connection_t* m_connection = nullptr;
    xcb_ewmh_connection_t m_ewmh{};
    int m_screenNumber = 0;
    xcb_window_t m_window = 0;
    std::atomic<bool> m_stop = false;
    std::thread m_thread;
};

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

    // Only a window made the active one counts as activated; an activation left undone is
    // known only when the wait is over, the others at once.
    void activationIsWhatTheWindowManagerDid_data()
    {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<bool>("activated");
        QTest::addColumn<int>("waitMs");
        QTest::newRow("made active") << QByteArray("active") << true << 10000;
        QTest::newRow("only marked urgent") << QByteArray("urgent") << false << 10000;
        QTest::newRow("left as it was") << QByteArray("nothing") << false << 300;
    }
    void activationIsWhatTheWindowManagerDid()
    {
        QFETCH(QByteArray, answer);
        QFETCH(bool, activated);
        QFETCH(int, waitMs);
        const CActivationAnswer manager(answer);
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(CX11WindowSystem({}, waitMs).ActivateWindow(manager.Window()), activated);
        QCOMPARE(clock.elapsed() >= waitMs, answer == "nothing");
    }

    // Which search each session gets; where there is none, the test's own window stays unseen.
    void windowSearchFollowsTheSession_data()
    {
        QTest::addColumn<QString>("session"); // platform, DISPLAY, WAYLAND_DISPLAY, session type
        QTest::addColumn<bool>("x11");
        QTest::newRow("X11 program on a Wayland session (XWayland)")
            << "xcb|:0|wayland-1|wayland" << true;
        QTest::newRow("Wayland program, session type unset") << "wayland-egl||wayland-1|" << false;
        QTest::newRow("offscreen on X11") << "offscreen|:0||" << true;
        QTest::newRow("offscreen on Wayland with XWayland") << "offscreen|:0||wayland" << false;
        QTest::newRow("offscreen, Wayland display named") << "offscreen|:0|wayland-0|" << false;
        QTest::newRow("no display at all") << "offscreen|||tty" << false;
    }
    void windowSearchFollowsTheSession()
    {
        QFETCH(QString, session);
        QFETCH(bool, x11);
        const QStringList v = session.split('|');
        const SDesktopSession desktop{v[0], v[1], v[2], v[3]};
        QCOMPARE(desktop.WindowSearch() == SDesktopSession::EWindowSearch::X11, x11);
        const auto window = ShowWindow(QStringLiteral("seen where windows can be searched"));
        const auto handle = static_cast<WindowHandle>(window->winId());
        QTRY_VERIFY_WITH_TIMEOUT(CX11WindowSystem().TopLevelWindows().contains(handle), 10000);
        const std::unique_ptr<CWindowSystem> search = desktop.MakeWindowSystem();
        QCOMPARE(search->TopLevelWindows().contains(handle), x11);
        QCOMPARE(search->WindowTitle(handle), x11 ? window->title() : QString());
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
