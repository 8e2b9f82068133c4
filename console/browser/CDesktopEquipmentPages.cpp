#include "console/browser/CDesktopEquipmentPages.h"

#include "console/browser/CDesktopPageOpener.h"

void CDesktopEquipmentPages::OpenEquipmentPage(const QUrl& url)
{
    CDesktopPageOpener::OpenEquipmentPage(url);
}

void CDesktopEquipmentPages::ShowEquipmentPage(const QString&, const QUrl& url)
{
    CDesktopPageOpener::OpenEquipmentPage(url);
}
