#pragma once

#include "platform/dialup/MRasApi.h"

#include <QString>

class QWidget;

// The phonebook's editors, our own dialogs over the peers files.

// Opens the editor of the entry, modally over the owner; returns when it closes.
void EditPhonebookEntry(QWidget* owner, const QString& entry,
                        const QString& peersFolder = PhonebookPath());

// Opens the new-entry dialog modally; returns the new entry's name, empty
// when none was made.
QString CreatePhonebookEntry(QWidget* owner, const QString& peersFolder = PhonebookPath());
