// pelion-book-bench [LOAD [REMOVAL]]: the address book at its size,
// offscreen, in a settings folder of its own. Prints "load_ms N rows R": a
// book of LOAD entries (default the full 32,767) read from the store into the
// main window's list and the window shown; and "remove_ms N": the first entry
// of a book of REMOVAL entries (default 3,000) removed from the store. See
// bench/address_book.sh.

#include "console/settings/CIpAddressBook.h"
#include "console/settings/CSettingsStore.h"
#include "console/settings/MSettings.h"
#include "console/ui/FMain.h"
#include "console/ui/MLoadSettings.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QSettings>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <cstdio>
#include <cstdlib>

namespace {

constexpr int kFullBook = 32767;
constexpr int kRemovalBook = 3000;

// A book size from the command line: 1 to the full book, else the default.
int Size(int argc, char* argv[], int index, int fallback)
{
    const int size = argc > index ? std::atoi(argv[index]) : 0;
    return size >= 1 && size <= kFullBook ? size : fallback;
}

// Entries 0 to count-1, every address a distinct dotted one, in one write.
void WriteBook(const QString& file, int count)
{
    QSettings store(file, QSettings::IniFormat);
    store.clear();
    for (int i = 0; i < count; ++i) {
        store.setValue(QStringLiteral("Ip Address Book/%1IpAddress").arg(i),
                       QStringLiteral("10.%1.%2.1").arg(i / 256).arg(i % 256));
        store.setValue(QStringLiteral("Ip Address Book/%1Description").arg(i),
                       QStringLiteral("Rack %1").arg(i));
    }
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir folder;
    if (!folder.isValid())
        return 1;
    qputenv("XDG_CONFIG_HOME", folder.filePath(QStringLiteral("user")).toUtf8());
    qputenv("XDG_CONFIG_DIRS", folder.filePath(QStringLiteral("system")).toUtf8());
    QApplication app(argc, argv);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope,
                       folder.filePath(QStringLiteral("user")));
    QSettings::setPath(QSettings::IniFormat, QSettings::SystemScope,
                       folder.filePath(QStringLiteral("system")));
    const QString file = CSettingsStore().FileName();

    WriteBook(file, Size(argc, argv, 1, kFullBook));
    {
        SMainOptions options;
        options.helpPort = 0;
        options.notifierHost = [] { return false; };
        options.trayAvailable = [] { return false; };
        options.openUrl = [](const QUrl&) { return true; };
        FMain window(options);
        QElapsedTimer timer;
        timer.start();
        LoadSettings(window);
        window.show();
        QCoreApplication::processEvents();
        const qint64 elapsed = timer.elapsed();
        const int rows =
            window.findChild<QTreeWidget*>(QStringLiteral("lvwIpAdd"))->topLevelItemCount();
        std::printf("load_ms %lld rows %d\n", static_cast<long long>(elapsed), rows);
        window.Unload();
    }

    WriteBook(file, Size(argc, argv, 2, kRemovalBook));
    CSettingsStore store;
    qint16 count = 0;
    CIpAddressBook book(store, count);
    book.Load();
    QElapsedTimer timer;
    timer.start();
    book.Remove(0);
    std::printf("remove_ms %lld entries %d\n", static_cast<long long>(timer.elapsed()), int(count));
    return 0;
}
