#include "console/browser/CEquipmentPages.h"

#include "console/browser/CDesktopPageOpener.h"

#include <QProcess>

CEquipmentPages::CEquipmentPages(QString browserPath, SPageLaunchers launchers)
    : m_browserPath(std::move(browserPath)), m_launchers(std::move(launchers))
{
}

SPageLaunchers
CEquipmentPages::DesktopLaunchers(std::function<WindowHandle(const QString&)> findWindow,
                                  std::function<bool(WindowHandle)> activateWindow)
{
    return {std::move(findWindow), std::move(activateWindow),
            [](const QString& program, const QStringList& arguments) {
                return QProcess::startDetached(program, arguments);
            },
            &CDesktopPageOpener::OpenEquipmentPage};
}

void CEquipmentPages::OpenEquipmentPage(const QUrl& url)
{
    m_launchers.openUrl(url);
}

void CEquipmentPages::ShowEquipmentPage(const QString& ipAddress, const QUrl& url)
{
    // The older interface titles its pages "http://ADDRESS - Link"; a browser
    // window showing one is already on this equipment.
    const QString sought =
        (QStringLiteral("HTTP://") + ipAddress + QStringLiteral(" - LINK")).toUpper();
    if (m_launchers.findWindow) {
        const WindowHandle window = m_launchers.findWindow(sought);
        if (window != 0 && m_launchers.activateWindow && m_launchers.activateWindow(window))
            return;
    }
    // A browser driven through an automation object has no counterpart here:
    // the default browser is started as a program on the URL.
    if (!m_browserPath.isEmpty()
        && m_launchers.startProgram(m_browserPath, {url.toString(QUrl::FullyEncoded)}))
        return;
    m_launchers.openUrl(url);
}
