#include "console/browser/CDesktopPageOpener.h"

#include <QDesktopServices>

void CDesktopPageOpener::OpenEquipmentPage(const QUrl& url)
{
    QDesktopServices::openUrl(url);
}
