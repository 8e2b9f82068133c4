#include "platform/desktop/CX11WindowSystem.h"

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

} // namespace

CX11WindowSystem::CX11WindowSystem(QByteArray displayName) : m_displayName(std::move(displayName))
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
    // As a pager asks it: window managers honour such requests without the
    // focus-stealing checks they apply to applications.
    xcb_ewmh_request_change_active_window(connection.Ewmh(), connection.Screen(), window,
                                          XCB_EWMH_CLIENT_SOURCE_TYPE_OTHER, XCB_CURRENT_TIME,
                                          XCB_NONE);
    // A round trip, so that the request has reached the server when this returns.
    UniqueReply<xcb_get_input_focus_reply_t> focus(xcb_get_input_focus_reply(
        connection.Raw(), xcb_get_input_focus(connection.Raw()), nullptr));
    return focus && !xcb_connection_has_error(connection.Raw());
}
