#pragma once

#include "console/dialup/CPeerWriter.h"

#include <QString>

class QWidget;

// The phonebook's editors, our own dialogs over the peers files.

// Opens the editor of the entry, modally over the owner; returns when it closes.
void EditPhonebookEntry(QWidget* owner, const QString& entry,
                        const SPeerWriterOptions& writer = {});

// Opens the new-entry dialog modally, with its name fixed when one is given;
// returns the new entry's name, empty when none was made.
QString CreatePhonebookEntry(QWidget* owner, const SPeerWriterOptions& writer = {},
                             const QString& name = {});
