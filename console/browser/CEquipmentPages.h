#pragma once

#include "console/equipment/IEquipmentPages.h"
#include "platform/desktop/WindowHandle.h"

#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>

// How the program's pages reach the user: what the desktop offers, each
// replaceable so that tests see what was asked for.
struct SPageLaunchers {
    // The first top-level window whose upper-cased title holds the text; 0: none.
    std::function<WindowHandle(const QString& upperText)> findWindow;
    // Brings the window to the front; false when that could not be asked.
    std::function<bool(WindowHandle window)> activateWindow;
    // Starts a program on its own (it outlives the console); false when it
    // could not be started.
    std::function<bool(const QString& program, const QStringList& arguments)> startProgram;
    // Hands a URL to the desktop's default handler.
    std::function<void(const QUrl& url)> openUrl;
};

// The console's way to the equipment's pages. The newer interface opens in the
// desktop's default handler. The older one reuses a browser window already on
// the equipment (its title holds "HTTP://" + address + " - LINK" in upper
// case), else starts the default browser on the URL, else hands the URL to the
// desktop.
class CEquipmentPages final : public IEquipmentPages {
public:
    // browserPath is the default browser program found by the run rules, with
    // its real case; empty when none was found.
    CEquipmentPages(QString browserPath, SPageLaunchers launchers);

    // The desktop's own launchers for a program: openUrl and startProgram are
    // the real ones; the window search is the caller's.
    static SPageLaunchers DesktopLaunchers(std::function<WindowHandle(const QString&)> findWindow,
                                           std::function<bool(WindowHandle)> activateWindow);

    void OpenEquipmentPage(const QUrl& url) override;
    void ShowEquipmentPage(const QString& ipAddress, const QUrl& url) override;

private:
    QString m_browserPath;
    SPageLaunchers m_launchers;
};
