#pragma once

#include "console/dialup/CProgOptions.h"
#include "platform/hostaddr/MHostAddresses.h"

#include <QDialog>
#include <QStringList>

#include <functional>

class QLabel;
class QPushButton;
class QTreeWidget;

// "Available Host IP Address ": the choice of this PC's IPv4 address that
// faces the equipment, stored as "MultiHomed IP Selected". Until an address
// is stored the user must choose one: Cancel and closing are not offered,
// unless there is none to choose; the dialog then says so and can be left.
class FHostIPAddrSelection final : public QDialog {
    Q_OBJECT

public:
    static constexpr const char* kNoAddress =
        "No network address is up on this PC, only the loopback. Connect the PC to the network, "
        "then choose its address here.";

    using AddressSource = std::function<QStringList()>;

    FHostIPAddrSelection(CProgOptions& options, AddressSource addresses = GetLocalAddresses,
                         QWidget* parent = nullptr);

    // Shows the dialog modally and returns the chosen address: the new one
    // after OK, the stored one after Cancel.
    QString Activate(bool RetriveFromReg);

    // Fills the list and applies the Cancel rule, without showing the dialog.
    void Load(bool RetriveFromReg);

    QString SelectedIp() const { return priSelectedIp; }

    QTreeWidget* ListView() const { return m_listView; }
    QLabel* Image1() const { return m_image1; }
    QLabel* Label1() const { return m_label1; }
    // Shown only while the list is empty.
    QLabel* lblNoAddress() const { return m_lblNoAddress; }
    QPushButton* cmdOK() const { return m_cmdOK; }
    QPushButton* cmdCancel() const { return m_cmdCancel; }

    // Without a Cancel, Escape does not close the dialog either.
    void reject() override;

private:
    void cmdOK_Click();
    void ForbidCancel();

    CProgOptions& m_options;
    AddressSource m_addresses;
    QString priSelectedIp;
    bool m_cancelAllowed = true;
    QTreeWidget* m_listView = nullptr;
    QLabel* m_image1 = nullptr;
    QLabel* m_label1 = nullptr;
    QLabel* m_lblNoAddress = nullptr;
    QPushButton* m_cmdOK = nullptr;
    QPushButton* m_cmdCancel = nullptr;
};
