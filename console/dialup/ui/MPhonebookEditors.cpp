#include "console/dialup/ui/MPhonebookEditors.h"

#include "console/dialup/ui/FEntryEditor.h"

void EditPhonebookEntry(QWidget* owner, const QString& entry, const QString& peersFolder)
{
    FEntryEditor editor(CPeersFolder(peersFolder), entry, owner);
    if (editor.Load())
        editor.exec();
}

QString CreatePhonebookEntry(QWidget* owner, const QString& peersFolder)
{
    FEntryEditor editor(CPeersFolder(peersFolder), QString(), owner);
    return editor.exec() == QDialog::Accepted ? editor.EntryName() : QString();
}
