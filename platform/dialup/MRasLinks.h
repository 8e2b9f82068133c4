#pragma once

#include <QList>
#include <QString>

#include <functional>

// The links of pppd processes on this machine, and what the console asks of
// them: by entry name, and their far end's address.

// A link that a dial-up control of this process runs.
struct SOwnLink {
    qint64 handle = 0; // the pppd's process id
    QString entry;
    QString remoteAddress; // as pppd reported it; empty until the link is up
};

// Where the links are looked for: tests give folders and a program name of
// their own, so that only their stand-in processes count.
struct SRasLinkSources {
    QString procFolder = QStringLiteral("/proc");
    QString runFolder = QStringLiteral("/run");
    // The base name of the program that makes links.
    QString programName = QStringLiteral("pppd");
    // The links of this process's own dial-up controls: they count before
    // their pppd shows in the process list, and their far end's address is
    // the one pppd reported to them. The owner of a control fills it in
    // (CRas::AddOwnLinkTo); unset, only the process list counts.
    std::function<QList<SOwnLink>()> ownLinks;
};

// GetProjectedIp's results besides 0: the system's errno values.
inline constexpr int kProjectionNoLink = 3;     // ESRCH: no link has this handle
inline constexpr int kProjectionNoAddress = 99; // EADDRNOTAVAIL: its IP layer is not up

// The number of running links (a pppd running "call ENTRY", whatever entry,
// dialling or up; the own links of the sources included), or -1 when the
// processes cannot be listed. When a link's entry equals the given name
// (exactly, letter case included), its handle (the pppd's process id) goes
// into handle; the last match wins, and handle is left alone when none matches.
int FindRasConnection(const QString& entry, qint64& handle, const SRasLinkSources& sources = {});

// The far end's address of the link with this handle: the remote address of
// an own link of the sources, else the destination address of the link's
// point-to-point interface (found through pppd's pid files).
// Returns 0 and sets address, or one of the errors above and leaves it alone.
int GetProjectedIp(qint64 handle, QString& address, const SRasLinkSources& sources = {});
