#include "console/dialup/ui/FEntryEditor.h"

#include "console/dialup/ui/MDialupMessages.h"
#include "platform/dialup/MSerialDevices.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {

constexpr std::array kSpeeds = {9600, 19200, 38400, 57600, 115200, 230400, 460800};
// Any other speed may be typed, up to what a serial line could be set to.
constexpr int kMaxTypedSpeed = 100000000;

} // namespace

FEntryEditor::FEntryEditor(SPeerWriterOptions writer, const QString& entry, QWidget* parent,
                           const QString& deviceFolder, const QString& fixedName)
    : QDialog(parent), m_folder(writer.peersFolder), m_entry(entry), m_isNew(entry.isEmpty()),
      m_content(CPeerEntry::FromTemplate())
{
    setWindowTitle(m_isNew ? QStringLiteral("New dial-up entry")
                           : QStringLiteral("Properties of %1").arg(entry));
    m_writer = new CPeerWriter(std::move(writer), this);
    connect(m_writer, &CPeerWriter::Finished, this, &FEntryEditor::writer_Finished);

    m_txtName = new QLineEdit(m_isNew ? fixedName : entry, this);
    m_txtName->setReadOnly(!m_isNew || !fixedName.isEmpty());
    m_cboDevice = new QComboBox(this);
    m_cboDevice->setEditable(true);
    m_cboDevice->addItems(ListSerialDevices(deviceFolder));
    m_cboSpeed = new QComboBox(this);
    m_cboSpeed->setEditable(true);
    for (const int speed : kSpeeds)
        m_cboSpeed->addItem(QString::number(speed));
    m_cboSpeed->setValidator(new QIntValidator(1, kMaxTypedSpeed, m_cboSpeed));
    m_optDirect = new QRadioButton(QStringLiteral("Direct serial cable"), this);
    m_optModem = new QRadioButton(QStringLiteral("Modem"), this);
    m_txtPhone = new QLineEdit(this);
    m_txtInit = new QLineEdit(this);
    m_cboFlowControl = new QComboBox(this);
    // In the order of EFlowControl.
    m_cboFlowControl->addItems({QStringLiteral("Hardware (RTS/CTS)"), QStringLiteral("None"),
                                QStringLiteral("Software (XON/XOFF)")});
    m_txtUser = new QLineEdit(this);
    m_txtPassword = new QLineEdit(this);
    m_txtPassword->setEchoMode(QLineEdit::Password);
    m_txtPassword->setPlaceholderText(QStringLiteral("unchanged"));
    m_txtLocalAddress = new QLineEdit(this);
    m_txtLocalAddress->setPlaceholderText(QStringLiteral("given by the equipment"));
    m_cmdOk = new QPushButton(QStringLiteral("Ok"), this);
    m_cmdOk->setDefault(true);
    m_cmdCancel = new QPushButton(QStringLiteral("Cancel"), this);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Entry name:"), m_txtName);
    form->addRow(QStringLiteral("Serial device:"), m_cboDevice);
    form->addRow(QStringLiteral("Speed (bit/s):"), m_cboSpeed);
    auto* kind = new QHBoxLayout;
    kind->addWidget(m_optDirect);
    kind->addWidget(m_optModem);
    form->addRow(QStringLiteral("Connect using:"), kind);
    form->addRow(QStringLiteral("Phone number:"), m_txtPhone);
    form->addRow(QStringLiteral("Modem init string:"), m_txtInit);
    form->addRow(QStringLiteral("Flow control:"), m_cboFlowControl);
    form->addRow(QStringLiteral("User name:"), m_txtUser);
    form->addRow(QStringLiteral("Password:"), m_txtPassword);
    form->addRow(QStringLiteral("Local IP address:"), m_txtLocalAddress);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_cmdOk);
    buttons->addWidget(m_cmdCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);

    connect(m_optDirect, &QRadioButton::toggled, this, &FEntryEditor::UpdateModemFields);
    connect(m_cmdOk, &QPushButton::clicked, this, &FEntryEditor::Save);
    connect(m_cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
    Show(m_content.Settings());
}

bool FEntryEditor::Load()
{
    if (m_isNew)
        return true;
    QString error;
    const std::optional<CPeerEntry> content = m_folder.Read(m_entry, error);
    if (!content) {
        ShowDialupMessage(this,
                          QStringLiteral("The entry '%1' cannot be read: %2").arg(m_entry, error),
                          EMessageIcon::Exclamation);
        return false;
    }
    m_content = *content;
    Show(m_content.Settings());
    return true;
}

bool FEntryEditor::Save()
{
    if (m_writer->IsRunning())
        return false;
    const QString name = m_txtName->text();
    if (m_isNew) {
        const QString problem = CPeerEntry::ValidateName(name);
        if (!problem.isEmpty()) {
            ShowDialupMessage(this, problem, EMessageIcon::Information);
            return false;
        }
        if (m_folder.Exists(name)) {
            ShowDialupMessage(this, QStringLiteral("An entry named '%1' already exists.").arg(name),
                              EMessageIcon::Information);
            return false;
        }
    }
    CPeerRequest request;
    request.operation =
        m_isNew ? CPeerRequest::EOperation::Create : CPeerRequest::EOperation::Write;
    request.entry = name;
    request.settings = Shown();
    request.password = m_txtPassword->text();
    QString problem = CPeerEntry::Validate(request.settings);
    if (problem.isEmpty())
        problem = CPeerEntry::ValidatePassword(request.password, request.settings.userName);
    if (!problem.isEmpty()) {
        ShowDialupMessage(this, problem, EMessageIcon::Information);
        return false;
    }
    m_savingName = name;
    m_saving = m_content;
    m_saving.SetSettings(request.settings);
    m_cmdOk->setEnabled(false);
    m_cmdCancel->setEnabled(false);
    m_writer->Start(request);
    return true;
}

void FEntryEditor::reject()
{
    if (!m_writer->IsRunning())
        QDialog::reject();
}

void FEntryEditor::writer_Finished(CPeerWriter::EResult result, const QString& error)
{
    m_cmdOk->setEnabled(true);
    m_cmdCancel->setEnabled(true);
    const QString& name = m_savingName;
    if (result == CPeerWriter::EResult::Done) {
        m_content = m_saving;
        m_entry = name;
        m_txtPassword->clear();
        emit Saved(true);
        accept();
        return;
    }
    const SPeerWriterOptions& options = m_writer->Options();
    QString text;
    if (result == CPeerWriter::EResult::NoRunner) {
        const QString userName = m_saving.Settings().userName;
        text = QStringLiteral("The entry '%1' cannot be saved: %2 to ask an administrator for "
                              "the rights to write the phonebook.\nYour changes are still in the "
                              "dialog. An administrator can save them by writing the file %3 "
                              "(owner root, group dip, mode 0640) with these lines:\n\n%4")
                   .arg(name, error, m_folder.FilePath(name), m_saving.Text());
        if (!m_txtPassword->text().isEmpty())
            text += QStringLiteral("\nand the password of the user %1 in a line "
                                   "\"\"%1\" * \"PASSWORD\"\" of %2/pap-secrets and "
                                   "%2/chap-secrets (owner root, mode 0600).")
                        .arg(userName, options.secretsFolder);
    } else if (options.direct) {
        text = QStringLiteral("The entry '%1' cannot be saved: you may not write the phonebook "
                              "folder %2 (%3).\nYour changes are still in the dialog; ask an "
                              "administrator to save them.")
                   .arg(name, m_folder.Path(), error);
    } else {
        const QString reason = error.endsWith(u'.') ? error.chopped(1) : error;
        text = QStringLiteral("The entry '%1' cannot be saved: %2.\nYour changes are still in "
                              "the dialog.")
                   .arg(name, reason);
    }
    ShowDialupMessage(this, text, EMessageIcon::Exclamation);
    emit Saved(false);
}

void FEntryEditor::Show(const SPeerSettings& settings)
{
    m_cboDevice->setCurrentText(settings.device);
    m_cboSpeed->setCurrentText(QString::number(settings.speed));
    m_optModem->setChecked(settings.modem);
    m_optDirect->setChecked(!settings.modem);
    m_txtPhone->setText(settings.phoneNumber);
    m_txtInit->setText(settings.initString);
    m_cboFlowControl->setCurrentIndex(int(settings.flowControl));
    m_txtUser->setText(settings.userName);
    m_txtLocalAddress->setText(settings.localAddress);
    UpdateModemFields();
}

SPeerSettings FEntryEditor::Shown() const
{
    SPeerSettings settings;
    settings.device = m_cboDevice->currentText().trimmed();
    settings.speed = m_cboSpeed->currentText().toInt();
    settings.modem = m_optModem->isChecked();
    settings.phoneNumber = m_txtPhone->text().trimmed();
    settings.initString = m_txtInit->text().trimmed();
    settings.flowControl = EFlowControl(m_cboFlowControl->currentIndex());
    settings.userName = m_txtUser->text().trimmed();
    settings.localAddress = m_txtLocalAddress->text().trimmed();
    return settings;
}

void FEntryEditor::UpdateModemFields()
{
    const bool modem = m_optModem->isChecked();
    m_txtPhone->setEnabled(modem);
    m_txtInit->setEnabled(modem);
}
