#pragma once

#include "console/dialup/CPeerEntry.h"
#include "console/dialup/CPeerWriter.h"
#include "console/dialup/CPeersFolder.h"

#include <QDialog>

class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

// The editor of one phonebook entry, and with no entry name the new-entry
// dialog: serial device, speed, direct cable or modem (number and init
// string), flow control, user name and password, and this PC's address. Ok
// writes the peers file through CPeerWriter: root itself, anyone else through
// an administrator's yes. The password goes to pppd's secrets files only; it
// is never shown, not even the one stored. Where the entry cannot be written,
// a message says so (and, without a way to ask an administrator, what one
// must do) and the dialog stays open with everything typed, the old file
// untouched.
class FEntryEditor final : public QDialog {
    Q_OBJECT

public:
    // With an empty entry, a new one; fixedName, when given, is its name.
    FEntryEditor(SPeerWriterOptions writer, const QString& entry, QWidget* parent = nullptr,
                 const QString& deviceFolder = QStringLiteral("/dev"),
                 const QString& fixedName = {});

    // Reads the entry's file; false, after a message, when it cannot be read.
    // A new entry starts from the template.
    bool Load();

    // Checks and starts the write; false after a message. Ok calls it; the
    // dialog closes once the entry is written (signal Saved).
    bool Save();

    // Closing waits while a write runs: its answer decides what the dialog does.
    void reject() override;

    // The entry's name (for a new entry, once saved).
    QString EntryName() const { return m_entry; }

    QLineEdit* txtName() const { return m_txtName; }
    QComboBox* cboDevice() const { return m_cboDevice; }
    QComboBox* cboSpeed() const { return m_cboSpeed; }
    QRadioButton* optDirect() const { return m_optDirect; }
    QRadioButton* optModem() const { return m_optModem; }
    QLineEdit* txtPhone() const { return m_txtPhone; }
    QLineEdit* txtInit() const { return m_txtInit; }
    QComboBox* cboFlowControl() const { return m_cboFlowControl; }
    QLineEdit* txtUser() const { return m_txtUser; }
    QLineEdit* txtPassword() const { return m_txtPassword; }
    QLineEdit* txtLocalAddress() const { return m_txtLocalAddress; }
    QPushButton* cmdOk() const { return m_cmdOk; }
    QPushButton* cmdCancel() const { return m_cmdCancel; }

signals:
    // The entry is written (Accepted follows), or it could not be, after a message.
    void Saved(bool written);

private:
    void writer_Finished(CPeerWriter::EResult result, const QString& error);
    void Show(const SPeerSettings& settings);
    SPeerSettings Shown() const;
    void UpdateModemFields();

    CPeersFolder m_folder;
    CPeerWriter* m_writer = nullptr;
    QString m_entry;
    bool m_isNew = false;
    CPeerEntry m_content;
    // What is being written, kept until the writer ends.
    QString m_savingName;
    CPeerEntry m_saving;
    QLineEdit* m_txtName = nullptr;
    QComboBox* m_cboDevice = nullptr;
    QComboBox* m_cboSpeed = nullptr;
    QRadioButton* m_optDirect = nullptr;
    QRadioButton* m_optModem = nullptr;
    QLineEdit* m_txtPhone = nullptr;
    QLineEdit* m_txtInit = nullptr;
    QComboBox* m_cboFlowControl = nullptr;
    QLineEdit* m_txtUser = nullptr;
    QLineEdit* m_txtPassword = nullptr;
    QLineEdit* m_txtLocalAddress = nullptr;
    QPushButton* m_cmdOk = nullptr;
    QPushButton* m_cmdCancel = nullptr;
};
