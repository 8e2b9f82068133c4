// A host program for the FTP interop tests: serves a folder over FTP on
// loopback with the FTP server classes and nothing else, prints the port it
// listens on and ends cleanly on SIGTERM or SIGINT.

#include "FTcpListen.h"
#include "cFtpSessions.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <sys/signalfd.h>
#include <unistd.h>

namespace {

const QString kServerTitle = QStringLiteral("Orvane FTP/TFTP Server Ver. 1.2.4");

// A descriptor that becomes readable when SIGTERM or SIGINT arrives; the
// signals are blocked first so that they wait there instead of ending us.
int TerminationSignals()
{
    sigset_t mask;
    sigemptyset(&mask);
    sigaddset(&mask, SIGTERM);
    sigaddset(&mask, SIGINT);
    pthread_sigmask(SIG_BLOCK, &mask, nullptr);
    return signalfd(-1, &mask, SFD_NONBLOCK | SFD_CLOEXEC);
}

} // namespace

int main(int argc, char* argv[])
{
    // Before Qt starts any thread, so that every thread inherits the mask.
    const int signalFd = TerminationSignals();
    if (signalFd < 0) {
        std::perror("signalfd");
        return 1;
    }

    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption rootOption(QStringLiteral("root"), QStringLiteral("Served folder."),
                                        QStringLiteral("dir"), QStringLiteral("."));
    const QCommandLineOption ftpPortOption(QStringLiteral("ftp-port"),
                                           QStringLiteral("FTP port (0: any free port)."),
                                           QStringLiteral("port"), QStringLiteral("0"));
    const QCommandLineOption tftpPortOption(QStringLiteral("tftp-port"),
                                            QStringLiteral("Accepted and ignored."),
                                            QStringLiteral("port"));
    const QCommandLineOption noTrayOption(QStringLiteral("no-tray"),
                                          QStringLiteral("Accepted and ignored."));
    parser.addOptions({rootOption, ftpPortOption, tftpPortOption, noTrayOption});
    parser.process(app);

    bool portOk = false;
    const uint port = parser.value(ftpPortOption).toUInt(&portOk);
    if (!portOk || port > 65535) {
        std::fprintf(stderr, "invalid --ftp-port\n");
        return 2;
    }

    SFtpOptions options;
    options.servedFolder = parser.value(rootOption);
    options.serverTitle = kServerTitle;
    cFtpSessions sessions(options);
    FTcpListen listen;
    QObject::connect(&listen, &FTcpListen::NewConnection, &sessions, &cFtpSessions::Add);
    QObject::connect(
        &listen, &FTcpListen::ListenerError, &app, [](int number, const QString& description) {
            std::fprintf(stderr, "FTP listener error %d: %s\n", number, qPrintable(description));
            QCoreApplication::exit(1);
        });

    QSocketNotifier notifier(signalFd, QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, &app, [signalFd] {
        signalfd_siginfo info{};
        if (read(signalFd, &info, sizeof info) == sizeof info)
            QCoreApplication::quit();
    });

    listen.Listen(static_cast<quint16>(port), QHostAddress::LocalHost);
    if (listen.IsListening()) {
        std::printf("FTP listening on port %u\n", listen.LocalPort());
        std::fflush(stdout);
    }
    const int result = app.exec();
    close(signalFd);
    return result;
}
