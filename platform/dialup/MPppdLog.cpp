#include "platform/dialup/MPppdLog.h"

#include "platform/dialup/MRasApi.h"

#include <QHostAddress>

#include <algorithm>
#include <array>

namespace {

enum class EMatch { Prefix, Contains };

struct SLineState {
    const char* text;
    EMatch match;
    ERasState state;
};

// pppd's log lines, as it writes them to its log descriptor, and the state
// each announces. The "sent [..." and "rcvd [..." lines are debug lines,
// written because the control runs pppd with "debug".
constexpr std::array kLineStates = {
    SLineState{"Serial port initialized.", EMatch::Prefix, ERasState::ConnectingDevice},
    SLineState{"Serial connection established.", EMatch::Prefix, ERasState::DeviceConnected},
    SLineState{"Connect: ", EMatch::Prefix, ERasState::DeviceConnected},
    SLineState{"sent [PAP AuthReq", EMatch::Prefix, ERasState::Authenticating},
    SLineState{"rcvd [CHAP Challenge", EMatch::Prefix, ERasState::Authenticating},
    SLineState{"PAP authentication succeeded", EMatch::Prefix, ERasState::Authenticated},
    SLineState{"CHAP authentication succeeded", EMatch::Prefix, ERasState::Authenticated},
    SLineState{"remote IP address ", EMatch::Prefix, ERasState::Connected},
    SLineState{"Terminating on signal", EMatch::Prefix, ERasState::Closing},
    SLineState{"Modem hangup", EMatch::Prefix, ERasState::Closing},
    SLineState{"Connection terminated.", EMatch::Prefix, ERasState::Closing},
    SLineState{"LCP terminated by peer", EMatch::Prefix, ERasState::Closing},
    SLineState{" terminated by peer", EMatch::Contains, ERasState::Closing},
};

constexpr const char* kRemoteAddressPrefix = "remote IP address ";

struct SStatusMeaning {
    int status;
    bool deviceFailure;
    const char* meaning;
};

// pppd's exit statuses and what they mean.
constexpr std::array kStatusMeanings = {
    SStatusMeaning{1, false, "pppd met an immediately fatal error."},
    SStatusMeaning{2, false, "pppd found an error in the options of the entry."},
    SStatusMeaning{3, false, "pppd is not setuid-root and the invoking user is not root."},
    SStatusMeaning{4, false, "The kernel does not support PPP."},
    SStatusMeaning{5, false, "pppd was ended by a SIGINT, SIGTERM or SIGHUP signal."},
    SStatusMeaning{6, true, "The serial port could not be locked."},
    SStatusMeaning{7, true, "The serial port could not be opened."},
    SStatusMeaning{8, true, "The connect script failed."},
    SStatusMeaning{9, false, "The command of the pty option could not be run."},
    SStatusMeaning{10, false, "The PPP negotiation failed: no network protocol came up."},
    SStatusMeaning{11, false, "The peer failed or refused to authenticate itself."},
    SStatusMeaning{12, false, "The link was ended because it was idle."},
    SStatusMeaning{13, false, "The link was ended because the connect time limit was reached."},
    SStatusMeaning{14, false, "Callback was negotiated: an incoming call should arrive shortly."},
    SStatusMeaning{15, false, "The link was ended because the peer does not answer echo requests."},
    SStatusMeaning{16, true, "The link was ended by the modem hanging up."},
    SStatusMeaning{17, false, "The PPP negotiation failed because the serial line is looped back."},
    SStatusMeaning{18, true, "The modem init script failed."},
    SStatusMeaning{19, false, "The authentication of this PC to the peer failed."},
};

// What a complaint of pppd says ended it.
enum class EEndCause { Kernel, Device, Group };

struct SLineCause {
    const char* text;
    const char* alsoText; // also in the line; nullptr: nothing more
    EEndCause cause;
};

// Tried in this order over all lines: the kernel's complaints name /dev/ppp,
// which is no serial device.
constexpr std::array kLineCauses = {
    SLineCause{"/dev/ppp", nullptr, EEndCause::Kernel},
    SLineCause{"kernel support for PPP", nullptr, EEndCause::Kernel},
    SLineCause{"unrecognized option '/dev/", nullptr, EEndCause::Device},
    SLineCause{"Failed to open /dev/", nullptr, EEndCause::Device},
    SLineCause{" is locked by pid ", nullptr, EEndCause::Device},
    SLineCause{"Can't create lock file", nullptr, EEndCause::Device},
    SLineCause{"Device or resource busy", nullptr, EEndCause::Device},
    SLineCause{"Can't open options file", "Permission denied", EEndCause::Group},
};

constexpr const char* kDeviceUnusable = "The serial device of the entry is missing or in use.";

// The statuses whose meaning only says that pppd complained: its own words follow.
constexpr std::array kStatusesWithComplaint = {1, 2};

// pppd's complaint without its program name ("/usr/sbin/pppd: In file ...").
QString WithoutProgramName(const QString& line)
{
    const qsizetype colon = line.indexOf(QLatin1String(": "));
    if (colon <= 0)
        return line;
    const QString program = line.left(colon);
    return program.contains(u'/') && !program.contains(u' ') ? line.mid(colon + 2) : line;
}

QString WithComplaint(const QString& meaning, const QString& line)
{
    const QString complaint = WithoutProgramName(line.trimmed());
    return complaint.isEmpty() ? meaning : meaning + u'\n' + complaint;
}

} // namespace

ERasState StateOfPppdLine(const QString& line)
{
    const QString text = line.trimmed();
    for (const SLineState& entry : kLineStates) {
        const QLatin1StringView pattern(entry.text);
        const bool matches =
            entry.match == EMatch::Prefix ? text.startsWith(pattern) : text.contains(pattern);
        if (matches)
            return entry.state;
    }
    return ERasState::Unknown;
}

QString RemoteAddressOfPppdLine(const QString& line)
{
    const QString text = line.trimmed();
    if (!text.startsWith(QLatin1StringView(kRemoteAddressPrefix)))
        return {};
    const QString address = text.mid(qstrlen(kRemoteAddressPrefix)).section(u' ', 0, 0);
    const QHostAddress parsed(address);
    if (parsed.protocol() != QAbstractSocket::IPv4Protocol)
        return {};
    return parsed.toString();
}

SRasError ErrorOfPppdExitStatus(int status)
{
    if (status == 0)
        return {};
    for (const SStatusMeaning& entry : kStatusMeanings) {
        if (entry.status == status) {
            return {entry.deviceFailure ? kRasErrorDevice : kRasErrorStatusBase + status,
                    QString::fromLatin1(entry.meaning)};
        }
    }
    return {kRasErrorStatusBase + status, QStringLiteral("pppd ended with status %1.").arg(status)};
}

SRasError ErrorOfPppdEnd(const QStringList& lines, int status, const QString& userName)
{
    const SRasError byStatus = ErrorOfPppdExitStatus(status);
    if (status == 0)
        return byStatus;
    for (const SLineCause& entry : kLineCauses) {
        const auto says = [&entry](const QString& line) {
            return line.contains(QLatin1String(entry.text))
                   && (!entry.alsoText || line.contains(QLatin1String(entry.alsoText)));
        };
        const auto line = std::find_if(lines.cbegin(), lines.cend(), says);
        if (line == lines.cend())
            continue;
        switch (entry.cause) {
        case EEndCause::Kernel: return ErrorOfPppdExitStatus(4);
        case EEndCause::Group: return {kRasErrorNotInDialUpGroup, NotInDialUpGroupText(userName)};
        case EEndCause::Device:
            return {kRasErrorDevice, WithComplaint(byStatus.number == kRasErrorDevice
                                                       ? byStatus.description
                                                       : QString::fromLatin1(kDeviceUnusable),
                                                   *line)};
        }
    }
    const auto complained = [status](int withComplaint) { return withComplaint == status; };
    if (std::any_of(kStatusesWithComplaint.begin(), kStatusesWithComplaint.end(), complained)) {
        const auto last = std::find_if(lines.crbegin(), lines.crend(), [](const QString& line) {
            return !line.trimmed().isEmpty();
        });
        if (last != lines.crend())
            return {byStatus.number, WithComplaint(byStatus.description, *last)};
    }
    return byStatus;
}
