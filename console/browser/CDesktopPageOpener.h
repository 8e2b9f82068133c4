#pragma once

#include <QUrl>

// Opens an equipment's page with the desktop's default handler for "http"
// URLs. The program's IEquipmentPages uses it for OpenEquipmentPage, and for
// ShowEquipmentPage when no default browser program is known.
//
// A default browser driven through an automation object (the path ending in
// "IEXPLORE.EXE") has no counterpart on this platform: every browser is
// started as a program or through the desktop.
class CDesktopPageOpener final {
public:
    // Hands the URL to the desktop; whether it opened is not checked, the
    // user sees the browser or nothing.
    static void OpenEquipmentPage(const QUrl& url);
};
