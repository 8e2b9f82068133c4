#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>

// What pppd's log lines and exit statuses mean to the dial-up control. No
// process here: the control feeds lines and statuses in, tests do the same.

// Link states, numbered as the holders of the dial-up control know them.
enum class ERasState : std::int32_t {
    Unknown = 0,
    ConnectingDevice = 2,
    DeviceConnected = 3,
    Authenticating = 5,
    Authenticated = 14,
    Connected = 8192,
    Disconnected = 8193,
    Closing = 8198
};

// Error numbers of the dial-up control.
inline constexpr std::int32_t kRasErrorDevice = 20651;        // serial line or modem failure
inline constexpr std::int32_t kRasErrorStatusBase = 21000;    // + any other pppd exit status
inline constexpr std::int32_t kRasErrorEndedBeforeUp = 21300; // status 0 before the link was up
inline constexpr std::int32_t kRasErrorDialCancelled = 21301;
inline constexpr std::int32_t kRasErrorPppdKilled = 21302;
inline constexpr std::int32_t kRasErrorPppdMissing = 21303;
// This user may not run pppd or read its entries: not a member of the dial-up group.
inline constexpr std::int32_t kRasErrorNotInDialUpGroup = 21304;

struct SRasError {
    std::int32_t number = 0;
    QString description;
};

// The state a line of pppd's log announces; Unknown for lines that announce none.
ERasState StateOfPppdLine(const QString& line);

// The far end's address from pppd's "remote IP address" line; empty for other lines.
QString RemoteAddressOfPppdLine(const QString& line);

// The error a pppd exit status stands for: 20651 for the serial line and modem
// failures, kRasErrorStatusBase + status for the others, pppd's meaning as the
// description. Status 0 is no error (number 0).
SRasError ErrorOfPppdExitStatus(int status);

// The error of a pppd that ended with this status after writing these lines
// (its log and its complaints, oldest first); status 0 is no error. pppd
// reports a device name it cannot find as an unknown option, so the lines
// decide before the status: a serial device that is missing, cannot be opened
// or is locked by another program is 20651; a peers file this user may not
// read is kRasErrorNotInDialUpGroup (told to userName); the kernel's missing
// PPP support is status 4's error. Otherwise the status decides as in
// ErrorOfPppdExitStatus, pppd's own complaint added to an options error.
SRasError ErrorOfPppdEnd(const QStringList& lines, int status, const QString& userName);
