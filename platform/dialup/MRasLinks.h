#pragma once

#include <QString>

// The links of pppd processes on this machine, and what the console asks of
// them: by entry name, and their far end's address.

// Where the links are looked for: tests give folders and a program name of
// their own, so that only their stand-in processes count.
struct SRasLinkSources {
    QString procFolder = QStringLiteral("/proc");
    QString runFolder = QStringLiteral("/run");
    // The base name of the program that makes links.
    QString programName = QStringLiteral("pppd");
};

// GetProjectedIp's results besides 0: the system's errno values.
inline constexpr int kProjectionNoLink = 3;     // ESRCH: no link has this handle
inline constexpr int kProjectionNoAddress = 99; // EADDRNOTAVAIL: its IP layer is not up

// The pppd that dial-up controls run: the first on the search path or in
// /usr/sbin and /sbin, else /usr/sbin/pppd.
QString DefaultPppdPath();

// True when the program exists and this user may run it.
bool IsRasInstalled(const QString& pppdProgram = DefaultPppdPath());

// True for a name that can be a phonebook entry: a plain file name of
// printable characters, no "/", not starting with "." or "-".
bool IsValidEntryName(const QString& name);

// The number of running links (a pppd running "call ENTRY", whatever entry,
// dialling or up; the dial-up controls of this process included), or -1 when
// the processes cannot be listed. When a link's entry equals the given name
// (exactly, letter case included), its handle (the pppd's process id) goes
// into handle; the last match wins, and handle is left alone when none matches.
int FindRasConnection(const QString& entry, qint64& handle, const SRasLinkSources& sources = {});

// The far end's address of the link with this handle: the remote address that
// pppd reported to a control of this process, else the destination address of
// the link's point-to-point interface (found through pppd's pid files).
// Returns 0 and sets address, or one of the errors above and leaves it alone.
int GetProjectedIp(qint64 handle, QString& address, const SRasLinkSources& sources = {});
