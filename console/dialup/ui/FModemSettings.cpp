#include "console/dialup/ui/FModemSettings.h"

#include "console/dialup/ui/MEntryCombo.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

FModemSettings::FModemSettings(CProgOptions& options, SDialupDialogOptions dialup, QWidget* parent)
    : QDialog(parent), m_options(options), m_dialup(dialup.WithDefaults())
{
    setWindowTitle(QStringLiteral("Modem settings"));
    m_lblSelect = new QLabel(QStringLiteral("Use the following entry for modem connection:"), this);
    m_comboSelectEntry = new QComboBox(this);
    m_cmdAdd = new QPushButton(QStringLiteral("Add"), this);
    m_cmdProperties = new QPushButton(QStringLiteral("Properties"), this);
    m_cmdOk = new QPushButton(QStringLiteral("Ok"), this);
    m_cmdOk->setDefault(true);
    m_cmdCancel = new QPushButton(QStringLiteral("Cancel"), this);

    auto* entryRow = new QHBoxLayout;
    entryRow->addWidget(m_comboSelectEntry, 1);
    entryRow->addWidget(m_cmdAdd);
    entryRow->addWidget(m_cmdProperties);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_cmdOk);
    buttons->addWidget(m_cmdCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_lblSelect);
    layout->addLayout(entryRow);
    layout->addLayout(buttons);

    connect(m_comboSelectEntry, &QComboBox::currentIndexChanged, this,
            [this](int index) { m_cmdProperties->setEnabled(index >= 0); });
    connect(m_cmdAdd, &QPushButton::clicked, this, &FModemSettings::cmdAdd_Click);
    connect(m_cmdProperties, &QPushButton::clicked, this, &FModemSettings::cmdProperties_Click);
    connect(m_cmdOk, &QPushButton::clicked, this, &FModemSettings::cmdOk_Click);
    connect(m_cmdCancel, &QPushButton::clicked, this, &QDialog::reject);

    RefreshEntries();
}

void FModemSettings::RefreshEntries()
{
    if (!IsRasInstalled(m_dialup.pppdProgram))
        return;
    if (FillEntryCombo(m_comboSelectEntry, m_dialup.peersFolder) == -1) {
        m_cmdProperties->setEnabled(false);
        return;
    }
    m_cmdProperties->setEnabled(true);
    const QString stored = m_options.ModemEntry();
    int found = -1;
    for (int i = 0; i < m_comboSelectEntry->count() && !stored.isEmpty(); ++i) {
        if (m_comboSelectEntry->itemText(i) == stored) {
            found = i;
            break;
        }
    }
    m_comboSelectEntry->setCurrentIndex(found);
    m_cmdProperties->setEnabled(found >= 0);
}

void FModemSettings::cmdAdd_Click()
{
    emit OnPhonebookEditorActive(true);
    m_dialup.createEntry(this, QString());
    emit OnPhonebookEditorActive(false);
    RefreshEntries();
}

void FModemSettings::cmdProperties_Click()
{
    if (!IsRasInstalled(m_dialup.pppdProgram))
        return;
    const QString chosen = m_comboSelectEntry->currentText();
    const QStringList entries = EnumRasEntries(m_dialup.peersFolder);
    for (const QString& entry : entries) {
        if (entry == chosen) {
            emit OnPhonebookEditorActive(true);
            m_dialup.editEntry(this, entry);
            emit OnPhonebookEditorActive(false);
            return;
        }
    }
}

void FModemSettings::cmdOk_Click()
{
    // Stored as shown, also when empty.
    m_options.SetModemEntry(m_comboSelectEntry->currentText());
    accept();
}
