#pragma once

#include <QString>

// The pppd program that makes dial-up links, and the names it accepts as
// the entry of "pppd call ENTRY".

// The pppd that dial-up controls run: the first on the search path or in
// /usr/sbin and /sbin, else /usr/sbin/pppd.
QString DefaultPppdPath();

// True when the program exists and this user may run it.
bool IsRasInstalled(const QString& pppdProgram = DefaultPppdPath());

// True for a name that can be a phonebook entry: a plain file name of
// printable characters, no "/", not starting with "." or "-".
bool IsValidEntryName(const QString& name);
