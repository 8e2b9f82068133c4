#include "console/dialup/ui/FOptions.h"

#include "console/dialup/ui/FHostIPAddrSelection.h"
#include "console/dialup/ui/FModemSettings.h"
#include "console/dialup/ui/MDialupMessages.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

FOptions::FOptions(CProgOptions& options, SDialupDialogOptions dialup, QWidget* parent)
    : QDialog(parent), m_options(options), m_dialup(dialup.WithDefaults())
{
    setWindowTitle(QStringLiteral("Options"));

    m_frmPpp = new QGroupBox(QStringLiteral("PPP"), this);
    m_optionConnType[0] =
        new QRadioButton(QStringLiteral("Connect using direct serial cable"), m_frmPpp);
    m_optionConnType[1] = new QRadioButton(QStringLiteral("Connect using a modem"), m_frmPpp);
    m_optionGroup = new QButtonGroup(this);
    m_optionGroup->addButton(m_optionConnType[0], CProgOptions::kDirectCable);
    m_optionGroup->addButton(m_optionConnType[1], CProgOptions::kModem);
    m_cmdDirectSettings = new QPushButton(QStringLiteral("Settings..."), m_frmPpp);
    m_cmdModemSettings = new QPushButton(QStringLiteral("Settings..."), m_frmPpp);
    auto* ppp = new QGridLayout(m_frmPpp);
    ppp->addWidget(m_optionConnType[0], 0, 0);
    ppp->addWidget(m_cmdDirectSettings, 0, 1);
    ppp->addWidget(m_optionConnType[1], 1, 0);
    ppp->addWidget(m_cmdModemSettings, 1, 1);

    m_frmLan = new QGroupBox(QStringLiteral("LAN"), this);
    m_cmdLanSettings = new QPushButton(QStringLiteral("Settings..."), m_frmLan);
    auto* lan = new QHBoxLayout(m_frmLan);
    lan->addStretch();
    lan->addWidget(m_cmdLanSettings);

    m_cmdOk = new QPushButton(QStringLiteral("Ok"), this);
    m_cmdOk->setDefault(true);
    m_cmdCancel = new QPushButton(QStringLiteral("Cancel"), this);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_cmdOk);
    buttons->addWidget(m_cmdCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_frmPpp);
    layout->addWidget(m_frmLan);
    layout->addLayout(buttons);

    connect(m_optionGroup, &QButtonGroup::idClicked, this, &FOptions::OptionConnType_Click);
    connect(m_cmdDirectSettings, &QPushButton::clicked, this, &FOptions::cmdDirectSettings_Click);
    connect(m_cmdModemSettings, &QPushButton::clicked, this, &FOptions::cmdModemSettings_Click);
    connect(m_cmdLanSettings, &QPushButton::clicked, this, &FOptions::CmdLanSettings_Click);
    connect(m_cmdOk, &QPushButton::clicked, this, &FOptions::cmdOk_Click);
    connect(m_cmdCancel, &QPushButton::clicked, this, &QDialog::reject);

    SelectOption(m_options.ConnType());
}

// Selects the option of a connection type; none for a type it does not know.
void FOptions::SelectOption(int index)
{
    QAbstractButton* option = m_optionGroup->button(index);
    if (option) {
        option->setChecked(true);
        return;
    }
    m_optionGroup->setExclusive(false);
    for (QRadioButton* each : m_optionConnType)
        each->setChecked(false);
    m_optionGroup->setExclusive(true);
}

void FOptions::OptionConnType_Click(int)
{
    if (IsRasInstalled(m_dialup.pppdProgram))
        return;
    ShowDialupMessage(this, QStringLiteral("You must install the Remote Access Service before!"),
                      EMessageIcon::Information);
    // The click would have changed the choice: the stored one stays shown.
    SelectOption(m_options.ConnType());
}

void FOptions::cmdDirectSettings_Click()
{
    const QString entry = QString::fromLatin1(CProgOptions::kDirectCableEntry);
    const QString notFound = QStringLiteral("Remote Access entry 'TarnDirectPPP' not found");
    if (!IsRasInstalled(m_dialup.pppdProgram)) {
        ShowDialupMessage(this, notFound, EMessageIcon::Exclamation);
        return;
    }
    // Outside the group dip the folder cannot be listed: the entry may well be there.
    const EEntryLookup lookup = LookUpRasEntry(entry, m_dialup.peersFolder);
    if (lookup == EEntryLookup::PhonebookUnreadable) {
        ShowDialupMessage(this, PhonebookUnreadableText(entry), EMessageIcon::Exclamation);
        return;
    }
    const bool found = lookup == EEntryLookup::Found;
    if (!found) {
        SMessage offer;
        offer.text = notFound + QStringLiteral("\n\nCreate it now?");
        offer.title = QString::fromLatin1(kConsoleTitle);
        offer.icon = EMessageIcon::Question;
        offer.buttons = EMessageButtons::YesNo;
        if (CMessageService::Show(offer, this) != EMessageResult::Yes)
            return;
    }
    emit OnPhonebookEditorActive(true);
    if (found)
        m_dialup.editEntry(this, entry);
    else
        m_dialup.createEntry(this, entry);
    emit OnPhonebookEditorActive(false);
}

void FOptions::cmdModemSettings_Click()
{
    if (!IsRasInstalled(m_dialup.pppdProgram))
        return;
    FModemSettings modem(m_options, m_dialup, this);
    connect(&modem, &FModemSettings::OnPhonebookEditorActive, this,
            &FOptions::OnPhonebookEditorActive);
    modem.exec();
}

void FOptions::CmdLanSettings_Click()
{
    FHostIPAddrSelection selection(m_options, m_dialup.localAddresses, this);
    selection.Activate(true);
}

void FOptions::cmdOk_Click()
{
    // With neither option selected nothing is stored.
    if (m_optionConnType[0]->isChecked())
        m_options.SetConnType(CProgOptions::kDirectCable);
    else if (m_optionConnType[1]->isChecked())
        m_options.SetConnType(CProgOptions::kModem);
    accept();
}
