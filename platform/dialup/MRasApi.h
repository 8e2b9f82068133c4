#pragma once

#include <QString>
#include <QStringList>

// The dial-up phonebook on Linux: each peer file of pppd's peers folder is one
// entry, named as the file ("pppd call NAME" dials it).

// The peers folder of pppd.
QString PhonebookPath();

// The entry names of the peers folder, sorted by name; empty when the folder
// is missing or cannot be read (a user outside the dial-up group cannot list
// the system's folder).
QStringList EnumRasEntries(const QString& peersFolder = PhonebookPath());
