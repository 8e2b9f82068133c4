#pragma once

#include "console/dialup/ui/MPhonebookEditors.h"
#include "platform/dialup/MPppdProgram.h"
#include "platform/dialup/MRasApi.h"
#include "platform/hostaddr/MHostAddresses.h"

#include <QString>
#include <QStringList>

#include <functional>

class QWidget;

// What the option dialogs work on; tests give their own folder, program and
// editors.
struct SDialupDialogOptions {
    QString peersFolder = PhonebookPath();
    // Its presence is the dial-up service's.
    QString pppdProgram = DefaultPppdPath();
    // Opens the editor of an entry and returns when it closes.
    std::function<void(QWidget* owner, const QString& entry)> editEntry;
    // Opens the new-entry dialog, with the name fixed when one is given, and
    // returns when it closes.
    std::function<void(QWidget* owner, const QString& name)> createEntry;
    // This PC's IPv4 addresses, for the host address selection.
    std::function<QStringList()> localAddresses = GetLocalAddresses;

    // The editors over peersFolder where none was given.
    SDialupDialogOptions WithDefaults() const
    {
        SDialupDialogOptions options = *this;
        SPeerWriterOptions writer;
        writer.peersFolder = peersFolder;
        if (!options.editEntry)
            options.editEntry = [writer](QWidget* owner, const QString& entry) {
                EditPhonebookEntry(owner, entry, writer);
            };
        if (!options.createEntry)
            options.createEntry = [writer](QWidget* owner, const QString& name) {
                CreatePhonebookEntry(owner, writer, name);
            };
        return options;
    }
};
