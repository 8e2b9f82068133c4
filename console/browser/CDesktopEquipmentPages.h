#pragma once

#include "console/equipment/IEquipmentPages.h"

// The console's pages where no other opener is given: both interfaces open
// through the desktop's default handler. Bringing forward a browser window
// that already shows an older equipment is left to a window-aware opener.
class CDesktopEquipmentPages final : public IEquipmentPages {
public:
    CDesktopEquipmentPages() = default;

    void OpenEquipmentPage(const QUrl& url) override;
    void ShowEquipmentPage(const QString& ipAddress, const QUrl& url) override;
};
