#pragma once

#include "common/messages/CMessageService.h"
#include "console/dialup/ui/SDialupDialogOptions.h"
#include "console/equipment/SEquipmentAccessOptions.h"
#include "console/help/Wicklow.h"
#include "console/settings/CIpAddressBook.h"
#include "console/ui/FRescueLogin.h"
#include "fileserver/cFtpServer.h"
#include "platform/dialup/CRas.h"
#include "platform/dialup/MRasLinks.h"
#include "platform/icmp/SIcmpEchoReply.h"

#include <QHash>
#include <QHostAddress>
#include <QIcon>
#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>

class CEquipmentAccess;
class CSettingsStore;
class CTrayIcon;
class IEquipmentPages;
class IPinger;

class QAction;
class QGroupBox;
class QLabel;
class QMenu;
class QTimer;
class QToolBar;
class QTreeWidget;
class QTreeWidgetItem;

// The window's commands that reach the equipment or the dial-up link. Each
// one left empty is the window's own (ConnectToEquipment, ToggleDialUpLink,
// StartRescueConnection, ShowOptions); a holder may put its own in.
struct SMainCommands {
    std::function<void(const QString& ipAddress)> connectToEquipment;
    std::function<void()> toggleDialUpLink;
    std::function<void()> startRescueConnection;
    std::function<void()> showOptions;
};

struct SMainOptions {
    static constexpr int kConnectImageIntervalMs = 1000;
    static constexpr int kBalloonIntervalMs = 10000;
    static constexpr int kPingPPPIntervalMs = 2000;
    static constexpr qint32 kPingPPPTimeoutMs = 6000;
    static constexpr int kLaunchBrowserIntervalMs = 50;
    static constexpr int kRescueProgressIntervalMs = 1000;

    cFtpServer* fileServer = nullptr; // start-up's gFileServer; null when the sibling manager runs
    std::function<bool()> isManagerRunning; // asked again at exit; empty = false
    quint16 helpPort = Wicklow::kHelpPort;  // 8133; tests pass 0 (system chooses)
    QHostAddress helpAddress = QHostAddress::LocalHost;

    std::function<bool(const QUrl&)> openUrl; // empty: the desktop's default handler
    std::function<bool()> trayAvailable;      // empty: whether the tray icon really shows
    std::function<void()> endProgram;         // empty: the application's event loop ends
    SMainCommands commands;
    int connectImageIntervalMs = kConnectImageIntervalMs;
    int balloonIntervalMs = kBalloonIntervalMs;
    int pingPPPIntervalMs = kPingPPPIntervalMs;
    qint32 pingPPPTimeoutMs = kPingPPPTimeoutMs; // each echo of the watch
    int launchBrowserIntervalMs = kLaunchBrowserIntervalMs;
    int rescueProgressIntervalMs = kRescueProgressIntervalMs;

    // Reaching an equipment: port, rescue address (tests put a loopback
    // address here), time-outs.
    SEquipmentAccessOptions equipment;
    IPinger* pinger = nullptr;        // must outlive the window; null: ICMP echoes
    IEquipmentPages* pages = nullptr; // must outlive the window; null: the desktop's handler
    // The dial-up link: the pppd to run, where links are looked for, and the
    // phonebook the options dialog edits.
    SRasOptions ras;
    SRasLinkSources rasLinks;
    SDialupDialogOptions dialup;
};

// The console's main window: the toolbar, the LAN address book, the status
// bar and the tray icon with its menu. It starts the help web server and
// switches the file server's FTP listener on when it loads, and takes both
// down when the user picks "Exit". Its close box only hides it (minimises it
// where the desktop has no tray), so the console runs on in the tray.
//
// It owns the equipment access (a double click in the book, or "Browser",
// starts a connect attempt), the rescue login dialog while it is open, and
// the dial-up control with the reachability watch of the link's far end.
class FMain final : public QMainWindow {
    Q_OBJECT

public:
    static constexpr const char* kDesignCaption = "Pelion Console";
    static constexpr const char* kHelpFolderMessage =
        "Impossible to locate help folder on this computer!\r\n"
        "Help support won't be available.\r\n"
        "Please fix this trouble and restart the application.";
    static constexpr const char* kHelpPortMessage =
        "Some other process is using TCP port 8133 on this computer!\r\n"
        "Help support won't be available.\r\n"
        "Please close such process and restart the application.";
    static constexpr const char* kDuplicateMessage = "Entry already exisiting";
    // The guide's first page, under the web root.
    static constexpr const char* kGuidePage = "help/index.html";

    // Toolbar button keys.
    static constexpr const char* kKeyConnect = "Connect/Disconnect";
    static constexpr const char* kKeyBrowser = "Browser";
    static constexpr const char* kKeyOptions = "Options";
    static constexpr const char* kKeyAdd = "Add";
    static constexpr const char* kKeyRemove = "Remove";
    static constexpr const char* kKeyEdit = "Edit";
    static constexpr const char* kKeyHelp = "Help";
    // Keys of the "Connect/Disconnect" button's menu.
    static constexpr const char* kKeyConnectViaSerial = "ConnectViaSerialCableOrModem";
    static constexpr const char* kKeyRescueConnection = "RescueConnection";

    // Tray menu items, 1-based as mnuTray.
    static constexpr int kTrayShow = 1;
    static constexpr int kTrayConnect = 2;
    static constexpr int kTrayDisconnect = 3;
    static constexpr int kTrayRescue = 4;
    static constexpr int kTrayBrowser = 5;
    static constexpr int kTrayExit = 6;

    explicit FMain(SMainOptions options, QWidget* parent = nullptr);
    ~FMain() override;

    // Main's step 13: enable or disable a toolbar button by its key ("Remove", "Edit", ...).
    // A button whose command is not wired stays disabled.
    void SetToolButtonEnabled(const QString& key, bool enabled);

    // Adds a list row for address-book entry index, unselected; the window
    // loads first if it has not yet.
    QTreeWidgetItem* AddIpBookRow(qint16 index, const SIpBookEntry& entry);

    // Whether the load handler has run.
    bool IsLoaded() const { return m_loaded; }

    // The two looks of the window: without and with the dial-up link.
    void UpdateDisconnectedStatusStuff();
    void UpdateConnectedStatusStuff();

    // The dial-up peer's (the equipment's) address; "Browser" opens it.
    QString PeerIpAddress() const { return priPeerIpAddress; }
    void SetPeerIpAddress(const QString& address) { priPeerIpAddress = address; }
    bool IsConnected() const { return priConnected; }

    // Equipment and dial-up commands.
    void ConnectToEquipment(const QString& ipAddress);
    void StartRescueConnection();
    void ToggleDialUpLink();
    void DialUpLink();
    void HangUpDialUpLink();
    // "Options" (modal).
    void ShowOptions();

    // Address book commands.
    void SetupIpList();
    void AddIpEntry();
    void EditIpEntry();
    void RemoveIpEntry();

    // Opens the user guide in the default browser: through the help server
    // when it runs, as a file otherwise.
    void ShowHelp();

    // The tray menu's "Exit": unloads the window and ends the program.
    void Unload();

    // Controls, for the code that drives the window and for tests.
    QToolBar* tlbMain() const { return m_tlbMain; }
    QAction* ToolButton(const QString& key) const { return m_buttons.value(key); }
    QAction* ButtonMenuItem(const QString& key) const { return m_buttonMenuItems.value(key); }
    QLabel* StatusPanel() const { return m_stbPanel; }
    QGroupBox* frmMain() const { return m_frmMain; }
    QLabel* lblHint() const { return m_lblHint; }
    QTreeWidget* lvwIpAdd() const { return m_lvwIpAdd; }
    QLabel* imgOnLine() const { return m_imgOnLine; }
    bool IsOnLineShown() const;
    QMenu* mnuMain() const { return m_mnuMain; }
    QAction* mnuTray(int index) const { return m_mnuTray.at(std::size_t(index)); }
    QTimer* tmrConnectImage() const { return m_tmrConnectImage; }
    QTimer* tmrBalloon() const { return m_tmrBalloon; }
    QTimer* tmrPingPPP() const { return m_tmrPingPPP; }
    QTimer* tmrLaunchBrowser() const { return m_tmrLaunchBrowser; }
    CRas* Ras() const { return m_ras.get(); }
    CEquipmentAccess* EquipmentAccess() const { return m_access.get(); }
    // The rescue login dialog; null unless it is open.
    FRescueLogin* frmRescueLogin() const { return m_frmRescueLogin; }
    bool IsDialling() const { return priDialling; }
    bool IsHangingUp() const { return priHangingUp; }
    int PingFailures() const { return priPingFailures; }
    CTrayIcon* TrayIcon() const { return priTrayIcon; }
    Wicklow* HelpServer() const { return priHttpServer.get(); }
    cFtpServer* FileServer() const { return priFtpServerRef; }
    int ConnectImageIndex() const { return priConnectImageIndex; }
    qint16 SortColumn() const { return priSortColumn; }

    // Pictures by their image-list keys: "IpAddress"; "Ascending",
    // "Descending", "None"; "Connect", "Disconnect", ...; "OnLine1", "OnLine2".
    QIcon Picture(const QString& key) const { return m_pictures.value(key); }
    // The key of the picture a column heading (1 or 2) shows.
    QString HeadingPictureKey(int column) const;
    // The key a row of the list carries.
    static QString RowKey(const QTreeWidgetItem* item);

    void tmrConnectImage_Timer();
    void tmrBalloon_Timer();
    void tmrLaunchBrowser_Timer();
    void tmrPingPPP_Timer();

protected:
    void setVisible(bool visible) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void CreateControls();
    void CreateToolBar();
    void CreateTrayMenu();
    void Form_Load();
    void Form_Unload();
    void ApplyCommandStates();
    void WireOwnCommands();
    QString DialUpEntry() const;
    void Ras_RasStateChanged();
    void Ras_RasError(qint32 number, const QString& description);
    void PingPPP_Done(const SIcmpEchoReply& reply);
    void frmRescueLogin_OnClose();
    void Options_OnPhonebookEditorActive(bool active);
    void SetHeadingPicture(int column, const QString& key);
    void SizeIpColumns();
    QStringList RowKeys() const;
    void ShowMessage(const QString& text, EMessageIcon icon);

    void tlbMain_ButtonClick(const QString& key);
    void tlbMain_ButtonMenuClick(const QString& key);
    void mnuTray_Click(int index);
    void priTrayIcon_TrayMessage(std::uint32_t message, std::uint32_t id);
    void priFtpServerRef_OnTrayEvent(TrayEvents eventCode);
    void priHttpServer_OnStatusChange(long status);
    void lvwIpAdd_ItemClick();
    void lvwIpAdd_ColumnClick(int column);
    void lvwIpAdd_DblClick(QTreeWidgetItem* item);
    void ShowMainWindow();

    SMainOptions m_options;
    std::unique_ptr<CSettingsStore> m_store;
    std::unique_ptr<CIpAddressBook> m_book;
    bool m_loaded = false;
    bool m_unloading = false;
    bool m_ended = false;
    bool m_columnsSized = false;

    QPointer<cFtpServer> priFtpServerRef;
    std::unique_ptr<Wicklow> priHttpServer;
    CTrayIcon* priTrayIcon = nullptr;
    bool priConnected = false;
    bool priDialling = false;
    bool priHangingUp = false;
    QString priPeerIpAddress;
    qint64 priRasConnHandle = 0;
    int priPingFailures = 0;
    bool m_phonebookEditorActive = false;
    std::unique_ptr<IPinger> m_ownPinger;
    std::unique_ptr<IEquipmentPages> m_ownPages;
    // After what they use, so that they go first.
    std::unique_ptr<CEquipmentAccess> m_access;
    std::unique_ptr<CRas> m_ras;
    QPointer<FRescueLogin> m_frmRescueLogin;
    int priConnectImageIndex = 1;
    qint16 priSortColumn = 1;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;

    QHash<QString, QIcon> m_pictures;
    QHash<int, QString> m_headingPictures;
    QToolBar* m_tlbMain = nullptr;
    QHash<QString, QAction*> m_buttons;
    QHash<QString, QAction*> m_buttonMenuItems;
    QHash<QString, bool> m_buttonWanted; // the state asked for, before the wiring
    QLabel* m_stbPanel = nullptr;
    QGroupBox* m_frmMain = nullptr;
    QLabel* m_lblHint = nullptr;
    QTreeWidget* m_lvwIpAdd = nullptr;
    QAction* m_frmOnLine = nullptr;
    QLabel* m_imgOnLine = nullptr;
    QMenu* m_mnuMain = nullptr;
    std::array<QAction*, 7> m_mnuTray{}; // 1 to 6
    std::array<bool, 7> m_trayWanted{};
    QTimer* m_tmrBalloon = nullptr;
    QTimer* m_tmrPingPPP = nullptr;
    QTimer* m_tmrConnectImage = nullptr;
    QTimer* m_tmrLaunchBrowser = nullptr;
};
