#pragma once

#include "console/dialup/CProgOptions.h"
#include "console/dialup/ui/SDialupDialogOptions.h"

#include <QDialog>

#include <array>

class QButtonGroup;
class QGroupBox;
class QPushButton;
class QRadioButton;

// "Options": how the dial-up link is made, over the direct serial cable
// ("TarnDirectPPP") or a modem entry, with the editors of those entries (a
// missing cable entry is offered for creation) and, for the local network,
// the choice of this PC's address. Ok stores the
// connection type as "Connection Type" at once.
class FOptions final : public QDialog {
    Q_OBJECT

public:
    FOptions(CProgOptions& options, SDialupDialogOptions dialup, QWidget* parent = nullptr);

    QGroupBox* frmPpp() const { return m_frmPpp; }
    QGroupBox* frmLan() const { return m_frmLan; }
    QRadioButton* OptionConnType(int index) const { return m_optionConnType.at(index); }
    QPushButton* cmdDirectSettings() const { return m_cmdDirectSettings; }
    QPushButton* cmdModemSettings() const { return m_cmdModemSettings; }
    QPushButton* CmdLanSettings() const { return m_cmdLanSettings; }
    QPushButton* cmdOk() const { return m_cmdOk; }
    QPushButton* cmdCancel() const { return m_cmdCancel; }

signals:
    // True while a phonebook editor opened from here (or from the modem
    // settings) is open, false once it has closed. The main window disables
    // its tray item "Browser" meanwhile.
    void OnPhonebookEditorActive(bool active);

private:
    void SelectOption(int index);
    void OptionConnType_Click(int index);
    void cmdDirectSettings_Click();
    void cmdModemSettings_Click();
    void CmdLanSettings_Click();
    void cmdOk_Click();

    CProgOptions& m_options;
    SDialupDialogOptions m_dialup;
    QGroupBox* m_frmPpp = nullptr;
    QGroupBox* m_frmLan = nullptr;
    QButtonGroup* m_optionGroup = nullptr;
    std::array<QRadioButton*, 2> m_optionConnType = {};
    QPushButton* m_cmdDirectSettings = nullptr;
    QPushButton* m_cmdModemSettings = nullptr;
    QPushButton* m_cmdLanSettings = nullptr;
    QPushButton* m_cmdOk = nullptr;
    QPushButton* m_cmdCancel = nullptr;
};
