// pelion: the console program. Its only argument is --version; see
// SStartupOptions for the environment variables that tests and benchmarks set.

#include "console/CMessageLog.h"
#include "console/MainModule.h"
#include "console/SStartupOptions.h"
#include "console/ui/FMain.h"
#include "platform/system/CTerminationWatcher.h"

#include <QApplication>
#include <QProcessEnvironment>
#include <QSettings>

#include <cstdio>
#include <cstring>

namespace {

// The status of a start that a run rule refused.
constexpr int kRefusedStatus = 1;

} // namespace

int main(int argc, char* argv[])
{
    // Answered before any window exists, so it needs no display.
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::puts("pelion " PELION_VERSION);
        return 0;
    }
    QApplication app(argc, argv);
    // The console lives on in the tray with its window hidden; it ends
    // through the main window's "Exit" (or SIGTERM), never by a last close.
    QApplication::setQuitOnLastWindowClosed(false);

    const SStartupOptions options =
        SStartupOptions::FromEnvironment(QProcessEnvironment::systemEnvironment());
    if (!options.messageLog.isEmpty())
        CMessageLog::Install(options.messageLog);
    if (!options.systemSettingsFolder.isEmpty()) {
        QSettings::setPath(QSettings::IniFormat, QSettings::SystemScope,
                           options.systemSettingsFolder);
    }

    // SIGTERM and SIGINT end the console as "Exit" does, whether its window
    // shows or sits in the tray. One that comes during the start-up unloads
    // the window as the tray's "Exit" would (the address book's load stops
    // there), or, before the window exists, once Main has returned.
    bool endRequested = false;
    CTerminationWatcher termination;
    QObject::connect(&termination, &CTerminationWatcher::TerminationRequested, &app, [&] {
        endRequested = true;
        if (gMainForm)
            gMainForm->Unload();
    });

    int status = kRefusedStatus;
    if (Main(options)) {
        status = 0;
        if (endRequested || gMainForm->IsUnloaded()) {
            gMainForm->Unload();
        } else {
            status = QApplication::exec();
        }
    }
    ReleaseStartupObjects();
    return status;
}
