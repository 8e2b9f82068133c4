#pragma once

#include <QDialog>
#include <QList>

class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTimer;

// "Rescue Login": tells the user how to wire up an equipment that has lost
// its configuration, takes the user name and local password (upper case),
// and turns a progress bar while the main window waits for the equipment.
// It does no networking: it leaves the credentials in gRescueUser and
// gRescuePassword and raises its events to the main window:
//
//   OnStartConnecting -> CEquipmentAccess::ConnectToRescueEquipment()
//   OnAborted         -> CEquipmentAccess::CloseRescueSocket()
//   OnClose           -> CEquipmentAccess::CloseRescueSocket(), then Unload()
//   CEquipmentAccess::OnRescueFinished -> Unload()
//   CEquipmentAccess::OnRescueStopped  -> Stopped()
//
// States: Idle (Ok and Cancel enabled, timer off) -> Ok -> Waiting (Abort
// enabled, timer on) -> Abort or Stopped -> Idle; Cancel -> Closing until
// unloaded.
class FRescueLogin final : public QDialog {
    Q_OBJECT

public:
    static constexpr int kProgressIntervalMs = 1000;
    static constexpr int kProgressStep = 10;
    static constexpr int kProgressMaximum = 100;
    static constexpr char kDefaultUser[] = "SYSTEM";
    static constexpr char kDefaultPassword[] = "KORVELAN";

    explicit FRescueLogin(QWidget* parent = nullptr, int progressIntervalMs = kProgressIntervalMs);
    ~FRescueLogin() override;

    // Opens the dialog in its idle state, modal for the whole application.
    // It returns at once: the dialog's events carry on from there.
    void Init();

    // Closes the dialog and deletes it from the event loop; this is how the
    // main window unloads it.
    void Unload();

    // The attempt has ended with nothing left running (the equipment refused
    // or has no login): back to idle as after Abort, the credentials kept,
    // without raising OnAborted. Nothing changes while the dialog closes.
    void Stopped();

signals:
    void OnStartConnecting();
    void OnAborted();
    void OnClose();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void done(int result) override;

private:
    void Form_Load();
    void cmdOk_Click();
    void cmdAbort_Click();
    void cmdCancel_Click();
    void tmrProgress_Timer();
    void ShowIdle();

    QGroupBox* frmCredentials = nullptr;
    QLineEdit* TxtUser = nullptr;
    QLineEdit* TxtLocalPwd = nullptr;
    QGroupBox* frmWarning = nullptr;
    QLabel* imgWarning = nullptr;
    QList<QLabel*> lblWarning;
    QPushButton* cmdOk = nullptr;
    QPushButton* cmdAbort = nullptr;
    QPushButton* cmdCancel = nullptr;
    QGroupBox* frmProgress = nullptr;
    QProgressBar* prgRescue = nullptr;
    QTimer* tmrProgress = nullptr;
};
