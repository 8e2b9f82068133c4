// A host program for the interop tests: serves a folder over TFTP, prints
// "TFTP listening on port N" once bound, and ends on SIGTERM or SIGINT.
//
//   tftp_test_host --root DIR --tftp-port N [--ftp-port N] [--no-tray]

#include "CRaisedError.h"
#include "CTftpDaemon.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <sys/signalfd.h>
#include <unistd.h>

int main(int argc, char* argv[]) {
    // Blocked before Qt starts any thread, so that only the signalfd sees them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption root(QStringLiteral("root"), QStringLiteral("Served folder."),
                                  QStringLiteral("DIR"), QStringLiteral("."));
    const QCommandLineOption tftpPort(QStringLiteral("tftp-port"),
                                      QStringLiteral("TFTP port (0: any free port)."),
                                      QStringLiteral("N"), QString::number(kTftpPort));
    // Accepted for the command line the real host shares; this host serves no FTP.
    const QCommandLineOption ftpPort(QStringLiteral("ftp-port"), QStringLiteral("Ignored."),
                                     QStringLiteral("N"));
    const QCommandLineOption noTray(QStringLiteral("no-tray"), QStringLiteral("Ignored."));
    parser.addOptions({root, tftpPort, ftpPort, noTray});
    parser.process(app);

    bool portValid = false;
    const uint port = parser.value(tftpPort).toUInt(&portValid);
    if (!portValid || port > 0xFFFF) {
        std::fprintf(stderr, "invalid --tftp-port\n");
        return 2;
    }

    const int signalFd = signalfd(-1, &stopSignals, SFD_NONBLOCK | SFD_CLOEXEC);
    if (signalFd < 0) {
        std::perror("signalfd");
        return 1;
    }
    QSocketNotifier stopNotifier(signalFd, QSocketNotifier::Read);
    QObject::connect(&stopNotifier, &QSocketNotifier::activated, &app, [signalFd] {
        signalfd_siginfo info{};
        while (read(signalFd, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
        }
        QCoreApplication::quit();
    });

    STftpOptions options{.servedFolder = CServedFolder(parser.value(root))};
    options.port = static_cast<quint16>(port);
    int result = 0;
    {
        CTftpDaemon daemon(options);
        try {
            daemon.StartService();
        } catch (const CRaisedError& error) {
            std::fprintf(stderr, "%s\n", error.what());
            close(signalFd);
            return 1;
        }
        std::printf("TFTP listening on port %u\n", static_cast<unsigned>(daemon.LocalPort()));
        std::fflush(stdout);
        result = QCoreApplication::exec();
    }
    // What the sessions handed over for deletion goes before the program ends.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    close(signalFd);
    return result;
}
