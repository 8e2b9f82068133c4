#pragma once

#include <QList>
#include <QString>

#include <functional>

// The links of pppd processes on this machine, and what the console asks of
// them: by entry name and by the user who started them, their far end's
// address, and their end.

// A link that a dial-up control of this process runs.
struct SOwnLink {
    qint64 handle = 0; // the pppd's process id
    QString entry;
    QString remoteAddress; // as pppd reported it; empty until the link is up
};

// Where the links are looked for: tests give folders, a program name and a
// user of their own, so that only their stand-in processes count.
struct SRasLinkSources {
    static constexpr qint64 kThisUser = -1;

    QString procFolder = QStringLiteral("/proc");
    QString runFolder = QStringLiteral("/run");
    // The base name of the program that makes links.
    QString programName = QStringLiteral("pppd");
    // The user whose links count as the console's own; kThisUser: the real
    // user of this process.
    qint64 userId = kThisUser;
    // The links of this process's own dial-up controls: they count before
    // their pppd shows in the process list, and their far end's address is
    // the one pppd reported to them. The owner of a control fills it in
    // (CRas::AddOwnLinkTo); unset, only the process list counts.
    std::function<QList<SOwnLink>()> ownLinks;
};

// A running link as the lookups see it.
struct SRasLink {
    static constexpr qint64 kUnknownUser = -1;

    qint64 handle = 0; // the pppd's process id
    QString entry;
    // The real user of the pppd: the one who started it, even when pppd runs
    // setuid root. The sources' user for an own link.
    qint64 userId = kUnknownUser;
};

// What Connect finds for an entry.
enum class ERasLinkChoice {
    None, // no link runs: dial
    Take, // this user's link of the entry runs: it is the console's to show and end
    Busy, // another entry's or another user's link runs: it is left alone
};

struct SRasLinkFound {
    ERasLinkChoice choice = ERasLinkChoice::None;
    qint64 handle = 0; // the link to take
};

// GetProjectedIp's results besides 0: the system's errno values.
inline constexpr int kProjectionNoLink = 3;     // ESRCH: no link has this handle
inline constexpr int kProjectionNoAddress = 99; // EADDRNOTAVAIL: its IP layer is not up

// EndRasLink's results besides 0: the system's errno values.
inline constexpr int kEndNoLink = 3;  // ESRCH: no running link has this handle
inline constexpr int kEndNotOurs = 1; // EPERM: the link is another user's

// The running links (a pppd running "call ENTRY", whatever entry, dialling or
// up; the own links of the sources included) in process-id order into links,
// and their number; -1 when the processes cannot be listed.
int ListRasLinks(QList<SRasLink>& links, const SRasLinkSources& sources = {});

// The number of running links as ListRasLinks counts them, or -1. When a
// link's entry equals the given name (exactly, letter case included), its
// handle (the pppd's process id) goes into handle; the last match wins, and
// handle is left alone when none matches.
int FindRasConnection(const QString& entry, qint64& handle, const SRasLinkSources& sources = {});

// The link Connect may take for the entry: the sources' user's link of that
// entry (the last one when there are several); else Busy when any other link
// runs. Processes that cannot be listed count as none: pppd itself then tells
// a device that is in use.
SRasLinkFound ChooseRasLink(const QString& entry, const SRasLinkSources& sources = {});

// The running link with this handle, when there is one: an own link, or a
// link process that has not ended (a process left unreaped has ended).
bool FindRasLink(qint64 handle, SRasLink& link, const SRasLinkSources& sources = {});

// Ends the link with this handle when it is the sources' user's: SIGTERM to
// its pppd (SIGKILL when forced), which the system allows as the pppd's real
// user is ours. Returns 0 once signalled, or one of the errors above.
int EndRasLink(qint64 handle, bool force, const SRasLinkSources& sources = {});

// The far end's address of the link with this handle: the remote address of
// an own link of the sources, else the destination address of the link's
// point-to-point interface (found through pppd's pid files).
// Returns 0 and sets address, or one of the errors above and leaves it alone.
int GetProjectedIp(qint64 handle, QString& address, const SRasLinkSources& sources = {});
