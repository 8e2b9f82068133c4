#pragma once

#include "fileserver/ui/CSysInfoLauncher.h"

#include <QDialog>

class QLabel;
class QPushButton;

// The file server's about window: its title, its maker, and a way to the
// desktop's system-information program.
class FAbout final : public QDialog {
    Q_OBJECT

public:
    static constexpr const char* kUnavailable = "System Information Is Unavailable At This Time";

    explicit FAbout(QWidget* parent = nullptr, CSysInfoLauncher launcher = CSysInfoLauncher());

    void SetTitle(const QString& title);
    QString Title() const;

    // Starts the system-information program, or says that none is there.
    void StartSysInfo();

    QPushButton* cmdOK() const { return m_cmdOK; }
    QPushButton* cmdSysInfo() const { return m_cmdSysInfo; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    CSysInfoLauncher m_launcher;
    QLabel* m_lblTitle = nullptr;
    QPushButton* m_cmdOK = nullptr;
    QPushButton* m_cmdSysInfo = nullptr;
};
