#include "console/dialup/ui/FEntryEditor.h"

#include "console/dialup/ui/MDialupMessages.h"
#include "platform/dialup/MPppdProgram.h"
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

FEntryEditor::FEntryEditor(CPeersFolder folder, const QString& entry, QWidget* parent,
                           const QString& deviceFolder)
    : QDialog(parent), m_folder(std::move(folder)), m_entry(entry), m_isNew(entry.isEmpty()),
      m_content(CPeerEntry::FromTemplate())
{
    setWindowTitle(m_isNew ? QStringLiteral("New dial-up entry")
                           : QStringLiteral("Properties of %1").arg(entry));

    m_txtName = new QLineEdit(entry, this);
    m_txtName->setReadOnly(!m_isNew);
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
    m_txtUser = new QLineEdit(this);
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
    form->addRow(QStringLiteral("User name:"), m_txtUser);
    form->addRow(QStringLiteral("Local IP address:"), m_txtLocalAddress);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_cmdOk);
    buttons->addWidget(m_cmdCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);

    connect(m_optDirect, &QRadioButton::toggled, this, &FEntryEditor::UpdateModemFields);
    connect(m_cmdOk, &QPushButton::clicked, this, [this] {
        if (Save())
            accept();
    });
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
    const QString name = m_txtName->text();
    if (m_isNew) {
        if (!IsValidEntryName(name)) {
            ShowDialupMessage(this,
                              QStringLiteral("Enter a name for the entry: letters, digits and "
                                             "blanks, without \"/\" and not starting with \".\" "
                                             "or \"-\"."),
                              EMessageIcon::Information);
            return false;
        }
        if (m_folder.Exists(name)) {
            ShowDialupMessage(this, QStringLiteral("An entry named '%1' already exists.").arg(name),
                              EMessageIcon::Information);
            return false;
        }
    }
    const SPeerSettings settings = Shown();
    const QString problem = CPeerEntry::Validate(settings);
    if (!problem.isEmpty()) {
        ShowDialupMessage(this, problem, EMessageIcon::Information);
        return false;
    }
    CPeerEntry content = m_content;
    content.SetSettings(settings);
    QString error;
    if (!m_folder.Write(name, content, error)) {
        ShowDialupMessage(this,
                          QStringLiteral("The entry '%1' cannot be saved: you may not write the "
                                         "phonebook folder %2 (%3).\nYour changes are still in "
                                         "the dialog; ask an administrator to save them.")
                              .arg(name, m_folder.Path(), error),
                          EMessageIcon::Exclamation);
        return false;
    }
    m_content = content;
    m_entry = name;
    return true;
}

void FEntryEditor::Show(const SPeerSettings& settings)
{
    m_cboDevice->setCurrentText(settings.device);
    m_cboSpeed->setCurrentText(QString::number(settings.speed));
    m_optModem->setChecked(settings.modem);
    m_optDirect->setChecked(!settings.modem);
    m_txtPhone->setText(settings.phoneNumber);
    m_txtInit->setText(settings.initString);
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
