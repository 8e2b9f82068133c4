#include "console/dialup/ui/MPhonebookEditors.h"

#include "console/dialup/ui/FEntryEditor.h"

void EditPhonebookEntry(QWidget* owner, const QString& entry, const SPeerWriterOptions& writer)
{
    FEntryEditor editor(writer, entry, owner);
    if (editor.Load())
        editor.exec();
}

QString CreatePhonebookEntry(QWidget* owner, const SPeerWriterOptions& writer, const QString& name)
{
    FEntryEditor editor(writer, QString(), owner, QStringLiteral("/dev"), name);
    return editor.exec() == QDialog::Accepted ? editor.EntryName() : QString();
}
