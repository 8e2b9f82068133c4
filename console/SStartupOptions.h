#pragma once

#include "console/cRunRulesValidator.h"
#include "fileserver/cFtpServer.h"

#include <QProcessEnvironment>
#include <QString>

#include <optional>

// What Main works with. The defaults are the product's own; the program takes
// no command line, but tests and benchmarks of the whole program set these
// environment variables so that it keeps to their folders and free ports:
//   PELION_PEERS_FOLDER   the dial-up peers folder (else /etc/ppp/peers)
//   PELION_INSTANCE_FOLDER
//                         the folder of the instance lock and its socket (else
//                         the user's own folder in /tmp)
//   PELION_FTP_PORT, PELION_FTP_DATA_PORT, PELION_TFTP_PORT, PELION_HELP_PORT
//                         ports (0: the system chooses)
//   PELION_MESSAGE_LOG    a file that takes every message instead of the screen
//   PELION_SYSTEM_SETTINGS
//                         the folder of the machine-wide settings (else /etc/xdg),
//                         which a test's program run as root would otherwise write
struct SStartupOptions {
    static constexpr int kSplashMs = 2000;

    SRunRulesOptions rules;
    SFtpServerOptions fileServer;
    std::optional<quint16> helpPort; // empty: the help server's own port
    int splashMs = kSplashMs;        // the least time the splash stays up
    QString messageLog;              // empty: messages go to the screen
    QString systemSettingsFolder;    // empty: the system's own

    // The options with the variables above applied; a variable that is not a
    // port number is ignored.
    static SStartupOptions FromEnvironment(const QProcessEnvironment& environment);
};
