#pragma once

#include <QString>
#include <QStringList>

// The dial-up phonebook on Linux: each peer file of pppd's peers folder is one
// entry, named as the file ("pppd call NAME" dials it).

// The group whose members may read the system's peers folder and run pppd.
inline constexpr const char* kDialUpGroup = "dip";

// The peers folder of pppd.
QString PhonebookPath();

// The entry names of the peers folder, sorted by name; empty when the folder
// is missing or cannot be read (a user outside the dial-up group cannot list
// the system's folder).
QStringList EnumRasEntries(const QString& peersFolder = PhonebookPath());

// What a look for one entry found.
enum class EEntryLookup {
    Found,
    Missing,             // the folder lists no such entry, or there is no folder
    PhonebookUnreadable, // this user may not list the folder: the entry may well exist
};

// Whether the entry (its exact name) is in the peers folder, telling a folder
// this user may not read from an entry that is not there.
EEntryLookup LookUpRasEntry(const QString& entry, const QString& peersFolder = PhonebookPath());

// The login name of the user this process runs for (its real user), as an
// administrator types it in "adduser NAME dip"; the user number when the
// system knows no name for it.
QString DialUpUserName();

// What tells the user userName that dial-up needs the dial-up group, and the
// command with which an administrator grants it.
QString NotInDialUpGroupText(const QString& userName = DialUpUserName());

// What tells this user that the phonebook cannot be read, so the entry cannot
// be looked for, and how to get the right to read it.
QString PhonebookUnreadableText(const QString& entry);
