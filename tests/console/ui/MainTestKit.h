#pragma once

#include "console/ui/FMain.h"
#include "tests/kit/MessageCapture.h"
#include "tests/kit/TestFiles.h"
#include "tests/kit/WindowLookup.h"

#include <QTemporaryDir>

// A web root with the first page of the guide.
class CTestWebRoot final {
public:
    CTestWebRoot() { TestFiles::WriteText(Path() + "/help/index.html", "<html>Guide</html>\n"); }
    QString Path() const { return m_folder.filePath(QStringLiteral("wwwRoot")); }
    QString Missing() const { return m_folder.filePath(QStringLiteral("no-such-folder")); }

private:
    QTemporaryDir m_folder;
};

// A toolbar button by its key, a tray menu item by its index.
inline QAction* Button(const FMain& window, const QString& key)
{
    return WindowLookup::Child<QAction>(window, key);
}
inline QAction* Tray(const FMain& window, int index)
{
    return WindowLookup::Child<QAction>(window, QStringLiteral("mnuTray%1").arg(index));
}

// The window's commands, enabled (1) or not: the Connect, Browser and
// Options buttons, then the tray's Connect, Disconnect, Rescue and Browser.
inline QString Look(const FMain& window)
{
    QString look;
    for (const char* key : {FMain::kKeyConnect, FMain::kKeyBrowser, FMain::kKeyOptions})
        look += Button(window, QLatin1String(key))->isEnabled() ? '1' : '0';
    for (int item = FMain::kTrayConnect; item <= FMain::kTrayBrowser; ++item)
        look += Tray(window, item)->isEnabled() ? '1' : '0';
    return look;
}
