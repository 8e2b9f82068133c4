#include "tests/x11/CTestDesktop.h"

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QProcess>
#include <QScreen>
#include <QSet>
#include <QTest>

#include <algorithm>
#include <cstdlib>
#include <memory>

namespace {

// A tray icon is no bigger than this; the programs' other windows are.
constexpr int kLargestIcon = 64;

struct SFree {
    void operator()(void* reply) const { std::free(reply); }
};
template <typename T> using Reply = std::unique_ptr<T, SFree>;

QImage Grab(const QRect& area)
{
    return QGuiApplication::primaryScreen()
        ->grabWindow(0, area.x(), area.y(), area.width(), area.height())
        .toImage();
}

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

bool CTestDesktop::HasTray()
{
    const QByteArray name = "_NET_SYSTEM_TRAY_S" + QByteArray::number(m_screen);
    Reply<xcb_intern_atom_reply_t> atom(xcb_intern_atom_reply(
        m_connection, xcb_intern_atom(m_connection, 0, uint16_t(name.size()), name.constData()),
        nullptr));
    Reply<xcb_get_selection_owner_reply_t> owner(xcb_get_selection_owner_reply(
        m_connection, xcb_get_selection_owner(m_connection, atom ? atom->atom : 0), nullptr));
    return owner && owner->owner != XCB_WINDOW_NONE;
}

QList<xcb_window_t> CTestDesktop::Children(xcb_window_t window)
{
    Reply<xcb_query_tree_reply_t> tree(
        xcb_query_tree_reply(m_connection, xcb_query_tree(m_connection, window), nullptr));
    if (!tree)
        return {};
    const xcb_window_t* first = xcb_query_tree_children(tree.get());
    return QList<xcb_window_t>(first, first + xcb_query_tree_children_length(tree.get()));
}

bool CTestDesktop::IsViewable(xcb_window_t window, bool* overrideRedirect)
{
    Reply<xcb_get_window_attributes_reply_t> attributes(xcb_get_window_attributes_reply(
        m_connection, xcb_get_window_attributes(m_connection, window), nullptr));
    if (attributes && overrideRedirect)
        *overrideRedirect = attributes->override_redirect != 0;
    return attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
}

qint64 CTestDesktop::ProcessOf(xcb_window_t window)
{
    uint32_t pid = 0;
    return xcb_ewmh_get_wm_pid_reply(&m_ewmh, xcb_ewmh_get_wm_pid(&m_ewmh, window), &pid, nullptr)
               ? pid
               : 0;
}

QList<xcb_window_t> CTestDesktop::TrayIcons(qint64 processId)
{
    QList<xcb_window_t> icons;
    // Icons sit inside the notification area's windows, below the top level.
    QList<xcb_window_t> pending;
    for (const xcb_window_t top : Children(m_root))
        pending.append(Children(top));
    while (!pending.isEmpty()) {
        const xcb_window_t window = pending.takeFirst();
        if (!IsViewable(window))
            continue;
        const QRect area = Geometry(window);
        if (ProcessOf(window) == processId && area.width() <= kLargestIcon
            && area.height() <= kLargestIcon)
            icons.append(window);
        pending.append(Children(window));
    }
    // A client's window numbers grow as it makes them.
    std::sort(icons.begin(), icons.end());
    return icons;
}

QList<WindowHandle> CTestDesktop::WindowsHolding(const QString& upperText)
{
    QList<WindowHandle> found;
    for (const WindowHandle window : m_windows.TopLevelWindows()) {
        if (m_windows.WindowTitle(window).toUpper().contains(upperText))
            found.append(window);
    }
    return found;
}

xcb_window_t CTestDesktop::ActiveWindow()
{
    xcb_window_t active = 0;
    return xcb_ewmh_get_active_window_reply(&m_ewmh, xcb_ewmh_get_active_window(&m_ewmh, m_screen),
                                            &active, nullptr)
               ? active
               : 0;
}

QRect CTestDesktop::Geometry(xcb_window_t window)
{
    Reply<xcb_get_geometry_reply_t> geometry(
        xcb_get_geometry_reply(m_connection, xcb_get_geometry(m_connection, window), nullptr));
    Reply<xcb_translate_coordinates_reply_t> origin(xcb_translate_coordinates_reply(
        m_connection, xcb_translate_coordinates(m_connection, window, m_root, 0, 0), nullptr));
    if (!geometry || !origin)
        return {};
    return QRect(origin->dst_x, origin->dst_y, geometry->width, geometry->height);
}

bool CTestDesktop::IsPainted(xcb_window_t window)
{
    const QImage image = Grab(Geometry(window));
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); y += 2) {
        for (int x = 0; x < image.width(); x += 2)
            colours.insert(image.pixel(x, y));
    }
    return colours.size() > 16;
}

bool CTestDesktop::Save(xcb_window_t window, const QString& name)
{
    const QString folder = qEnvironmentVariable("PELION_ARTEFACTS", QDir::tempPath());
    const QImage image =
        window ? Grab(Geometry(window)) : QGuiApplication::primaryScreen()->grabWindow(0).toImage();
    return QDir().mkpath(folder) && image.save(QDir(folder).filePath(name));
}

void CTestDesktop::RequestClose(xcb_window_t window)
{
    xcb_ewmh_request_close_window(&m_ewmh, m_screen, window, XCB_CURRENT_TIME,
                                  XCB_EWMH_CLIENT_SOURCE_TYPE_OTHER);
    xcb_flush(m_connection);
}

bool CTestDesktop::Click(xcb_window_t window, const QPoint& at, int button)
{
    QProcess xdotool;
    xdotool.start(QStringLiteral("xdotool"),
                  {"mousemove", "--window", QString::number(window), QString::number(at.x()),
                   QString::number(at.y()), "click", QString::number(button)});
    return xdotool.waitForFinished(10000) && xdotool.exitCode() == 0;
}

xcb_window_t CTestDesktop::OpenMenu(xcb_window_t icon, qint64 processId)
{
    // A popup menu is a window of the program's own that the window manager
    // leaves alone; the window type does not tell it from others.
    const auto menu = [&]() -> xcb_window_t {
        for (const xcb_window_t window : Children(m_root)) {
            bool overrideRedirect = false;
            const QRect area = Geometry(window);
            if (IsViewable(window, &overrideRedirect) && overrideRedirect
                && ProcessOf(window) == processId && area.width() > kLargestIcon
                && IsPainted(window))
                return window;
        }
        return 0;
    };
    // The tray host may take an icon in only after it shows, and a click before
    // that reaches nothing: click again until a menu opens.
    for (int attempt = 0; attempt < 5; ++attempt) {
        const QRect area = Geometry(icon);
        if (!Click(icon, QPoint(area.width() / 2, area.height() / 2), 3))
            return 0;
        if (QTest::qWaitFor([&] { return menu() != 0; }, 3000))
            return menu();
    }
    return 0;
}
