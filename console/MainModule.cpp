#include "console/MainModule.h"

#include "common/CRaisedError.h"
#include "common/MWinUtil.h"
#include "common/messages/CMessageService.h"
#include "console/browser/CEquipmentPages.h"
#include "console/cRunRulesValidator.h"
#include "console/settings/MSettings.h"
#include "console/ui/FMain.h"
#include "console/ui/FSplash.h"
#include "console/ui/MLoadSettings.h"
#include "fileserver/cFtpServer.h"
#include "platform/desktop/SDesktopSession.h"
#include "platform/sockets/MSocketError.h"

#include <QApplication>
#include <QCursor>
#include <QProcessEnvironment>

namespace {

// Titles are read as into a 256-character buffer with its closing zero.
constexpr qsizetype kTitleBufferChars = 256;

void ShowStartupMessage(const QString& text, EMessageIcon icon, QWidget* splash)
{
    // Over the splash, so that the window manager keeps the box in front of it.
    CMessageService::Show({text, QLatin1String(kApplicationTitle), icon, EMessageButtons::Ok},
                          splash);
}

// Step 7: the file server, or none when its port cannot be had. The console
// is still useful without it (address book, browser, dial-up), so a failure
// is told once and the start-up goes on.
std::unique_ptr<cFtpServer> CreateFileServer(const SFtpServerOptions& options, QWidget* splash)
{
    try {
        return CreateFtpServer(options);
    } catch (const CRaisedError& error) {
        ShowStartupMessage(FileServerFailureText(error, options.tftp.port),
                           EMessageIcon::Exclamation, splash);
    }
    return nullptr;
}

std::unique_ptr<CWindowSystem>& DesktopWindowsSlot()
{
    static std::unique_ptr<CWindowSystem> windows;
    return windows;
}

} // namespace

std::unique_ptr<cRunRulesValidator> gRulesValidator;
std::unique_ptr<cFtpServer> gFileServer;
std::unique_ptr<FMain> gMainForm;
std::unique_ptr<IEquipmentPages> gEquipmentPages;
QString gWindowTitleSought;
WindowHandle gFoundWindow = 0;

CWindowSystem& DesktopWindows()
{
    std::unique_ptr<CWindowSystem>& windows = DesktopWindowsSlot();
    if (!windows)
        windows = SDesktopSession::FromEnvironment(QProcessEnvironment::systemEnvironment(),
                                                   QGuiApplication::platformName())
                      .MakeWindowSystem();
    return *windows;
}

void SetDesktopWindows(std::unique_ptr<CWindowSystem> windows)
{
    DesktopWindowsSlot() = std::move(windows);
}

bool IsManagerRunning()
{
    return FindWindowTitled(QLatin1String(kManagerTitleSought)) != 0;
}

WindowHandle FindWindowTitled(const QString& upperText)
{
    gFoundWindow = 0;
    gWindowTitleSought = upperText;
    DesktopWindows().EnumWindows(EnumWindowsProc, 0);
    return gFoundWindow;
}

int EnumWindowsProc(WindowHandle window, qint32 /*extra*/)
{
    // A window that goes away while it is read, or any other failure here,
    // only means this window is not the one sought.
    try {
        const QString title =
            DesktopWindows().WindowTitle(window).left(kTitleBufferChars - 1).toUpper();
        if (title.contains(gWindowTitleSought, Qt::CaseSensitive)) {
            gFoundWindow = window;
            return 0;
        }
    } catch (...) {
    }
    return 1;
}

QString FileServerFailureText(const CRaisedError& error, quint16 tftpPort)
{
    QString reason = error.Description().trimmed();
    if (reason.endsWith(QLatin1Char('.')))
        reason.chop(1);
    QString text = QStringLiteral("The file server could not start on UDP port %1: %2.\r\n")
                       .arg(tftpPort)
                       .arg(reason);
    switch (error.Number()) {
    case kSockAccessDenied:
        text += QStringLiteral(
            "Ports below 1024 need the network capabilities: start Pelion with scripts/run.sh, "
            "which grants them, or see \"Without capabilities\" in the README.\r\n");
        break;
    case kSockAddressInUse:
        text += QStringLiteral("Another program is using the port (a TFTP service of the "
                               "system, or a file server still running): stop it and restart "
                               "Pelion.\r\n");
        break;
    default: break;
    }
    return text + QStringLiteral("Pelion goes on without the file server.");
}

bool Main(const SStartupOptions& options)
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    auto splash = std::make_unique<FSplash>();
    splash->show();
    QCoreApplication::processEvents();

    if (!gRulesValidator) {
        SRunRulesOptions rules = options.rules;
        rules.connectionType = [] { return static_cast<qint32>(gConnType); };
        gRulesValidator = std::make_unique<cRunRulesValidator>(std::move(rules));
    }
    const qint32 result = gRulesValidator->Run();
    if (result != cRunRulesValidator::kErrOk) {
        ShowStartupMessage(QLatin1String(kCannotRun) + QStringLiteral("\r\n(")
                               + gRulesValidator->GetLastErrDescr() + QLatin1Char(')'),
                           EMessageIcon::Critical, splash.get());
    } else {
        if (IsManagerRunning()) {
            ShowStartupMessage(QLatin1String(kManagerRunning), EMessageIcon::Critical,
                               splash.get());
        } else {
            // Read here: the server is made before the window loads the settings.
            SFtpServerOptions fileServer = options.fileServer;
            if (ExtendedFtpChosen(CSettingsStore()))
                fileServer.ftp.extended = true;
            gFileServer = CreateFileServer(fileServer, splash.get());
        }

        // The equipment's pages through this desktop: its windows, and the
        // default browser the run rules found.
        gEquipmentPages = std::make_unique<CEquipmentPages>(
            gRulesValidator->DefaultInternetBrowser(),
            CEquipmentPages::DesktopLaunchers(FindWindowTitled, [](WindowHandle window) {
                return DesktopWindows().ActivateWindow(window);
            }));

        SMainOptions mainOptions;
        mainOptions.fileServer = gFileServer.get();
        mainOptions.pages = gEquipmentPages.get();
        mainOptions.isManagerRunning = IsManagerRunning;
        if (options.helpPort)
            mainOptions.helpPort = *options.helpPort;
        gMainForm = std::make_unique<FMain>(std::move(mainOptions));
        LoadSettings(*gMainForm);
    }

    Pause(static_cast<std::uint32_t>(options.splashMs), false);
    splash.reset();
    QApplication::restoreOverrideCursor();
    QCoreApplication::processEvents();

    if (!gMainForm)
        return false;
    // "Exit" from the tray during the splash: the program ends as soon as
    // the start-up is over, without the window ever showing.
    if (gMainForm->IsUnloaded())
        return true;
    gMainForm->SetToolButtonEnabled(QLatin1String(FMain::kKeyRemove), false);
    gMainForm->SetToolButtonEnabled(QLatin1String(FMain::kKeyEdit), false);
    // A later start, refused, is the user looking for this window. One during
    // the splash needs nothing: the window shows just below.
    QObject::connect(&gRulesValidator->InstanceChannel(), &CInstanceChannel::ShowRequested,
                     gMainForm.get(), &FMain::ShowMainWindow);
    gMainForm->show();
    return true;
}

void ReleaseStartupObjects()
{
    gMainForm.reset();
    gEquipmentPages.reset();
    gFileServer.reset();
    gRulesValidator.reset();
}
