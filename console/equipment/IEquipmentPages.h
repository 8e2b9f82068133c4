#pragma once

#include <QString>
#include <QUrl>

// How the console puts the user in front of an equipment's pages, once it
// knows which web interface the equipment runs. The program's implementation
// opens the browser; tests record the URLs asked for.
class IEquipmentPages {
public:
    virtual ~IEquipmentPages() = default;

    // Newer interface (and the rescue bridge page): opens the URL with the
    // desktop's default handler.
    virtual void OpenEquipmentPage(const QUrl& url) = 0;

    // Older interface: brings forward a browser window already showing the
    // equipment (its title holds "http://" + address + " - Link"), else opens
    // the URL in the default browser.
    virtual void ShowEquipmentPage(const QString& ipAddress, const QUrl& url) = 0;

protected:
    IEquipmentPages() = default;
    IEquipmentPages(const IEquipmentPages&) = default;
    IEquipmentPages& operator=(const IEquipmentPages&) = default;
};
