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

// What the command line asks for, read once before the application exists:
// whether it may have windows decides which application that is.
struct SServeArguments {
    SFtpServerOptions options;
    QString error; // the parser's complaint; empty when it understood
    bool version = false;
    bool help = false; // --help or --help-all
    bool badPort = false;
    bool badPassivePorts = false;
    bool badRollover = false;
    QString badAddress; // a --listen value that is no IP address
};

std::optional<quint16> ParsePort(const QString& text)
{
    bool ok = false;
    const uint value = text.toUInt(&ok);
    if (!ok || value > 65535)
        return std::nullopt;
    return static_cast<quint16>(value);
}

// An IP address as --listen takes it: dotted IPv4, or IPv6 with or without
// brackets; an IPv4-mapped IPv6 address stands for its IPv4 address.
std::optional<QHostAddress> ParseAddress(QString text)
{
    if (text.startsWith(QLatin1Char('[')) && text.endsWith(QLatin1Char(']')))
        text = text.mid(1, text.size() - 2);
    QHostAddress address;
    if (!address.setAddress(text))
        return std::nullopt;
    bool mapped = false;
    const quint32 ipv4 = address.toIPv4Address(&mapped);
    if (mapped && address.protocol() == QAbstractSocket::IPv6Protocol)
        address.setAddress(ipv4);
    return address;
}

// Declares the options and reads the command line.
SServeArguments ParseArguments(QCommandLineParser& parser, const QStringList& arguments)
{
    parser.setApplicationDescription(
        QStringLiteral("Serves a folder over FTP (active data connections) and TFTP."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption root(QStringLiteral("root"),
                                  QStringLiteral("Folder to serve (default: the current folder)."),
                                  QStringLiteral("DIR"));
    const QCommandLineOption ftpPort(
        QStringLiteral("ftp-port"),
        QStringLiteral("FTP control port (default %1; 0: any free port).").arg(kFtpPort),
        QStringLiteral("N"), QString::number(kFtpPort));
    const QCommandLineOption ftpDataPort(
        QStringLiteral("ftp-data-port"),
        QStringLiteral("Local port of FTP data connections (default %1; 0: any free port).")
            .arg(kFtpDataPort),
        QStringLiteral("N"), QString::number(kFtpDataPort));
    const QCommandLineOption tftpPort(
        QStringLiteral("tftp-port"),
        QStringLiteral("TFTP port (default %1; 0: any free port).").arg(kTftpPort),
        QStringLiteral("N"), QString::number(kTftpPort));
    const QCommandLineOption tftpRollover(
        QStringLiteral("tftp-rollover"),
        QStringLiteral("TFTP block number after 65535, 0 or 1, for clients that do not ask "
                       "(default %1).")
            .arg(kTftpRollover),
        QStringLiteral("N"), QString::number(kTftpRollover));
    const QCommandLineOption noTray(QStringLiteral("no-tray"),
                                    QStringLiteral("Run without a tray icon or any window."));
    const QCommandLineOption extended(
        QStringLiteral("extended"),
        QStringLiteral("FTP for ordinary clients too: passive mode, EPRT, FEAT, SIZE, MDTM, "
                       "REST, CDUP, NOOP, SYST, OPTS UTF8, empty files."));
    const QCommandLineOption passivePorts(
        QStringLiteral("passive-ports"),
        QStringLiteral("Ports offered for passive data connections (default: any free port)."),
        QStringLiteral("FIRST-LAST"));
    parser.addOptions(
        {root, ftpPort, ftpDataPort, tftpPort, tftpRollover, noTray, extended, passivePorts});
    const QCommandLineOption listen(
        QStringLiteral("listen"),
        QStringLiteral("Listen for FTP and TFTP on this address only; repeat for more "
                       "(default: every IPv4 and IPv6 address; \"::\" alone is IPv6 only)."),
        QStringLiteral("ADDRESS"));
    parser.addOption(listen);

    SServeArguments result;
    if (!parser.parse(arguments)) {
        result.error = parser.errorText();
        return result;
    }
    result.version = parser.isSet(version);
    result.help = parser.isSet(help) || parser.isSet(QStringLiteral("help-all"));
    result.options.servedFolder = parser.value(root);
    const auto ftp = ParsePort(parser.value(ftpPort));
    const auto ftpData = ParsePort(parser.value(ftpDataPort));
    const auto tftp = ParsePort(parser.value(tftpPort));
    result.badPort = !ftp || !ftpData || !tftp;
    result.options.ftp.port = ftp.value_or(0);
    result.options.ftp.localDataPort = ftpData.value_or(0);
    result.options.tftp.port = tftp.value_or(0);
    const QString rollover = parser.value(tftpRollover);
    result.badRollover = rollover != QLatin1String("0") && rollover != QLatin1String("1");
    result.options.tftp.rollover = rollover == QLatin1String("0") ? 0 : 1;
    result.options.trayIcon = !parser.isSet(noTray);
    result.options.ftp.extended = parser.isSet(extended);
    if (parser.isSet(passivePorts)) {
        const QStringList range = parser.value(passivePorts).split(QLatin1Char('-'));
        const auto first = range.size() == 2 ? ParsePort(range.at(0)) : std::nullopt;
        const auto last = range.size() == 2 ? ParsePort(range.at(1)) : std::nullopt;
        result.badPassivePorts = !first || !last || *first == 0 || *last < *first;
        result.options.ftp.firstPassivePort = first.value_or(0);
        result.options.ftp.lastPassivePort = last.value_or(0);
    }
    for (const QString& text : parser.values(listen)) {
        const std::optional<QHostAddress> address = ParseAddress(text);
        if (!address) {
            result.badAddress = text;
            break;
        }
        // The same address twice would only collide with itself.
        if (!result.options.listenAddresses.contains(*address))
            result.options.listenAddresses.append(*address);
    }
    return result;
}

// Whether a display is there to show a tray icon on.
bool HasDisplay()
{
    return qEnvironmentVariableIsSet("DISPLAY") || qEnvironmentVariableIsSet("WAYLAND_DISPLAY")
           || qEnvironmentVariableIsSet("QT_QPA_PLATFORM");
}

// " of ADDRESS, ADDRESS" when --listen chose the addresses, for failure lines.
QString ListenedText(const SFtpServerOptions& options)
{
    QStringList texts;
    for (const QHostAddress& address : options.listenAddresses)
        texts << address.toString();
    return texts.isEmpty() ? QString() : QStringLiteral(" of ") + texts.join(QStringLiteral(", "));
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
    QCoreApplication::setApplicationName(QStringLiteral("tallis-serve"));
    QCoreApplication::setApplicationVersion(QLatin1String(PELION_VERSION));
    QStringList commandLine;
    for (int i = 0; i < argc; ++i)
        commandLine << QString::fromLocal8Bit(argv[i]);
    QCommandLineParser parser;
    SServeArguments arguments = ParseArguments(parser, commandLine);

    // Without a tray there is no window at all, and no display is needed; a
    // question such as --help needs none either.
    const bool tray = arguments.error.isEmpty() && !arguments.version && !arguments.help
                      && arguments.options.trayIcon && HasDisplay();
    std::unique_ptr<QCoreApplication> app;
    if (tray)
        app = std::make_unique<QApplication>(argc, argv);
    else
        app = std::make_unique<QCoreApplication>(argc, argv);

    // The parser's own answers, as QCommandLineParser::process gives them.
    if (!arguments.error.isEmpty()) {
        Err() << QCoreApplication::applicationName() << ": " << arguments.error << Qt::endl;
        return 1;
    }
    if (arguments.version)
        parser.showVersion();
    if (arguments.help)
        parser.showHelp(0);
    if (arguments.badPort) {
        Err() << "tallis-serve: a port is a number from 0 to 65535" << Qt::endl;
        return 2;
    }
    if (arguments.badPassivePorts) {
        Err() << "tallis-serve: passive ports are FIRST-LAST, from 1 to 65535, FIRST not above LAST"
              << Qt::endl;
        return 2;
    }
    if (arguments.badRollover) {
        Err() << "tallis-serve: --tftp-rollover is 0 or 1" << Qt::endl;
        return 2;
    }
    if (!arguments.badAddress.isNull()) {
        Err() << "tallis-serve: --listen takes an IP address such as 127.0.0.1 or ::1, not \""
              << arguments.badAddress << '"' << Qt::endl;
        return 2;
    }
    if (arguments.options.trayIcon && !tray) {
        Err() << "tallis-serve: no display; running without a tray icon" << Qt::endl;
        arguments.options.trayIcon = false;
    }

    // Without windows, messages go to the terminal; the exit code tells the failures.
    if (!arguments.options.trayIcon) {
        CMessageService::SetHandler([](const SMessage& message) {
            Err() << message.title << ": " << message.text << Qt::endl;
            return EMessageResult::Ok;
        });
    }

    std::unique_ptr<cFtpServer> server;
    try {
        server = CreateFtpServer(arguments.options);
    } catch (const CRaisedError& error) {
        Err() << "tallis-serve: cannot serve TFTP on port " << arguments.options.tftp.port
              << ListenedText(arguments.options) << ": " << error.Description() << Qt::endl;
        return 1;
    }
    Say(QStringLiteral("TFTP listening on port %1").arg(server->TftpPort()));

    int exitCode = 0;
    QObject::connect(server.get(), &cFtpServer::OnFtpListenerFailed, app.get(),
                     [&exitCode, &arguments](int, const QString& description) {
                         Err() << "tallis-serve: cannot serve FTP on port "
                               << arguments.options.ftp.port << ListenedText(arguments.options)
                               << ": " << description << Qt::endl;
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
