#include "console/ui/FAddEditIpAdd.h"

#include "console/settings/CIpAddressBook.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <QValidator>

namespace {

// Lets through what can still become a dotted IPv4 address: digits and dots
// in at most four parts of at most three digits, blanks only at the ends.
class CIpAddressValidator final : public QValidator {
public:
    explicit CIpAddressValidator(QObject* parent) : QValidator(parent) {}

    State validate(QString& input, int&) const override
    {
        const QString text = input.trimmed();
        if (CIpAddressBook::IsDottedIPv4(text))
            return Acceptable;
        const QStringList parts = text.split(QLatin1Char('.'));
        if (parts.size() > 4)
            return Invalid;
        for (const QString& part : parts) {
            if (part.size() > 3)
                return Invalid;
            for (const QChar c : part) {
                if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                    return Invalid;
            }
            if (!part.isEmpty() && part.toInt() > 255)
                return Invalid;
        }
        return Intermediate;
    }
};

} // namespace

FAddEditIpAdd::FAddEditIpAdd(QWidget* parent) : QDialog(parent)
{
    setModal(true);
    setWindowTitle(QLatin1String(kAddCaption));

    m_txtIpAddr = new QLineEdit(this);
    m_txtIpAddr->setValidator(new CIpAddressValidator(m_txtIpAddr));
    m_txtIpAddr->setPlaceholderText(QStringLiteral("0.0.0.0"));
    m_txtDescription = new QLineEdit(this);

    auto* fields = new QFormLayout;
    fields->addRow(new QLabel(QStringLiteral("IpAddress"), this), m_txtIpAddr);
    fields->addRow(new QLabel(QStringLiteral("Description"), this), m_txtDescription);

    auto* buttons = new QDialogButtonBox(this);
    m_cmdOK = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    m_cmdCancel = buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
    m_cmdOK->setDefault(true);
    connect(m_cmdOK, &QPushButton::clicked, this, &FAddEditIpAdd::cmdOK_Click);
    connect(m_cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_txtIpAddr, &QLineEdit::textChanged, this, &FAddEditIpAdd::txtIpAddr_Change);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addWidget(buttons);
    setMinimumWidth(360);
    txtIpAddr_Change();
}

void FAddEditIpAdd::Activate()
{
    Reset();
    m_editMode = false;
    setWindowTitle(QLatin1String(kAddCaption));
    m_txtIpAddr->clear();
    m_txtDescription->clear();
    m_txtIpAddr->setReadOnly(false);
    txtIpAddr_Change();
    m_txtIpAddr->setFocus();
    exec();
}

void FAddEditIpAdd::Activate(const QString& ipAddress, const QString& description)
{
    Reset();
    m_editMode = true;
    setWindowTitle(QLatin1String(kEditCaption));
    m_txtIpAddr->setText(ipAddress);
    m_txtDescription->setText(description);
    // Only the description of an entry can change: the address is its key.
    m_txtIpAddr->setReadOnly(true);
    txtIpAddr_Change();
    m_txtDescription->setFocus();
    exec();
}

void FAddEditIpAdd::Reset()
{
    m_ok = false;
    m_ipAddress.clear();
    m_description.clear();
}

void FAddEditIpAdd::cmdOK_Click()
{
    if (!m_cmdOK->isEnabled())
        return;
    m_ok = true;
    m_ipAddress = m_txtIpAddr->text().trimmed();
    m_description = m_txtDescription->text();
    accept();
}

void FAddEditIpAdd::txtIpAddr_Change()
{
    // An empty or partial address would end the stored book early: the add
    // dialog takes a whole dotted address only. An entry being edited keeps
    // its stored address, whatever it is.
    m_cmdOK->setEnabled(m_editMode || CIpAddressBook::IsDottedIPv4(m_txtIpAddr->text().trimmed()));
}
