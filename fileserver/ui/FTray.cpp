#include "fileserver/ui/FTray.h"

#include "common/ui/CTrayIcon.h"
#include "fileserver/ui/FAbout.h"

#include <QMenu>
#include <QTimer>

namespace {

const char* const kCaption = "Tray";
const char* const kImage1 = ":/tallis/Image1.png";
const char* const kImage2 = ":/tallis/Image2.png";

} // namespace

FTray::FTray(SOptions options, QWidget* parent)
    : QWidget(parent), m_options(std::move(options)), m_image1(QLatin1String(kImage1)),
      m_image2(QLatin1String(kImage2))
{
    setWindowTitle(QLatin1String(kCaption));
    setWindowIcon(m_image1);

    m_mnuMain = new QMenu(QStringLiteral("Menu"), this);
    QAction* mnuMon = m_mnuMain->addAction(QStringLiteral("Monitor"));
    m_mnuMain->addSeparator();
    QAction* mnuAbout = m_mnuMain->addAction(QStringLiteral("About"));
    QAction* mnuOptions = m_mnuMain->addAction(QStringLiteral("Options"));
    mnuOptions->setVisible(false);
    m_mnuLine2 = m_mnuMain->addSeparator();
    m_mnuExit = m_mnuMain->addAction(QStringLiteral("Exit"));
    EnableExitMenu(false);
    connect(mnuMon, &QAction::triggered, this, [this] { emit TrayEvent(TrayShowMon); });
    connect(mnuAbout, &QAction::triggered, this, &FTray::ShowAbout);
    connect(mnuOptions, &QAction::triggered, this, [this] { emit TrayEvent(TrayShowOptions); });
    connect(m_mnuExit, &QAction::triggered, this, [this] { emit TrayEvent(TrayExit); });

    m_timer = new QTimer(this);
    m_timer->setInterval(m_options.blinkIntervalMs);
    connect(m_timer, &QTimer::timeout, this, &FTray::Timer_Timer);

    m_trayIcon = new CTrayIcon(ETrayForm::Server, this, m_options.notifierHost);
    m_trayIcon->SetContextMenu(m_mnuMain);
    connect(m_trayIcon, &CTrayIcon::TrayMessage, this, &FTray::TrayIcon_TrayMessage);
    m_trayIcon->Create(this, QVariant(m_image1), QLatin1String(kTip));
}

FTray::~FTray()
{
    m_trayIcon->Destroy();
}

void FTray::EnableExitMenu(bool enable)
{
    m_mnuLine2->setVisible(enable);
    m_mnuExit->setVisible(enable);
}

void FTray::StartBlinking()
{
    m_blinkState = false;
    ShowImage(m_image2);
    m_timer->start();
}

void FTray::ShowAbout()
{
    if (!m_about) {
        m_about = new FAbout(this);
        m_about->setAttribute(Qt::WA_DeleteOnClose);
    }
    m_about->SetTitle(m_options.serverTitle);
    m_about->show();
    m_about->raise();
    m_about->activateWindow();
}

void FTray::TrayIcon_TrayMessage(std::uint32_t message, std::uint32_t)
{
    // The right button's menu is the icon's own: the tray host shows it.
    if (message == CTrayIcon::kLeftDoubleClick)
        emit TrayEvent(TrayShowMon);
}

void FTray::Timer_Timer()
{
    const bool running = m_options.runningTransfers && m_options.runningTransfers() > 0;
    if (running && m_blinkState) {
        m_blinkState = false;
        ShowImage(m_image2);
    } else if (!m_blinkState && running) {
        m_blinkState = true;
        ShowImage(m_image1);
    }
    if (!running) {
        m_blinkState = false;
        ShowImage(m_image1);
        m_timer->stop();
    }
}

void FTray::ShowImage(const QIcon& image)
{
    m_trayIcon->SetIcon(QVariant(image));
}
