#include "console/dialup/ui/MEntryCombo.h"

#include <QComboBox>

int FillEntryCombo(QComboBox* combo, const QString& peersFolder)
{
    combo->clear();
    const QStringList names = EnumRasEntries(peersFolder);
    combo->addItems(names);
    return names.isEmpty() ? -1 : static_cast<int>(names.size());
}
