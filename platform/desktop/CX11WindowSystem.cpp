#include "platform/desktop/CX11WindowSystem.h"

#include <QDeadlineTimer>

#include <poll.h>
#include <xcb/xcb.h>
#include <xcb/xcb_ewmh.h>

#include <cstdlib>
#include <memory>

namespace {

// Longest title read, in bytes; titles are short, and a longer one is cut.
constexpr uint32_t kTitleReadBytes = 4096;

struct SReplyDeleter {
    void operator()(void* reply) const { std::free(reply); }
};
template <typename T> using UniqueReply = std::unique_ptr<T, SReplyDeleter>;

// One connection to the display with the EWMH atoms interned; invalid when
// the display cannot be reached.
class CConnection final {
public:
    explicit CConnection(const QByteArray& displayName)
    {
        m_connection =
            xcb_connect(displayName.isEmpty() ? nullptr : displayName.constData(), &m_screen);
        if (xcb_connection_has_error(m_connection))
            return;
        xcb_intern_atom_cookie_t* cookies = xcb_ewmh_init_atoms(m_connection, &m_ewmh);
        m_valid = cookies && xcb_ewmh_init_atoms_replies(&m_ewmh, cookies, nullptr) == 1;
        m_ewmhReady = m_valid;
    }

    ~CConnection()
    {
        if (m_ewmhReady)
            xcb_ewmh_connection_wipe(&m_ewmh);
        xcb_disconnect(m_connection);
    }

    CConnection(const CConnection&) = delete;
    CConnection& operator=(const CConnection&) = delete;

    bool IsValid() const { return m_valid; }
    xcb_connection_t* Raw() const { return m_connection; }
    xcb_ewmh_connection_t* Ewmh() { return &m_ewmh; }
    int Screen() const { return m_screen; }
    xcb_window_t Root() { return m_ewmh.screens[m_screen]->root; }

private:
    xcb_connection_t* m_connection = nullptr;
    xcb_ewmh_connection_t m_ewmh{};
    int m_screen = 0;
    bool m_valid = false;
    bool m_ewmhReady = false;
};

// The older ICCCM title, in the encoding its type names.
QString ReadWmName(CConnection& connection, WindowHandle window)
{
    const xcb_get_property_cookie_t cookie =
        xcb_get_property(connection.Raw(), 0, window, XCB_ATOM_WM_NAME, XCB_GET_PROPERTY_TYPE_ANY,
                         0, kTitleReadBytes / 4);
    UniqueReply<xcb_get_property_reply_t> reply(
        xcb_get_property_reply(connection.Raw(), cookie, nullptr));
    if (!reply || reply->format != 8)
        return {};
    const char* value = static_cast<const char*>(xcb_get_property_value(reply.get()));
    const int length = xcb_get_property_value_length(reply.get());
    if (reply->type == connection.Ewmh()->UTF8_STRING)
        return QString::fromUtf8(value, length);
    // STRING is Latin-1; compound text is read as Latin-1 too, which keeps
    // its ASCII part, all a search of titles needs.
    return QString::fromLatin1(value, length);
}

enum class EActivation { Active, Urgent, Pending };

EActivation ReadActivation(CConnection& connection, WindowHandle window)
{
    xcb_ewmh_connection_t* ewmh = connection.Ewmh();
    xcb_window_t active = XCB_NONE;
    if (xcb_ewmh_get_active_window_reply(
            ewmh, xcb_ewmh_get_active_window(ewmh, connection.Screen()), &active, nullptr)
            == 1
        && active == window)
        return EActivation::Active;
    xcb_ewmh_get_atoms_reply_t states{};
    if (xcb_ewmh_get_wm_state_reply(ewmh, xcb_ewmh_get_wm_state(ewmh, window), &states, nullptr)
        != 1)
        return EActivation::Pending;
    bool urgent = false;
    for (uint32_t i = 0; i < states.atoms_len; ++i)
        urgent = urgent || states.atoms[i] == ewmh->_NET_WM_STATE_DEMANDS_ATTENTION;
    xcb_ewmh_get_atoms_reply_wipe(&states);
    return urgent ? EActivation::Urgent : EActivation::Pending;
}

// Waits until an event comes or the deadline passes; the events themselves
// are dropped, each only says that a property may have changed. False when
// the deadline has passed or the connection broke.
bool WaitForEvent(CConnection& connection, const QDeadlineTimer& deadline)
{
    bool arrived = false;
    while (xcb_generic_event_t* event = xcb_poll_for_event(connection.Raw())) {
        std::free(event);
        arrived = true;
    }
    if (arrived)
        return true;
    const qint64 remaining = deadline.remainingTime();
    if (remaining <= 0 || xcb_connection_has_error(connection.Raw()))
        return false;
    pollfd descriptor{xcb_get_file_descriptor(connection.Raw()), POLLIN, 0};
    return ::poll(&descriptor, 1, static_cast<int>(remaining)) >= 0;
}

} // namespace

CX11WindowSystem::CX11WindowSystem(QByteArray displayName, int activationWaitMs)
    : m_displayName(std::move(displayName)), m_activationWaitMs(activationWaitMs)
{
}

QList<WindowHandle> CX11WindowSystem::TopLevelWindows()
{
    QList<WindowHandle> windows;
    CConnection connection(m_displayName);
    if (!connection.IsValid())
        return windows;
    xcb_ewmh_get_windows_reply_t clients{};
    const xcb_get_property_cookie_t cookie =
        xcb_ewmh_get_client_list(connection.Ewmh(), connection.Screen());
    if (xcb_ewmh_get_client_list_reply(connection.Ewmh(), cookie, &clients, nullptr) != 1)
        return windows;
    windows.reserve(static_cast<qsizetype>(clients.windows_len));
    for (uint32_t i = 0; i < clients.windows_len; ++i)
        windows.append(clients.windows[i]);
    xcb_ewmh_get_windows_reply_wipe(&clients);
    return windows;
}

QString CX11WindowSystem::WindowTitle(WindowHandle window)
{
    CConnection connection(m_displayName);
    if (!connection.IsValid() || window == 0)
        return {};
    xcb_ewmh_get_utf8_strings_reply_t name{};
    const xcb_get_property_cookie_t cookie = xcb_ewmh_get_wm_name(connection.Ewmh(), window);
    if (xcb_ewmh_get_wm_name_reply(connection.Ewmh(), cookie, &name, nullptr) == 1) {
        QString title = QString::fromUtf8(name.strings, static_cast<qsizetype>(name.strings_len));
        xcb_ewmh_get_utf8_strings_reply_wipe(&name);
        if (!title.isEmpty())
            return title;
    }
    return ReadWmName(connection, window);
}

bool CX11WindowSystem::ActivateWindow(WindowHandle window)
{
    CConnection connection(m_displayName);
    if (!connection.IsValid() || window == 0)
        return false;
    // Told of every change of the active window and of the window's state.
    const uint32_t watch = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_change_window_attributes(connection.Raw(), connection.Root(), XCB_CW_EVENT_MASK, &watch);
    xcb_change_window_attributes(connection.Raw(), window, XCB_CW_EVENT_MASK, &watch);
    // As a pager asks it: window managers honour such requests without the
    // focus-stealing checks they apply to applications.
    xcb_ewmh_request_change_active_window(connection.Ewmh(), connection.Screen(), window,
                                          XCB_EWMH_CLIENT_SOURCE_TYPE_OTHER, XCB_CURRENT_TIME,
                                          XCB_NONE);
    xcb_flush(connection.Raw());
    const QDeadlineTimer deadline(m_activationWaitMs);
    // Each turn either took events or waited out the deadline; the count
    // only bounds a display that sends events without end.
    constexpr int kMaxTurns = 1000;
    for (int turn = 0; turn < kMaxTurns; ++turn) {
        switch (ReadActivation(connection, window)) {
        case EActivation::Active: return true;
        case EActivation::Urgent: return false;
        case EActivation::Pending: break;
        }
        if (!WaitForEvent(connection, deadline))
            return false;
    }
    return false;
}
