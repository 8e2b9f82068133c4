// tallis-serve: hosts the file server component on its own, for people who
// want only the file server and for benchmarks and interop tests.

#include "common/CRaisedError.h"
#include "common/messages/CMessageService.h"
#include "fileserver/cFtpServer.h"
#include "platform/system/CTerminationWatcher.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>
#include <memory>
#include <optional>

namespace {

const char* const kVersion = "1.2.4";

QTextStream& Out()
{
    static QTextStream out(stdout);
    return out;
}

QTextStream& Err()
{
    static QTextStream err(stderr);
    return err;
}

// One line of output, flushed at once so that a reading program sees it.
void Say(const QString& line)
{
    Out() << line << Qt::endl;
}

struct SServeArguments {
    SFtpServerOptions options;
};

std::optional<quint16> ParsePort(const QString& text)
{
    bool ok = false;
    const uint value = text.toUInt(&ok);
    if (!ok || value > 65535)
        return std::nullopt;
    return static_cast<quint16>(value);
}

// Reads the command line; --help and --version answer and end the program here.
std::optional<SServeArguments> ParseArguments(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Serves a folder over FTP (active data connections) and TFTP."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption root(QStringLiteral("root"),
                                  QStringLiteral("Folder to serve (default: the current folder)."),
                                  QStringLiteral("DIR"));
    const QCommandLineOption ftpPort(
        QStringLiteral("ftp-port"),
        QStringLiteral("FTP control port (default 21; 0: any free port)."), QStringLiteral("N"),
        QStringLiteral("21"));
    const QCommandLineOption ftpDataPort(
        QStringLiteral("ftp-data-port"),
        QStringLiteral("Local port of FTP data connections (default 20; 0: any free port)."),
        QStringLiteral("N"), QStringLiteral("20"));
    const QCommandLineOption tftpPort(QStringLiteral("tftp-port"),
                                      QStringLiteral("TFTP port (default 69; 0: any free port)."),
                                      QStringLiteral("N"), QStringLiteral("69"));
    const QCommandLineOption noTray(QStringLiteral("no-tray"),
                                    QStringLiteral("Run without a tray icon or any window."));
    parser.addOptions({root, ftpPort, ftpDataPort, tftpPort, noTray});
    parser.process(arguments);

    SServeArguments result;
    result.options.servedFolder = parser.value(root);
    const auto ftp = ParsePort(parser.value(ftpPort));
    const auto ftpData = ParsePort(parser.value(ftpDataPort));
    const auto tftp = ParsePort(parser.value(tftpPort));
    if (!ftp || !ftpData || !tftp) {
        Err() << "tallis-serve: a port is a number from 0 to 65535" << Qt::endl;
        return std::nullopt;
    }
    result.options.ftpPort = *ftp;
    result.options.ftpDataPort = *ftpData;
    result.options.tftpPort = *tftp;
    result.options.trayIcon = !parser.isSet(noTray);
    return result;
}

// Whether the program shows a tray icon: not when asked not to, not for a
// question such as --help, and not where no display is there to show it on.
bool WantsTray(int argc, char* argv[])
{
    for (int i = 1; i < argc; ++i) {
        const QByteArray argument(argv[i]);
        if (argument == "--no-tray" || argument == "--help" || argument == "-h"
            || argument == "--help-all" || argument == "--version" || argument == "-v")
            return false;
    }
    return qEnvironmentVariableIsSet("DISPLAY") || qEnvironmentVariableIsSet("WAYLAND_DISPLAY")
           || qEnvironmentVariableIsSet("QT_QPA_PLATFORM");
}

// Prints what the server does, one line per event.
void Report(cFtpServer& server)
{
    QObject::connect(
        &server, &cFtpServer::OnNewFtpSession, &server,
        [](const QString& id, const QString& host, int, int count) {
            Say(QStringLiteral("FTP session %1 opened from %2 (%3 open)").arg(id, host).arg(count));
        });
    QObject::connect(
        &server, &cFtpServer::OnCloseFtpSession, &server,
        [](const QString& id, const QString& host, int count) {
            Say(QStringLiteral("FTP session %1 from %2 closed (%3 open)").arg(id, host).arg(count));
        });
    QObject::connect(&server, &cFtpServer::OnInitRetrive, &server,
                     [](const QString& id, const QString&, int, const QString& file) {
                         Say(QStringLiteral("FTP session %1 sending %2").arg(id, file));
                     });
    QObject::connect(&server, &cFtpServer::OnInitStore, &server,
                     [](const QString& id, const QString&, int, const QString& file) {
                         Say(QStringLiteral("FTP session %1 storing %2").arg(id, file));
                     });
    QObject::connect(&server, &cFtpServer::OnSessionStatusChange, &server,
                     [](const QString& id, const QString&, int status) {
                         if (status == 0)
                             Say(QStringLiteral("FTP session %1 transfer ended").arg(id));
                     });
}

} // namespace

int main(int argc, char* argv[])
{
    // Without a tray there is no window at all, and no display is needed.
    const bool tray = WantsTray(argc, argv);
    std::unique_ptr<QCoreApplication> app;
    if (tray)
        app = std::make_unique<QApplication>(argc, argv);
    else
        app = std::make_unique<QCoreApplication>(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tallis-serve"));
    QCoreApplication::setApplicationVersion(QLatin1String(kVersion));

    std::optional<SServeArguments> arguments = ParseArguments(QCoreApplication::arguments());
    if (!arguments)
        return 2;
    if (arguments->options.trayIcon && !tray) {
        Err() << "tallis-serve: no display; running without a tray icon" << Qt::endl;
        arguments->options.trayIcon = false;
    }

    // Without windows, messages go to the terminal; the exit code tells the failures.
    if (!arguments->options.trayIcon) {
        CMessageService::SetHandler([](const SMessage& message) {
            Err() << message.title << ": " << message.text << Qt::endl;
            return EMessageResult::Ok;
        });
    }

    std::unique_ptr<cFtpServer> server;
    try {
        server = CreateFtpServer(arguments->options);
    } catch (const CRaisedError& error) {
        Err() << "tallis-serve: cannot serve TFTP on port " << arguments->options.tftpPort << ": "
              << error.Description() << Qt::endl;
        return 1;
    }
    Say(QStringLiteral("TFTP listening on port %1").arg(server->TftpPort()));

    int exitCode = 0;
    QObject::connect(server.get(), &cFtpServer::FtpListenerFailed, app.get(),
                     [&exitCode, &arguments](int, const QString& description) {
                         Err() << "tallis-serve: cannot serve FTP on port "
                               << arguments->options.ftpPort << ": " << description << Qt::endl;
                         exitCode = 1;
                         QCoreApplication::exit(1);
                     });
    QObject::connect(server.get(), &cFtpServer::OnTrayEvent, app.get(), [&server](TrayEvents code) {
        if (code == TrayShowMon)
            server->SetEnableMonitor(true);
        else if (code == TrayExit)
            QCoreApplication::quit();
    });
    Report(*server);

    CTerminationWatcher termination;
    QObject::connect(&termination, &CTerminationWatcher::TerminationRequested, app.get(),
                     [] { QCoreApplication::quit(); });

    server->SetEnableExitMenu(true);
    server->SetEnable(true);
    if (server->FtpPort() != 0)
        Say(QStringLiteral("FTP listening on port %1").arg(server->FtpPort()));

    const int loopCode = QCoreApplication::exec();
    server->CloseMe();
    server.reset();
    return exitCode != 0 ? exitCode : loopCode;
}
