#include "tests/console/x11/CTestDesktop.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

// A tray icon is no bigger than this; the program's other windows are.
constexpr int kLargestIcon = 64;

struct SFree {
    void operator()(void* reply) const { std::free(reply); }
};
template <typename T> using Reply = std::unique_ptr<T, SFree>;

} // namespace

CTestDesktop::CTestDesktop()
{
    m_connection = xcb_connect(nullptr, &m_screen);
    if (xcb_connection_has_error(m_connection))
        return;
    xcb_intern_atom_cookie_t* cookies = xcb_ewmh_init_atoms(m_connection, &m_ewmh);
    m_valid = cookies && xcb_ewmh_init_atoms_replies(&m_ewmh, cookies, nullptr) == 1;
    if (m_valid)
        m_root = m_ewmh.screens[m_screen]->root;
}

CTestDesktop::~CTestDesktop()
{
    if (m_valid)
        xcb_ewmh_connection_wipe(&m_ewmh);
    xcb_disconnect(m_connection);
}

xcb_atom_t CTestDesktop::Atom(const char* name)
{
    const xcb_intern_atom_cookie_t cookie =
        xcb_intern_atom(m_connection, 0, static_cast<uint16_t>(std::strlen(name)), name);
    Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(m_connection, cookie, nullptr));
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

bool CTestDesktop::HasTray()
{
    if (!m_valid)
        return false;
    const QByteArray name = "_NET_SYSTEM_TRAY_S" + QByteArray::number(m_screen);
    const xcb_get_selection_owner_cookie_t cookie =
        xcb_get_selection_owner(m_connection, Atom(name.constData()));
    Reply<xcb_get_selection_owner_reply_t> reply(
        xcb_get_selection_owner_reply(m_connection, cookie, nullptr));
    return reply && reply->owner != XCB_WINDOW_NONE;
}

QList<xcb_window_t> CTestDesktop::Children(xcb_window_t window)
{
    QList<xcb_window_t> children;
    Reply<xcb_query_tree_reply_t> tree(
        xcb_query_tree_reply(m_connection, xcb_query_tree(m_connection, window), nullptr));
    if (!tree)
        return children;
    const xcb_window_t* first = xcb_query_tree_children(tree.get());
    for (int i = 0; i < xcb_query_tree_children_length(tree.get()); ++i)
        children.append(first[i]);
    return children;
}

bool CTestDesktop::IsViewable(xcb_window_t window, bool* overrideRedirect)
{
    Reply<xcb_get_window_attributes_reply_t> attributes(xcb_get_window_attributes_reply(
        m_connection, xcb_get_window_attributes(m_connection, window), nullptr));
    if (!attributes)
        return false;
    if (overrideRedirect)
        *overrideRedirect = attributes->override_redirect != 0;
    return attributes->map_state == XCB_MAP_STATE_VIEWABLE;
}

qint64 CTestDesktop::ProcessOf(xcb_window_t window)
{
    uint32_t pid = 0;
    const xcb_get_property_cookie_t cookie = xcb_ewmh_get_wm_pid(&m_ewmh, window);
    if (xcb_ewmh_get_wm_pid_reply(&m_ewmh, cookie, &pid, nullptr) != 1)
        return 0;
    return pid;
}

QList<xcb_window_t> CTestDesktop::TrayIcons(qint64 processId)
{
    QList<xcb_window_t> icons;
    if (!m_valid)
        return icons;
    // Icons sit inside the notification area's window, so the whole tree is
    // walked, not only the top level.
    QList<xcb_window_t> pending = Children(m_root);
    while (!pending.isEmpty()) {
        const xcb_window_t window = pending.takeFirst();
        if (!IsViewable(window))
            continue;
        const QRect area = Geometry(window);
        xcb_query_tree_reply_t* parentReply =
            xcb_query_tree_reply(m_connection, xcb_query_tree(m_connection, window), nullptr);
        const xcb_window_t parent =
            parentReply ? parentReply->parent : xcb_window_t(XCB_WINDOW_NONE);
        std::free(parentReply);
        if (parent != m_root && ProcessOf(window) == processId && area.width() <= kLargestIcon
            && area.height() <= kLargestIcon)
            icons.append(window);
        pending.append(Children(window));
    }
    // A client's window numbers grow as it makes them.
    std::sort(icons.begin(), icons.end());
    return icons;
}

QList<xcb_window_t> CTestDesktop::PopupMenus(qint64 processId)
{
    QList<xcb_window_t> menus;
    if (!m_valid)
        return menus;
    // A popup menu is a window of the program's own that the window manager
    // leaves alone; the window type does not tell it from others.
    for (const xcb_window_t window : Children(m_root)) {
        bool overrideRedirect = false;
        if (!IsViewable(window, &overrideRedirect) || !overrideRedirect
            || ProcessOf(window) != processId)
            continue;
        const QRect area = Geometry(window);
        if (area.width() > kLargestIcon || area.height() > kLargestIcon)
            menus.append(window);
    }
    return menus;
}

QRect CTestDesktop::Geometry(xcb_window_t window)
{
    Reply<xcb_get_geometry_reply_t> geometry(
        xcb_get_geometry_reply(m_connection, xcb_get_geometry(m_connection, window), nullptr));
    if (!geometry)
        return {};
    Reply<xcb_translate_coordinates_reply_t> origin(xcb_translate_coordinates_reply(
        m_connection, xcb_translate_coordinates(m_connection, window, m_root, 0, 0), nullptr));
    if (!origin)
        return {};
    return QRect(origin->dst_x, origin->dst_y, geometry->width, geometry->height);
}

void CTestDesktop::RequestClose(xcb_window_t window)
{
    if (!m_valid)
        return;
    xcb_ewmh_request_close_window(&m_ewmh, m_screen, window, XCB_CURRENT_TIME,
                                  XCB_EWMH_CLIENT_SOURCE_TYPE_OTHER);
    xcb_flush(m_connection);
}
