#include "console/ui/FRescueLogin.h"

#include "common/ui/MWinForms.h"
#include "console/equipment/MRescueGlobals.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>
#include <QValidator>

namespace {

const char* const kInstructions[] = {
    "In order to execute a rescue connection, please do the followings:",
    "(1) assign the ethernet adapter you are using the IP address      "
    "172.20.253.14/255.255.0.0;",
    "(2) connect the ethernet adapter directly to the equipment;",
    "(3) click the \"Ok\" button;",
    "(4) (re)start the equipment;",
    "(5) wait till a browser session will open on the equipment.",
    "Note. The operation may take a few minutes.",
};

// Takes every character in upper case, typed or pasted.
class CUpperCaseValidator final : public QValidator {
public:
    explicit CUpperCaseValidator(QObject* parent) : QValidator(parent) {}

    State validate(QString& input, int&) const override
    {
        input = input.toUpper();
        return Acceptable;
    }
};

} // namespace

FRescueLogin::FRescueLogin(QWidget* parent, int progressIntervalMs) : QDialog(parent)
{
    setObjectName(QStringLiteral("FRescueLogin"));
    setWindowTitle(QStringLiteral("Rescue Login"));

    frmWarning = new QGroupBox(this);
    frmWarning->setObjectName(QStringLiteral("frmWarning"));
    imgWarning = new QLabel(frmWarning);
    imgWarning->setObjectName(QStringLiteral("imgWarning"));
    imgWarning->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(32, 32));
    auto* warningLines = new QVBoxLayout;
    for (const char* line : kInstructions) {
        auto* label = new QLabel(QString::fromLatin1(line), frmWarning);
        label->setObjectName(QStringLiteral("lblWarning"));
        lblWarning.append(label);
        warningLines->addWidget(label);
    }
    auto* warningLayout = new QHBoxLayout(frmWarning);
    warningLayout->addWidget(imgWarning, 0, Qt::AlignTop);
    warningLayout->addLayout(warningLines, 1);

    frmCredentials = new QGroupBox(this);
    frmCredentials->setObjectName(QStringLiteral("frmCredentials"));
    TxtUser = new QLineEdit(frmCredentials);
    TxtUser->setObjectName(QStringLiteral("TxtUser"));
    TxtLocalPwd = new QLineEdit(frmCredentials);
    TxtLocalPwd->setObjectName(QStringLiteral("TxtLocalPwd"));
    TxtLocalPwd->setEchoMode(QLineEdit::Password);
    for (QLineEdit* field : {TxtUser, TxtLocalPwd}) {
        field->setValidator(new CUpperCaseValidator(field));
        field->installEventFilter(this);
    }
    auto* credentialsLayout = new QFormLayout(frmCredentials);
    credentialsLayout->addRow(QStringLiteral("User:"), TxtUser);
    credentialsLayout->addRow(QStringLiteral("Password:"), TxtLocalPwd);

    frmProgress = new QGroupBox(QStringLiteral("Operation Progress"), this);
    frmProgress->setObjectName(QStringLiteral("frmProgress"));
    prgRescue = new QProgressBar(frmProgress);
    prgRescue->setObjectName(QStringLiteral("prgRescue"));
    prgRescue->setRange(0, kProgressMaximum);
    prgRescue->setValue(0);
    prgRescue->setTextVisible(false);
    auto* progressLayout = new QVBoxLayout(frmProgress);
    progressLayout->addWidget(prgRescue);

    cmdOk = new QPushButton(QStringLiteral("Ok"), this);
    cmdOk->setObjectName(QStringLiteral("cmdOk"));
    cmdAbort = new QPushButton(QStringLiteral("Abort"), this);
    cmdAbort->setObjectName(QStringLiteral("cmdAbort"));
    cmdCancel = new QPushButton(QStringLiteral("Cancel"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdOk);
    buttons->addWidget(cmdAbort);
    buttons->addWidget(cmdCancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(frmWarning);
    layout->addWidget(frmCredentials);
    layout->addWidget(frmProgress);
    layout->addLayout(buttons);

    tmrProgress = new QTimer(this);
    tmrProgress->setObjectName(QStringLiteral("tmrProgress"));
    tmrProgress->setInterval(progressIntervalMs);

    connect(cmdOk, &QPushButton::clicked, this, &FRescueLogin::cmdOk_Click);
    connect(cmdAbort, &QPushButton::clicked, this, &FRescueLogin::cmdAbort_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &FRescueLogin::cmdCancel_Click);
    connect(tmrProgress, &QTimer::timeout, this, &FRescueLogin::tmrProgress_Timer);

    Form_Load();
}

FRescueLogin::~FRescueLogin()
{
    gRescueDialogOpen = false;
}

void FRescueLogin::Form_Load()
{
    // Only the buttons end the dialog.
    RemoveCloseMenu(this);
    tmrProgress->stop();
    // The values of the previous start in this run.
    TxtUser->setText(gRescueUser);
    TxtLocalPwd->setText(gRescuePassword);
}

void FRescueLogin::Init()
{
    gRescueDialogOpen = true;
    cmdAbort->setEnabled(false);
    // Switched off, the bar stays in sight, dimmed, so it still shows where it stopped.
    prgRescue->setEnabled(false);
    tmrProgress->stop();
    setWindowModality(Qt::ApplicationModal);
    show();
}

void FRescueLogin::Unload()
{
    close();
    deleteLater();
}

void FRescueLogin::cmdOk_Click()
{
    // Both defaults, even when only one field was left empty.
    if (TxtUser->text().isEmpty() || TxtLocalPwd->text().isEmpty()) {
        TxtUser->setText(QString::fromLatin1(kDefaultUser));
        TxtLocalPwd->setText(QString::fromLatin1(kDefaultPassword));
    }
    cmdOk->setEnabled(false);
    cmdCancel->setEnabled(false);
    cmdAbort->setEnabled(true);
    tmrProgress->start();
    prgRescue->setEnabled(true);
    gRescueUser = TxtUser->text();
    gRescuePassword = TxtLocalPwd->text();
    emit OnStartConnecting();
}

void FRescueLogin::cmdAbort_Click()
{
    ShowIdle();
    emit OnAborted();
}

void FRescueLogin::Stopped()
{
    // Only a waiting dialog goes back: a closing one has Cancel behind it.
    if (cmdAbort->isEnabled())
        ShowIdle();
}

void FRescueLogin::ShowIdle()
{
    cmdOk->setEnabled(true);
    cmdCancel->setEnabled(true);
    cmdAbort->setEnabled(false);
    tmrProgress->stop();
    prgRescue->setValue(0);
    prgRescue->setEnabled(false);
}

void FRescueLogin::cmdCancel_Click()
{
    cmdOk->setEnabled(false);
    emit OnClose();
}

void FRescueLogin::tmrProgress_Timer()
{
    if (prgRescue->value() == prgRescue->maximum())
        prgRescue->setValue(0);
    else
        prgRescue->setValue(prgRescue->value() + kProgressStep);
}

bool FRescueLogin::eventFilter(QObject* watched, QEvent* event)
{
    auto* field = qobject_cast<QLineEdit*>(watched);
    if (field && (field == TxtUser || field == TxtLocalPwd)) {
        if (event->type() == QEvent::FocusIn) {
            // After the field's own focus handling, which may place the cursor.
            QTimer::singleShot(0, field, &QLineEdit::selectAll);
        } else if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter) {
                // Enter moves on and goes no further.
                if (field == TxtUser)
                    TxtLocalPwd->setFocus(Qt::TabFocusReason);
                else
                    cmdOk->setFocus(Qt::TabFocusReason);
                return true;
            }
        }
    }
    return QDialog::eventFilter(watched, event);
}

void FRescueLogin::keyPressEvent(QKeyEvent* event)
{
    // Escape would close the dialog behind the main window's back.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void FRescueLogin::done(int result)
{
    tmrProgress->stop();
    gRescueDialogOpen = false;
    QDialog::done(result);
}
