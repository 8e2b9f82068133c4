#include "console/ui/FMain.h"

#include "common/messages/CMessageService.h"
#include "common/ui/CTrayIcon.h"
#include "console/MVersion.h"
#include "console/browser/CEquipmentPages.h"
#include "console/dialup/CProgOptions.h"
#include "console/dialup/MCommandStates.h"
#include "console/dialup/ui/FOptions.h"
#include "console/equipment/CEquipmentAccess.h"
#include "console/settings/CSettingsStore.h"
#include "console/settings/MSettings.h"
#include "console/ui/FAddEditIpAdd.h"
#include "console/ui/FRescueLogin.h"
#include "fileserver/cFtpServer.h"
#include "platform/icmp/CIcmpPinger.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QSettings>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

const char* const kHint =
    "Double click an item in the below list to connect via LAN to the specified IP address";
const char* const kConnectTip = "Connect via serial cable or modem/Rescue Conn.";
const char* const kDisconnectTip = "Disconnect serial cable or modem link";
const char* const kRemovePrompt = "Are you sure you want to remove entry %1 ?";
constexpr int kOnLineSize = 24;

// A picture from the desktop's icon theme, or the console's own drawing.
struct SPicture {
    const char* key;
    const char* themeName; // empty: always the console's own
    const char* file;
};

constexpr SPicture kPictures[] = {
    {"Connect", "network-wired", "connect.png"},
    {"Disconnect", "network-offline", "disconnect.png"},
    {"Browser", "web-browser", "browser.png"},
    {"Options", "preferences-system", "options.png"},
    {"Add", "list-add", "add.png"},
    {"Remove", "list-remove", "remove.png"},
    {"Edit", "document-edit", "edit.png"},
    {"Help", "help-browser", "help.png"},
    {"IpAddress", "network-server", "ipaddress.png"},
    {"Ascending", "view-sort-ascending", "ascending.png"},
    {"Descending", "view-sort-descending", "descending.png"},
    {"None", "", "none.png"},
    {"OnLine1", "", "online1.png"},
    {"OnLine2", "", "online2.png"},
};

QIcon LoadPicture(const SPicture& picture)
{
    const QIcon own(QStringLiteral(":/pelion/console/") + QLatin1String(picture.file));
    if (*picture.themeName == '\0')
        return own;
    return QIcon::fromTheme(QLatin1String(picture.themeName), own);
}

QIcon WindowIcon()
{
    QIcon icon(QStringLiteral(":/pelion/console/pelion.png"));
    icon.addFile(QStringLiteral(":/pelion/console/pelion48.png"));
    return icon;
}

QString VersionedCaption()
{
    return QLatin1String(FMain::kDesignCaption) + QStringLiteral(" ver. ") + ProgramVersionText();
}

} // namespace

FMain::FMain(SMainOptions options, QWidget* parent)
    : QMainWindow(parent), m_options(std::move(options)),
      m_store(std::make_unique<CSettingsStore>()),
      m_book(std::make_unique<CIpAddressBook>(*m_store, gIpBookCount))
{
    if (!m_options.pinger) {
        m_ownPinger = std::make_unique<CIcmpPinger>();
        m_options.pinger = m_ownPinger.get();
    }
    if (!m_options.pages) {
        // Without the desktop's window search and default browser both
        // interfaces open through the desktop's handler.
        m_ownPages =
            std::make_unique<CEquipmentPages>(QString(), CEquipmentPages::DesktopLaunchers({}, {}));
        m_options.pages = m_ownPages.get();
    }
    m_access = std::make_unique<CEquipmentAccess>(*m_options.pages, *m_options.pinger,
                                                  m_options.equipment);
    connect(m_access.get(), &CEquipmentAccess::OnAttemptStep, this, &FMain::Access_OnAttemptStep);
    connect(m_access.get(), &CEquipmentAccess::OnRescueFinished, this, [this] {
        if (m_frmRescueLogin)
            m_frmRescueLogin->Unload();
    });
    SDialUpLinkOptions link = m_options.link;
    if (!link.entry) {
        link.entry = [] {
            return gConnType != kConnTypeDirectCable
                       ? gModemEntry
                       : QString::fromLatin1(CProgOptions::kDirectCableEntry);
        };
    }
    m_link = std::make_unique<CDialUpLink>(*m_options.pinger, std::move(link));
    connect(m_link.get(), &CDialUpLink::OnLookChanged, this, &FMain::Link_OnLookChanged);
    connect(m_link.get(), &CDialUpLink::OnStatusText, this,
            [this](const QString& text) { m_stbPanel->setText(text); });
    connect(m_link.get(), &CDialUpLink::OnConnectToEquipment, this, &FMain::ConnectToEquipment);
    connect(m_link.get(), &CDialUpLink::OnUnreachable, this, &FMain::Link_OnUnreachable);
    connect(m_link.get(), &CDialUpLink::OnFailure, this,
            [this](const QString& message) { ShowMessage(message, EMessageIcon::Exclamation); });
    WireOwnCommands();
    setWindowTitle(QLatin1String(kDesignCaption));
    setWindowIcon(WindowIcon());
    for (const SPicture& picture : kPictures)
        m_pictures.insert(QLatin1String(picture.key), LoadPicture(picture));
    CreateControls();
    resize(640, 420);
}

FMain::~FMain()
{
    // A pppd that the link ends now reports to nobody.
    m_link->disconnect(this);
    m_access->disconnect(this);
}

void FMain::WireOwnCommands()
{
    SMainCommands& commands = m_options.commands;
    if (!commands.connectToEquipment)
        commands.connectToEquipment = [this](const QString& address) {
            ConnectToEquipment(address);
        };
    if (!commands.toggleDialUpLink)
        commands.toggleDialUpLink = [this] { ToggleDialUpLink(); };
    if (!commands.startRescueConnection)
        commands.startRescueConnection = [this] { StartRescueConnection(); };
    if (!commands.showOptions)
        commands.showOptions = [this] { ShowOptions(); };
}

void FMain::CreateControls()
{
    m_tmrBalloon = new QTimer(this);
    m_tmrBalloon->setObjectName(QStringLiteral("tmrBalloon"));
    m_tmrBalloon->setInterval(m_options.balloonIntervalMs);
    m_tmrConnectImage = new QTimer(this);
    m_tmrConnectImage->setObjectName(QStringLiteral("tmrConnectImage"));
    m_tmrConnectImage->setInterval(m_options.connectImageIntervalMs);
    connect(m_tmrConnectImage, &QTimer::timeout, this, &FMain::tmrConnectImage_Timer);
    connect(m_tmrBalloon, &QTimer::timeout, this, &FMain::tmrBalloon_Timer);

    CreateToolBar();

    m_stbPanel = new QLabel(this);
    m_stbPanel->setObjectName(QStringLiteral("Status"));
    statusBar()->setObjectName(QStringLiteral("stbMain"));
    statusBar()->addWidget(m_stbPanel, 1);

    auto* central = new QWidget(this);
    auto* centralLayout = new QVBoxLayout(central);
    m_frmMain = new QGroupBox(QStringLiteral("LAN address book"), central);
    m_frmMain->setObjectName(QStringLiteral("frmMain"));
    m_lblHint = new QLabel(QLatin1String(kHint), m_frmMain);
    m_lblHint->setObjectName(QStringLiteral("lblHint"));
    m_lblHint->setWordWrap(true);
    m_lvwIpAdd = new QTreeWidget(m_frmMain);
    m_lvwIpAdd->setObjectName(QStringLiteral("lvwIpAdd"));
    m_lvwIpAdd->setColumnCount(2);
    m_lvwIpAdd->setHeaderLabels({QStringLiteral("IP address"), QStringLiteral("Description")});
    m_lvwIpAdd->setRootIsDecorated(false);
    m_lvwIpAdd->setUniformRowHeights(true);
    m_lvwIpAdd->setSelectionMode(QAbstractItemView::SingleSelection);
    m_lvwIpAdd->header()->setStretchLastSection(true);
    connect(m_lvwIpAdd, &QTreeWidget::itemClicked, this, &FMain::lvwIpAdd_ItemClick);
    connect(m_lvwIpAdd, &QTreeWidget::itemSelectionChanged, this,
            &FMain::lvwIpAdd_SelectionChanged);
    connect(m_lvwIpAdd, &QTreeWidget::itemDoubleClicked, this, &FMain::lvwIpAdd_DblClick);
    connect(m_lvwIpAdd->header(), &QHeaderView::sectionClicked, this,
            [this](int section) { lvwIpAdd_ColumnClick(section + 1); });
    auto* frameLayout = new QVBoxLayout(m_frmMain);
    frameLayout->addWidget(m_lblHint);
    frameLayout->addWidget(m_lvwIpAdd);
    centralLayout->addWidget(m_frmMain);
    setCentralWidget(central);

    CreateTrayMenu();
}

void FMain::CreateToolBar()
{
    m_tlbMain = new QToolBar(QStringLiteral("tlbMain"), this);
    m_tlbMain->setObjectName(QStringLiteral("tlbMain"));
    m_tlbMain->setMovable(false);
    m_tlbMain->setFloatable(false);
    m_tlbMain->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    m_tlbMain->setIconSize(QSize(32, 32));
    m_tlbMain->toggleViewAction()->setVisible(false);
    addToolBar(Qt::TopToolBarArea, m_tlbMain);

    const auto addButton = [this](const char* key, const char* caption, const char* tip) {
        const QString name = QLatin1String(key);
        QAction* button = m_tlbMain->addAction(
            Picture(name == QLatin1String(kKeyConnect) ? QStringLiteral("Connect") : name),
            QLatin1String(caption));
        button->setObjectName(name);
        if (tip)
            button->setToolTip(QLatin1String(tip));
        connect(button, &QAction::triggered, this, [this, name] { tlbMain_ButtonClick(name); });
        m_buttons.insert(name, button);
        // The link's look decides its own three buttons.
        if (name != QLatin1String(kKeyConnect) && name != QLatin1String(kKeyBrowser)
            && name != QLatin1String(kKeyOptions))
            m_buttonWanted.insert(name, true);
        return button;
    };
    QAction* connectButton = addButton(kKeyConnect, "Connect", kConnectTip);
    addButton(kKeyBrowser, "Browser", "Open Pelion session at serial address");
    addButton(kKeyOptions, "Options", "Set up communication");
    m_tlbMain->addSeparator();
    addButton(kKeyAdd, "Add", "Add address to book");
    addButton(kKeyRemove, "Remove", "Remove selected address from book");
    addButton(kKeyEdit, "Edit", "Edit selected address in book");
    m_tlbMain->addSeparator();
    addButton(kKeyHelp, "Help", nullptr);

    auto* buttonMenu = new QMenu(this);
    const auto addMenuItem = [this, buttonMenu](const char* key, const char* caption) {
        const QString name = QLatin1String(key);
        QAction* item = buttonMenu->addAction(QLatin1String(caption));
        item->setObjectName(name);
        connect(item, &QAction::triggered, this, [this, name] { tlbMain_ButtonMenuClick(name); });
    };
    addMenuItem(kKeyConnectViaSerial, "Connect via serial cable or modem");
    addMenuItem(kKeyRescueConnection, "Rescue Connection");
    connectButton->setMenu(buttonMenu);
    if (auto* tool = qobject_cast<QToolButton*>(m_tlbMain->widgetForAction(connectButton)))
        tool->setPopupMode(QToolButton::MenuButtonPopup);

    // The on-line indicator sits at the toolbar's far end.
    auto* spacer = new QWidget(m_tlbMain);
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    m_tlbMain->addWidget(spacer);
    m_imgOnLine = new QLabel(m_tlbMain);
    m_imgOnLine->setObjectName(QStringLiteral("imgOnLine"));
    m_imgOnLine->setPixmap(Picture(QStringLiteral("OnLine1")).pixmap(kOnLineSize));
    m_imgOnLine->setToolTip(QLatin1String(CDialUpLink::kStatusConnected));
    m_frmOnLine = m_tlbMain->addWidget(m_imgOnLine);
    m_frmOnLine->setVisible(false);
}

void FMain::CreateTrayMenu()
{
    m_mnuMain = new QMenu(QStringLiteral("mnuMain"), this);
    m_mnuMain->setObjectName(QStringLiteral("mnuMain"));
    const char* const captions[] = {"Pelion Main",       "Connect", "Disconnect",
                                    "Rescue Connection", "Browser", "Exit"};
    for (int index = kTrayShow; index <= kTrayExit; ++index) {
        QAction* item = m_mnuMain->addAction(QLatin1String(captions[index - 1]));
        item->setObjectName(QStringLiteral("mnuTray%1").arg(index));
        connect(item, &QAction::triggered, this, [this, index] { mnuTray_Click(index); });
        m_mnuTray.at(std::size_t(index)) = item;
    }
}

void FMain::setVisible(bool visible)
{
    // The window loads before it first shows, when no address-book row has
    // loaded it already.
    if (visible && !m_loaded)
        Form_Load();
    QMainWindow::setVisible(visible);
}

void FMain::Form_Load()
{
    if (m_loaded)
        return;
    m_loaded = true;
    m_link->StopTimers();
    m_tmrBalloon->stop();
    setWindowTitle(VersionedCaption());
    SetupIpList();
    UpdateDisconnectedStatusStuff();

    priTrayIcon = new CTrayIcon(ETrayForm::Console, this, m_options.notifierHost);
    priTrayIcon->setObjectName(QStringLiteral("priTrayIcon"));
    priTrayIcon->SetContextMenu(m_mnuMain);
    connect(priTrayIcon, &CTrayIcon::TrayMessage, this, &FMain::priTrayIcon_TrayMessage);
    priTrayIcon->Create(this, QVariant(windowIcon()), windowTitle());

    priHttpServer = std::make_unique<Wicklow>(m_options.helpAddress);
    connect(priHttpServer.get(), &Wicklow::OnStatusChange, this,
            &FMain::priHttpServer_OnStatusChange);
    const long opened = priHttpServer->OpenRootFolder(gWwwRoot);
    const long listening = priHttpServer->StartListening(gWwwRoot, m_options.helpPort);
    // A port held by another process has had its own message through
    // OnStatusChange; the folder message would send the user looking for
    // a folder that is there.
    const bool portHeld = listening == Wicklow::kAddressInUse;
    if (opened != Wicklow::kOk || (listening != Wicklow::kOk && !portHeld))
        ShowMessage(QLatin1String(kHelpFolderMessage), EMessageIcon::Information);
    if (opened != Wicklow::kOk && listening != Wicklow::kOk)
        priHttpServer.reset();

    priFtpServerRef = m_options.fileServer;
    if (priFtpServerRef) {
        connect(priFtpServerRef, &cFtpServer::OnTrayEvent, this,
                &FMain::priFtpServerRef_OnTrayEvent);
        priFtpServerRef->SetEnable(true);
    }
    QCoreApplication::processEvents();
}

void FMain::closeEvent(QCloseEvent* event)
{
    // Only "Exit" unloads without asking. Any other close request, from the
    // user or the desktop, puts the window away into the tray; without a tray
    // it could not come back, so the user decides whether the program ends.
    if (!m_unloading) {
        event->ignore();
        if (TrayShown()) {
            hide();
            return;
        }
        const EMessageResult answer =
            CMessageService::Show({QLatin1String(kQuitQuestion), QLatin1String(kApplicationTitle),
                                   EMessageIcon::Question, EMessageButtons::YesNo},
                                  this);
        if (answer != EMessageResult::Yes)
            return;
        m_unloading = true;
        Form_Unload();
    }
    event->accept();
    // A quitting application may close the window once more: the program
    // ends once.
    if (m_ended)
        return;
    m_ended = true;
    if (m_options.endProgram)
        m_options.endProgram();
    else
        QCoreApplication::quit();
}

bool FMain::TrayShown() const
{
    // Asked at each close: a panel restarted brings its tray back, or takes it away.
    return m_options.trayAvailable ? m_options.trayAvailable()
                                   : priTrayIcon && priTrayIcon->IsVisible();
}

void FMain::Unload()
{
    if (m_unloading)
        return;
    m_unloading = true;
    Form_Unload();
    close();
}

void FMain::Form_Unload()
{
    m_store->WriteWwwRoot(gWwwRoot);
    priHttpServer.reset();
    const bool managerRunning = m_options.isManagerRunning && m_options.isManagerRunning();
    // The sibling manager takes the file server over: it is left running.
    if (priFtpServerRef && !managerRunning) {
        priFtpServerRef->CloseMe();
        priFtpServerRef = nullptr;
    }
    m_tmrBalloon->stop();
    m_link->StopTimers();
    m_tmrConnectImage->stop();
    if (priTrayIcon)
        priTrayIcon->Destroy();
    // The guide opens in the browser, so no help window of ours is open.
    // The console's other windows are this window's children; a window that
    // opens another as it closes is caught by the second pass.
    for (int pass = 0; pass < 2; ++pass) {
        for (QWidget* child : findChildren<QWidget*>()) {
            if (child->isWindow() && child->isVisible())
                child->close();
        }
    }
    QCoreApplication::processEvents();
}

void FMain::SetToolButtonEnabled(const QString& key, bool enabled)
{
    if (!m_buttonWanted.contains(key))
        return;
    m_buttonWanted.insert(key, enabled);
    ApplyCommandStates();
}

void FMain::ApplyCommandStates()
{
    for (auto it = m_buttonWanted.cbegin(); it != m_buttonWanted.cend(); ++it)
        m_buttons.value(it.key())->setEnabled(it.value());
    const SCommandStates states = CommandStates(m_look, m_phonebookEditorActive);
    m_buttons.value(QLatin1String(kKeyConnect))->setEnabled(states.connectButton);
    m_buttons.value(QLatin1String(kKeyBrowser))->setEnabled(states.browserButton);
    m_buttons.value(QLatin1String(kKeyOptions))->setEnabled(states.optionsButton);
    m_mnuTray.at(kTrayConnect)->setEnabled(states.trayConnect);
    m_mnuTray.at(kTrayDisconnect)->setEnabled(states.trayDisconnect);
    m_mnuTray.at(kTrayBrowser)->setEnabled(states.trayBrowser);
}

void FMain::Link_OnLookChanged(const SLinkLook& look)
{
    m_look = look;
    if (look.look != ELinkLook::Busy) {
        const bool connected = look.look == ELinkLook::Connected;
        QAction* connectButton = m_buttons.value(QLatin1String(kKeyConnect));
        connectButton->setText(connected ? QStringLiteral("Disconnect")
                                         : QStringLiteral("Connect"));
        connectButton->setToolTip(QLatin1String(connected ? kDisconnectTip : kConnectTip));
        connectButton->setIcon(
            Picture(connected ? QStringLiteral("Disconnect") : QStringLiteral("Connect")));
        m_frmOnLine->setVisible(connected);
        if (connected)
            m_tmrConnectImage->start();
        else
            m_tmrConnectImage->stop();
    }
    ApplyCommandStates();
}

void FMain::Link_OnUnreachable(const QString& text)
{
    if (priTrayIcon)
        priTrayIcon->BalloonMsgOn(windowTitle(), text, CTrayIcon::kBalloonError);
    m_tmrBalloon->setInterval(m_options.balloonIntervalMs);
    m_tmrBalloon->start();
}

void FMain::tmrConnectImage_Timer()
{
    ++priConnectImageIndex;
    if (priConnectImageIndex == 3)
        priConnectImageIndex = 1;
    m_imgOnLine->setPixmap(Picture(QStringLiteral("OnLine") + QString::number(priConnectImageIndex))
                               .pixmap(kOnLineSize));
}

void FMain::tmrBalloon_Timer()
{
    m_tmrBalloon->stop();
    if (priTrayIcon)
        priTrayIcon->BalloonMsgOff();
}

void FMain::tlbMain_ButtonClick(const QString& key)
{
    const SMainCommands& commands = m_options.commands;
    if (key == QLatin1String(kKeyConnect)) {
        if (commands.toggleDialUpLink)
            commands.toggleDialUpLink();
    } else if (key == QLatin1String(kKeyBrowser)) {
        if (commands.connectToEquipment)
            commands.connectToEquipment(m_link->PeerIpAddress());
    } else if (key == QLatin1String(kKeyOptions)) {
        if (commands.showOptions)
            commands.showOptions();
    } else if (key == QLatin1String(kKeyAdd)) {
        AddIpEntry();
    } else if (key == QLatin1String(kKeyRemove)) {
        RemoveIpEntry();
    } else if (key == QLatin1String(kKeyEdit)) {
        EditIpEntry();
    } else if (key == QLatin1String(kKeyHelp)) {
        ShowHelp();
    }
}

void FMain::tlbMain_ButtonMenuClick(const QString& key)
{
    const SMainCommands& commands = m_options.commands;
    if (key == QLatin1String(kKeyConnectViaSerial) && commands.toggleDialUpLink)
        commands.toggleDialUpLink();
    else if (key == QLatin1String(kKeyRescueConnection) && commands.startRescueConnection)
        commands.startRescueConnection();
}

void FMain::mnuTray_Click(int index)
{
    const SMainCommands& commands = m_options.commands;
    switch (index) {
    case kTrayShow: ShowMainWindow(); break;
    case kTrayConnect:
    case kTrayDisconnect:
        if (commands.toggleDialUpLink)
            commands.toggleDialUpLink();
        break;
    case kTrayRescue:
        if (commands.startRescueConnection)
            commands.startRescueConnection();
        break;
    case kTrayBrowser:
        if (commands.connectToEquipment)
            commands.connectToEquipment(m_link->PeerIpAddress());
        break;
    case kTrayExit: Unload(); break;
    default: break;
    }
}

void FMain::ShowMainWindow()
{
    if (isMinimized())
        showNormal();
    else
        show();
    raise();
    activateWindow();
}

void FMain::priTrayIcon_TrayMessage(std::uint32_t message, std::uint32_t)
{
    // The right button's menu is the icon's own: the tray host shows it.
    if (message == CTrayIcon::kLeftDoubleClick)
        ShowMainWindow();
}

void FMain::priFtpServerRef_OnTrayEvent(TrayEvents eventCode)
{
    if (eventCode == TrayShowMon && priFtpServerRef)
        priFtpServerRef->SetEnableMonitor(true);
}

void FMain::priHttpServer_OnStatusChange(long status)
{
    if (status == Wicklow::kStatusPortInUse)
        ShowMessage(QLatin1String(kHelpPortMessage), EMessageIcon::Information);
}

void FMain::ShowHelp()
{
    QUrl url;
    if (priHttpServer && priHttpServer->IsListening()) {
        url = priHttpServer->BaseUrl().resolved(QUrl(QLatin1String(kGuidePage)));
    } else {
        const QString file = gWwwRoot + QLatin1Char('/') + QLatin1String(kGuidePage);
        if (!QFileInfo(file).isFile()) {
            ShowMessage(QLatin1String(kHelpFolderMessage), EMessageIcon::Information);
            return;
        }
        url = QUrl::fromLocalFile(file);
    }
    if (m_options.openUrl)
        m_options.openUrl(url);
    else
        QDesktopServices::openUrl(url);
}

void FMain::ShowMessage(const QString& text, EMessageIcon icon)
{
    CMessageService::Show({text, QLatin1String(kApplicationTitle), icon}, this);
}

QString FMain::RowKey(const QTreeWidgetItem* item)
{
    return item ? item->data(0, Qt::UserRole).toString() : QString();
}

QStringList FMain::RowKeys() const
{
    QStringList keys;
    for (int i = 0; i < m_lvwIpAdd->topLevelItemCount(); ++i)
        keys.append(RowKey(m_lvwIpAdd->topLevelItem(i)));
    return keys;
}

void FMain::SetHeadingPicture(int column, const QString& key)
{
    m_lvwIpAdd->headerItem()->setIcon(column - 1, Picture(key));
}

void FMain::SetupIpList()
{
    // Focus and selection span the whole row of the two columns.
    m_lvwIpAdd->setAllColumnsShowFocus(true);
    SizeIpColumns();
    SetHeadingPicture(1, QStringLiteral("Ascending"));
    SetHeadingPicture(2, QStringLiteral("None"));
    m_lvwIpAdd->setSortingEnabled(true);
    m_lvwIpAdd->sortByColumn(0, Qt::AscendingOrder);
    // The heading pictures show the order, not the style's own indicator.
    m_lvwIpAdd->header()->setSortIndicatorShown(false);
    m_sortOrder = Qt::AscendingOrder;
    priSortColumn = 1;
}

void FMain::SizeIpColumns()
{
    const int width = m_lvwIpAdd->viewport()->width();
    m_lvwIpAdd->setColumnWidth(0, int(width * 0.25));
    m_lvwIpAdd->setColumnWidth(1, int(width * 0.74));
}

void FMain::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    // The list has its real width only once the window is laid out for
    // showing: the columns take their shares of it then, once.
    if (!m_columnsSized) {
        m_columnsSized = true;
        SizeIpColumns();
    }
}

QTreeWidgetItem* FMain::MakeIpBookRow(qint16 index, const SIpBookEntry& entry) const
{
    auto item = std::make_unique<QTreeWidgetItem>();
    item->setText(0, entry.address);
    item->setText(1, entry.description);
    item->setData(0, Qt::UserRole, CIpAddressBook::RowKey(index, entry.address));
    if (CIpAddressBook::IsDottedIPv4(entry.address)) {
        item->setIcon(0, Picture(QStringLiteral("IpAddress")));
    } else {
        item->setIcon(0, style()->standardIcon(QStyle::SP_MessageBoxWarning));
        item->setToolTip(0, QLatin1String(kInvalidAddressTip));
        item->setToolTip(1, QLatin1String(kInvalidAddressTip));
    }
    return item.release();
}

QTreeWidgetItem* FMain::AddIpBookRow(qint16 index, const SIpBookEntry& entry)
{
    if (!m_loaded)
        Form_Load();
    QTreeWidgetItem* item = MakeIpBookRow(index, entry);
    m_lvwIpAdd->addTopLevelItem(item);
    item->setSelected(false);
    return item;
}

void FMain::AddIpBookRows(qint16 firstIndex, const QList<SIpBookEntry>& entries)
{
    if (!m_loaded)
        Form_Load();
    QList<QTreeWidgetItem*> items;
    items.reserve(entries.size());
    for (qsizetype i = 0; i < entries.size(); ++i)
        items.append(MakeIpBookRow(static_cast<qint16>(firstIndex + i), entries[i]));
    // A sorted list places each row as it comes, at a cost that grows with
    // the list: the rows go in unsorted and are sorted once.
    m_lvwIpAdd->setSortingEnabled(false);
    m_lvwIpAdd->addTopLevelItems(items);
    m_lvwIpAdd->setSortingEnabled(true);
    m_lvwIpAdd->sortByColumn(priSortColumn - 1, m_sortOrder);
    m_lvwIpAdd->header()->setSortIndicatorShown(false);
}

void FMain::lvwIpAdd_ItemClick()
{
    SetToolButtonEnabled(QLatin1String(kKeyRemove), true);
    SetToolButtonEnabled(QLatin1String(kKeyEdit), true);
}

void FMain::lvwIpAdd_SelectionChanged()
{
    // A row chosen with the keyboard counts as a click on it.
    if (!m_lvwIpAdd->selectedItems().isEmpty())
        lvwIpAdd_ItemClick();
}

void FMain::lvwIpAdd_ColumnClick(int column)
{
    Qt::SortOrder order = Qt::AscendingOrder;
    if (column != priSortColumn) {
        SetHeadingPicture(priSortColumn, QStringLiteral("None"));
        SetHeadingPicture(column, QStringLiteral("Ascending"));
    } else if (m_sortOrder == Qt::DescendingOrder) {
        SetHeadingPicture(column, QStringLiteral("Ascending"));
    } else {
        order = Qt::DescendingOrder;
        SetHeadingPicture(column, QStringLiteral("Descending"));
    }
    m_sortOrder = order;
    m_lvwIpAdd->sortByColumn(column - 1, order);
    priSortColumn = static_cast<qint16>(column);
}

void FMain::lvwIpAdd_DblClick(QTreeWidgetItem* item)
{
    if (!item)
        return;
    if (!CIpAddressBook::IsDottedIPv4(item->text(0))) {
        ShowMessage(QLatin1String(kInvalidAddressTip), EMessageIcon::Information);
        return;
    }
    m_options.commands.connectToEquipment(item->text(0));
}

void FMain::Access_OnAttemptStep(const QString& ipAddress, CEquipmentAccess::EAttemptStep step)
{
    if (step == CEquipmentAccess::EAttemptStep::Ended) {
        if (!m_attempts.contains(ipAddress))
            return;
        const QString shown = m_attempts.take(ipAddress);
        if (m_attempts.isEmpty()) {
            m_lvwIpAdd->viewport()->unsetCursor();
            // A status the dial-up link has put up meanwhile stays.
            if (m_stbPanel->text() == shown)
                m_stbPanel->setText(m_statusBeforeAttempts);
        } else if (m_stbPanel->text() == shown) {
            m_stbPanel->setText(*m_attempts.cbegin());
        }
        return;
    }
    if (m_attempts.isEmpty()) {
        m_statusBeforeAttempts = m_stbPanel->text();
        m_lvwIpAdd->viewport()->setCursor(Qt::BusyCursor);
    }
    const char* text = step == CEquipmentAccess::EAttemptStep::TestingRoute ? kTestingRouteText
                                                                            : kAskingVersionText;
    const QString status = QString::fromLatin1(text).arg(ipAddress);
    m_attempts.insert(ipAddress, status);
    m_stbPanel->setText(status);
}

void FMain::ShowStoreFailure()
{
    ShowMessage(
        QString::fromLatin1(kStoreFailedMessage).arg(m_store->FileName(), m_store->LastError()),
        EMessageIcon::Information);
}

void FMain::AddIpEntry()
{
    FAddEditIpAdd dialog(this);
    dialog.Activate();
    if (dialog.Cancelled())
        return;
    const SIpBookEntry entry{dialog.IpAddress(), dialog.Description()};
    if (CIpAddressBook::IsDuplicate(RowKeys(), entry.address)) {
        ShowMessage(QLatin1String(kDuplicateMessage), EMessageIcon::Information);
        return;
    }
    const qint16 index = m_book->Add(entry);
    if (index >= 0)
        m_lvwIpAdd->setCurrentItem(AddIpBookRow(index, entry));
    else if (!m_book->IsFull())
        ShowStoreFailure();
}

void FMain::EditIpEntry()
{
    QTreeWidgetItem* item = m_lvwIpAdd->selectedItems().value(0);
    if (!item)
        return;
    FAddEditIpAdd dialog(this);
    dialog.Activate(item->text(0), item->text(1));
    if (dialog.Cancelled())
        return;
    const qint16 index = CIpAddressBook::IndexFromKey(RowKey(item));
    if (index < 0)
        return;
    if (m_book->SetDescription(index, dialog.Description()))
        item->setText(1, dialog.Description());
    else
        ShowStoreFailure();
}

void FMain::RemoveIpEntry()
{
    QTreeWidgetItem* item = m_lvwIpAdd->selectedItems().value(0);
    if (item) {
        const EMessageResult answer = CMessageService::Show(
            {QString::fromLatin1(kRemovePrompt).arg(item->text(0)),
             QLatin1String(kApplicationTitle), EMessageIcon::Question, EMessageButtons::YesNo},
            this);
        const qint16 index = CIpAddressBook::IndexFromKey(RowKey(item));
        if (answer == EMessageResult::Yes && index >= 0 && !m_book->Remove(index)) {
            ShowStoreFailure();
        } else if (answer == EMessageResult::Yes && index >= 0) {
            delete item;
            // The entries above the removed one have moved down one index in
            // the store; their rows follow, so key, row and store agree.
            for (int i = 0; i < m_lvwIpAdd->topLevelItemCount(); ++i) {
                QTreeWidgetItem* row = m_lvwIpAdd->topLevelItem(i);
                row->setData(0, Qt::UserRole, CIpAddressBook::KeyAfterRemoval(RowKey(row), index));
            }
        }
    }
    SetToolButtonEnabled(QLatin1String(kKeyRemove), false);
    SetToolButtonEnabled(QLatin1String(kKeyEdit), false);
}

void FMain::ConnectToEquipment(const QString& ipAddress)
{
    m_access->ConnectToEquipment(ipAddress);
}

void FMain::StartRescueConnection()
{
    if (m_frmRescueLogin)
        return;
    auto* dialog = new FRescueLogin(this, m_options.rescueProgressIntervalMs);
    m_frmRescueLogin = dialog;
    connect(dialog, &FRescueLogin::OnStartConnecting, m_access.get(),
            &CEquipmentAccess::ConnectToRescueEquipment);
    connect(dialog, &FRescueLogin::OnAborted, m_access.get(), &CEquipmentAccess::CloseRescueSocket);
    connect(m_access.get(), &CEquipmentAccess::OnRescueStopped, dialog, &FRescueLogin::Stopped);
    connect(dialog, &FRescueLogin::OnClose, this, &FMain::frmRescueLogin_OnClose);
    // However it goes (unloaded, or closed with the window), the dialog is
    // no longer the open one; Unload deletes it, a plain close here.
    connect(dialog, &QDialog::finished, this, [this, dialog] {
        if (m_frmRescueLogin == dialog)
            m_frmRescueLogin = nullptr;
        dialog->deleteLater();
    });
    dialog->Init();
}

void FMain::frmRescueLogin_OnClose()
{
    m_access->CloseRescueSocket();
    if (m_frmRescueLogin)
        m_frmRescueLogin->Unload();
}

void FMain::ShowOptions()
{
    // The dialog's store is the console's own file, written through at once.
    QSettings settings(m_store->FileName(), QSettings::IniFormat);
    CProgOptions progOptions(settings, gConnType, gModemEntry);
    FOptions dialog(progOptions, m_options.dialup, this);
    connect(&dialog, &FOptions::OnPhonebookEditorActive, this,
            &FMain::Options_OnPhonebookEditorActive);
    dialog.exec();
    Options_OnPhonebookEditorActive(false);
}

void FMain::Options_OnPhonebookEditorActive(bool active)
{
    m_phonebookEditorActive = active;
    ApplyCommandStates();
}
