#pragma once

#include <QString>
#include <QStringList>

// The dial-up phonebook: the peers folder of pppd, one file per entry.

// The peers folder: /etc/ppp/peers.
QString PhonebookPath();

// The entry names: the regular files of the folder, sorted; empty when the
// folder cannot be read.
QStringList EnumRasEntries(const QString& peersFolder = PhonebookPath());
