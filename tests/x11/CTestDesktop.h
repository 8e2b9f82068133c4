#pragma once

#include "platform/desktop/CX11WindowSystem.h"

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QProcess>
#include <QRect>
#include <QRegularExpression>
#include <QScreen>
#include <QSet>
#include <QTest>

#include <algorithm>

// What a test of whole programs needs of their X display: windows by title, tray icons and
// menus, the window manager's close, real clicks (xdotool), pictures in $PELION_ARTEFACTS.
class CTestDesktop final {
public:
    CX11WindowSystem& Windows() { return m_windows; }

    // What xdotool prints, split at blanks and "="; empty when it failed.
    static QStringList Xdotool(const QStringList& arguments)
    {
        QProcess xdotool;
        xdotool.start(QStringLiteral("xdotool"), arguments);
        if (!xdotool.waitForFinished(10000) || xdotool.exitCode() != 0)
            return {};
        return QString::fromLatin1(xdotool.readAllStandardOutput())
            .split(QRegularExpression(QStringLiteral("[\\s=]+")), Qt::SkipEmptyParts);
    }

    // The process's viewable windows in the order they were made; maxDepth 1: top level only.
    QList<WindowHandle> WindowsOf(qint64 processId, int maxDepth = -1)
    {
        QList<WindowHandle> found;
        for (const QString& window :
             Xdotool({"search", "--maxdepth", QString::number(maxDepth), "--onlyvisible", "--pid",
                      QString::number(processId)}))
            found << window.toUInt();
        std::sort(found.begin(), found.end());
        return found;
    }
    // The process's icons inside the notification area: no bigger than an icon.
    QList<WindowHandle> TrayIcons(qint64 processId)
    {
        QList<WindowHandle> icons = WindowsOf(processId);
        icons.removeIf([this](WindowHandle window) {
            const QRect area = Geometry(window);
            return area.isEmpty() || area.width() > kLargestIcon || area.height() > kLargestIcon;
        });
        return icons;
    }
    QList<WindowHandle> WindowsHolding(const QString& upperText)
    {
        QList<WindowHandle> found = m_windows.TopLevelWindows();
        found.removeIf([&](WindowHandle w) {
            return !m_windows.WindowTitle(w).toUpper().contains(upperText);
        });
        return found;
    }
    WindowHandle ActiveWindow() { return Xdotool({"getactivewindow"}).value(0).toUInt(); }
    // The window's area on the screen; empty when it is gone.
    QRect Geometry(WindowHandle window)
    {
        const QStringList v = Xdotool({"getwindowgeometry", "--shell", QString::number(window)});
        return v.size() < 10 ? QRect()
                             : QRect(v[3].toInt(), v[5].toInt(), v[7].toInt(), v[9].toInt());
    }
    // Whether the window shows something drawn: text and pictures bring many colours.
    bool IsPainted(WindowHandle window)
    {
        const QImage image = Grab(window);
        QSet<QRgb> colours;
        for (int y = 0; y < image.height(); y += 2)
            for (int x = 0; x < image.width(); x += 2)
                colours.insert(image.pixel(x, y));
        return colours.size() > 16;
    }
    // Saves a picture of the window (0: the whole screen) as the named artefact.
    bool Save(WindowHandle window, const QString& name)
    {
        const QDir folder(qEnvironmentVariable("PELION_ARTEFACTS", QDir::tempPath()));
        return folder.mkpath(".") && Grab(window).save(folder.filePath(name));
    }
    // Whether an xdotool command that prints nothing ran: "getmouselocation" prints.
    static bool Run(QStringList a) { return !Xdotool(a << "getmouselocation").isEmpty(); }
    // Closes the window as its user does, with the window manager's Alt+F4.
    bool RequestClose(WindowHandle window)
    {
        return Run({"windowactivate", "--sync", QString::number(window), "key", "alt+F4"});
    }
    bool Click(WindowHandle window, const QPoint& at, int button)
    {
        return Run({"mousemove", "--window", QString::number(window), QString::number(at.x()),
                    QString::number(at.y()), "click", QString::number(button)});
    }
    // Right-clicks the tray icon; the menu that opened, 0 when none did in time.
    WindowHandle OpenMenu(WindowHandle icon, qint64 processId)
    {
        // A popup menu: a top-level window of the program's own, bigger than an icon.
        const auto menu = [&] {
            for (const WindowHandle window : WindowsOf(processId, 1))
                if (Geometry(window).width() > kLargestIcon && IsPainted(window))
                    return window;
            return WindowHandle{0};
        };
        // A click before the tray host takes the icon in reaches nothing: click until a menu opens.
        for (int attempt = 0; attempt < 5; ++attempt) {
            const QRect area = Geometry(icon);
            if (!Click(icon, QPoint(area.width() / 2, area.height() / 2), 3))
                return 0;
            if (QTest::qWaitFor([&] { return menu() != 0; }, 3000))
                return menu();
        }
        return 0;
    }

private:
    // A tray icon is no bigger than this; the programs' other windows are.
    static constexpr int kLargestIcon = 64;

    QImage Grab(WindowHandle window)
    {
        const QRect area = window ? Geometry(window) : QRect(0, 0, -1, -1);
        return QGuiApplication::primaryScreen()
            ->grabWindow(0, area.x(), area.y(), area.width(), area.height())
            .toImage();
    }

    CX11WindowSystem m_windows;
};
