#pragma once

#include "console/dialup/CProgOptions.h"
#include "console/dialup/ui/SDialupDialogOptions.h"

#include <QDialog>

class QComboBox;
class QLabel;
class QPushButton;

// "Modem settings": the phonebook entry used for modem connections, with
// the editors of the entries. Ok stores the chosen entry as "Modem Entry".
class FModemSettings final : public QDialog {
    Q_OBJECT

public:
    FModemSettings(CProgOptions& options, SDialupDialogOptions dialup, QWidget* parent = nullptr);

    // Fills the list from the phonebook and selects the stored modem entry
    // when it is still there (exact name, letter case included).
    void RefreshEntries();

    QLabel* lblSelect() const { return m_lblSelect; }
    QComboBox* comboSelectEntry() const { return m_comboSelectEntry; }
    QPushButton* cmdAdd() const { return m_cmdAdd; }
    QPushButton* cmdProperties() const { return m_cmdProperties; }
    QPushButton* cmdOk() const { return m_cmdOk; }
    QPushButton* cmdCancel() const { return m_cmdCancel; }

signals:
    // True while a phonebook editor of this dialog is open, false once it has closed.
    void OnPhonebookEditorActive(bool active);

private:
    void cmdAdd_Click();
    void cmdProperties_Click();
    void cmdOk_Click();

    CProgOptions& m_options;
    SDialupDialogOptions m_dialup;
    QLabel* m_lblSelect = nullptr;
    QComboBox* m_comboSelectEntry = nullptr;
    QPushButton* m_cmdAdd = nullptr;
    QPushButton* m_cmdProperties = nullptr;
    QPushButton* m_cmdOk = nullptr;
    QPushButton* m_cmdCancel = nullptr;
};
