#include "fileserver/ui/FAbout.h"

#include "common/messages/CMessageService.h"
#include "common/ui/MWinForms.h"

#include <QCoreApplication>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

const char* const kCaption = "About ";
const char* const kCompany = "Brennor";
const char* const kDisclaimer =
    "Warning: this program is protected by copyright law. Copying or passing it on, "
    "in whole or in part, without the maker's consent is not allowed.";
const char* const kOk = "OK";
const char* const kSysInfo = "&System Info...";
const char* const kIconResource = ":/tallis/Image1.png";

QFrame* Line(QWidget* parent)
{
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

} // namespace

FAbout::FAbout(QWidget* parent, CSysInfoLauncher launcher)
    : QDialog(parent), m_launcher(std::move(launcher))
{
    setWindowTitle(QLatin1String(kCaption));

    auto* picIcon = new QLabel(this);
    picIcon->setPixmap(QPixmap(QLatin1String(kIconResource)));
    m_lblTitle = new QLabel(this);
    QFont titleFont = m_lblTitle->font();
    titleFont.setBold(true);
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.3);
    m_lblTitle->setFont(titleFont);
    auto* label1 = new QLabel(QLatin1String(kCompany), this);
    auto* lblDisclaimer = new QLabel(QLatin1String(kDisclaimer), this);
    lblDisclaimer->setWordWrap(true);
    m_cmdOK = new QPushButton(QLatin1String(kOk), this);
    m_cmdOK->setDefault(true);
    m_cmdSysInfo = new QPushButton(QLatin1String(kSysInfo), this);

    auto* top = new QGridLayout;
    top->addWidget(picIcon, 0, 0, 2, 1, Qt::AlignTop);
    top->addWidget(m_lblTitle, 0, 1);
    top->addWidget(label1, 1, 1);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(m_cmdOK);
    buttons->addWidget(m_cmdSysInfo);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(lblDisclaimer, 1);
    bottom->addLayout(buttons);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(Line(this));
    layout->addWidget(Line(this));
    layout->addLayout(bottom);

    connect(m_cmdOK, &QPushButton::clicked, this, &FAbout::close);
    connect(m_cmdSysInfo, &QPushButton::clicked, this, &FAbout::StartSysInfo);
}

void FAbout::SetTitle(const QString& title)
{
    m_lblTitle->setText(title);
}

QString FAbout::Title() const
{
    return m_lblTitle->text();
}

void FAbout::StartSysInfo()
{
    if (m_launcher.Start())
        return;
    CMessageService::Show({QLatin1String(kUnavailable), QCoreApplication::applicationName(),
                           EMessageIcon::None, EMessageButtons::Ok},
                          this);
}

void FAbout::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    CenterOnScreen(this);
}
