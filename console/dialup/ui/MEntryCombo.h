#pragma once

#include "platform/dialup/MRasApi.h"

class QComboBox;

// Fills the combo box with the phonebook's entry names, in order, after
// clearing it; returns their number, or -1 when there are none.
int FillEntryCombo(QComboBox* combo, const QString& peersFolder = PhonebookPath());
