#pragma once

#include "console/dialup/CPeerEntry.h"
#include "console/dialup/CPeersFolder.h"

#include <QDialog>

class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

// The editor of one phonebook entry, and with no entry name the new-entry
// dialog: serial device, speed, direct cable or modem (number and init
// string), user name and this PC's address. Ok writes the peers file; where
// the folder cannot be written, a message says so and the dialog stays open
// with everything typed, the old file untouched.
class FEntryEditor final : public QDialog {
    Q_OBJECT

public:
    FEntryEditor(CPeersFolder folder, const QString& entry, QWidget* parent = nullptr,
                 const QString& deviceFolder = QStringLiteral("/dev"));

    // Reads the entry's file; false, after a message, when it cannot be read.
    // A new entry starts from the template.
    bool Load();

    // Checks and writes; false after a message. Ok calls it and closes on success.
    bool Save();

    // The entry's name (for a new entry, once saved).
    QString EntryName() const { return m_entry; }

    QLineEdit* txtName() const { return m_txtName; }
    QComboBox* cboDevice() const { return m_cboDevice; }
    QComboBox* cboSpeed() const { return m_cboSpeed; }
    QRadioButton* optDirect() const { return m_optDirect; }
    QRadioButton* optModem() const { return m_optModem; }
    QLineEdit* txtPhone() const { return m_txtPhone; }
    QLineEdit* txtInit() const { return m_txtInit; }
    QLineEdit* txtUser() const { return m_txtUser; }
    QLineEdit* txtLocalAddress() const { return m_txtLocalAddress; }
    QPushButton* cmdOk() const { return m_cmdOk; }
    QPushButton* cmdCancel() const { return m_cmdCancel; }

private:
    void Show(const SPeerSettings& settings);
    SPeerSettings Shown() const;
    void UpdateModemFields();

    CPeersFolder m_folder;
    QString m_entry;
    bool m_isNew = false;
    CPeerEntry m_content;
    QLineEdit* m_txtName = nullptr;
    QComboBox* m_cboDevice = nullptr;
    QComboBox* m_cboSpeed = nullptr;
    QRadioButton* m_optDirect = nullptr;
    QRadioButton* m_optModem = nullptr;
    QLineEdit* m_txtPhone = nullptr;
    QLineEdit* m_txtInit = nullptr;
    QLineEdit* m_txtUser = nullptr;
    QLineEdit* m_txtLocalAddress = nullptr;
    QPushButton* m_cmdOk = nullptr;
    QPushButton* m_cmdCancel = nullptr;
};
