#include "console/dialup/ui/FHostIPAddrSelection.h"

#include "common/ui/MWinForms.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

constexpr int kKeyRole = Qt::UserRole;
constexpr int kImageSize = 32;

} // namespace

FHostIPAddrSelection::FHostIPAddrSelection(CProgOptions& options, AddressSource addresses,
                                           QWidget* parent)
    : QDialog(parent), m_options(options), m_addresses(std::move(addresses))
{
    setWindowTitle(QStringLiteral("Available Host IP Address "));
    m_listView = new QTreeWidget(this);
    m_listView->setColumnCount(1);
    m_listView->setHeaderLabels({QStringLiteral("Ip Address")});
    m_listView->setRootIsDecorated(false);
    m_listView->setSelectionMode(QAbstractItemView::SingleSelection);
    m_image1 = new QLabel(this);
    m_image1->setPixmap(style()->standardIcon(QStyle::SP_ComputerIcon).pixmap(kImageSize));
    m_label1 = new QLabel(QStringLiteral("In a Multi-Homed Host one IP Address must be used as a "
                                         "Network Manager.Select one from the above list"),
                          this);
    m_label1->setWordWrap(true);
    m_lblNoAddress = new QLabel(QLatin1String(kNoAddress), this);
    m_lblNoAddress->setObjectName(QStringLiteral("lblNoAddress"));
    m_lblNoAddress->setWordWrap(true);
    m_lblNoAddress->hide();
    m_cmdOK = new QPushButton(QStringLiteral("OK"), this);
    m_cmdOK->setDefault(true);
    m_cmdCancel = new QPushButton(QStringLiteral("Cancel"), this);

    auto* note = new QHBoxLayout;
    note->addWidget(m_image1);
    note->addWidget(m_label1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_cmdOK);
    buttons->addWidget(m_cmdCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_listView);
    layout->addWidget(m_lblNoAddress);
    layout->addLayout(note);
    layout->addLayout(buttons);

    // OK stores the selected row: without one there is nothing to store.
    m_cmdOK->setEnabled(false);
    connect(m_listView, &QTreeWidget::itemSelectionChanged, this,
            [this] { m_cmdOK->setEnabled(!m_listView->selectedItems().isEmpty()); });
    connect(m_listView, &QTreeWidget::itemDoubleClicked, this, &FHostIPAddrSelection::cmdOK_Click);
    connect(m_cmdOK, &QPushButton::clicked, this, &FHostIPAddrSelection::cmdOK_Click);
    connect(m_cmdCancel, &QPushButton::clicked, this, &FHostIPAddrSelection::reject);
}

QString FHostIPAddrSelection::Activate(bool RetriveFromReg)
{
    Load(RetriveFromReg);
    exec();
    return priSelectedIp;
}

void FHostIPAddrSelection::Load(bool RetriveFromReg)
{
    m_listView->clear();
    const QStringList addresses = m_addresses ? m_addresses() : QStringList();
    for (const QString& address : addresses) {
        auto* row = new QTreeWidgetItem(m_listView, {address});
        row->setData(0, kKeyRole, QStringLiteral("K") + address);
    }
    // With nothing to choose, insisting on a choice would hold the user in a
    // dialog that cannot be left.
    m_lblNoAddress->setVisible(addresses.isEmpty());
    if (addresses.isEmpty()) {
        if (RetriveFromReg)
            priSelectedIp = m_options.MultiHomedIp();
        return;
    }
    if (!RetriveFromReg) {
        ForbidCancel();
        return;
    }
    priSelectedIp = m_options.MultiHomedIp();
    if (priSelectedIp.isEmpty()) {
        ForbidCancel();
        return;
    }
    const QString key = QStringLiteral("K") + priSelectedIp;
    for (int i = 0; i < m_listView->topLevelItemCount(); ++i) {
        QTreeWidgetItem* row = m_listView->topLevelItem(i);
        if (row->data(0, kKeyRole).toString() == key) {
            m_listView->setCurrentItem(row);
            row->setSelected(true);
            break;
        }
    }
}

void FHostIPAddrSelection::reject()
{
    if (m_cancelAllowed)
        QDialog::reject();
}

void FHostIPAddrSelection::cmdOK_Click()
{
    const QList<QTreeWidgetItem*> selected = m_listView->selectedItems();
    if (selected.isEmpty())
        return;
    priSelectedIp = selected.first()->data(0, kKeyRole).toString().mid(1);
    m_options.SetMultiHomedIp(priSelectedIp);
    accept();
}

void FHostIPAddrSelection::ForbidCancel()
{
    m_cancelAllowed = false;
    m_cmdCancel->setEnabled(false);
    RemoveCloseMenu(this);
}
