#pragma once

#include <QDialog>
#include <QString>

class QLabel;
class QLineEdit;
class QPushButton;

// The small dialog that takes an address-book entry: a dotted IPv4 address
// and a description. As the add dialog it accepts only a valid address (OK
// stays disabled until there is one); as the edit dialog the address is
// shown but cannot change.
class FAddEditIpAdd final : public QDialog {
    Q_OBJECT

public:
    static constexpr const char* kAddCaption = "Add Ip Address";
    static constexpr const char* kEditCaption = "Edit Ip Address";

    explicit FAddEditIpAdd(QWidget* parent = nullptr);

    // Shows the add dialog modally and returns when it closes.
    void Activate();

    // Shows the edit dialog for the entry modally and returns when it closes.
    void Activate(const QString& ipAddress, const QString& description);

    // What OK took: the address without surrounding blanks, and the description.
    QString IpAddress() const { return m_ipAddress; }
    QString Description() const { return m_description; }

    // True unless the dialog was closed with OK.
    bool Cancelled() const { return !m_ok; }

    QLineEdit* txtIpAddr() const { return m_txtIpAddr; }
    QLineEdit* txtDescription() const { return m_txtDescription; }
    QPushButton* cmdOK() const { return m_cmdOK; }
    QPushButton* cmdCancel() const { return m_cmdCancel; }

private:
    void Reset();
    void cmdOK_Click();
    void txtIpAddr_Change();

    QLineEdit* m_txtIpAddr = nullptr;
    QLineEdit* m_txtDescription = nullptr;
    QPushButton* m_cmdOK = nullptr;
    QPushButton* m_cmdCancel = nullptr;
    bool m_editMode = false;
    bool m_ok = false;
    QString m_ipAddress;
    QString m_description;
};
