#pragma once

#include "common/messages/CMessageService.h"
#include "console/dialup/CDialUpLink.h"
#include "console/dialup/ui/SDialupDialogOptions.h"
#include "console/equipment/CEquipmentAccess.h"
#include "console/equipment/SEquipmentAccessOptions.h"
#include "console/help/Wicklow.h"
#include "console/settings/CIpAddressBook.h"
#include "console/ui/FRescueLogin.h"
#include "fileserver/cFtpServer.h"

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
    static constexpr int kRescueProgressIntervalMs = 1000;

    cFtpServer* fileServer = nullptr; // start-up's gFileServer; null when the sibling manager runs
    std::function<bool()> isManagerRunning; // asked again at exit; empty = false
    quint16 helpPort = Wicklow::kHelpPort;  // 8133; tests pass 0 (system chooses)
    QHostAddress helpAddress = QHostAddress::LocalHost;

    std::function<bool(const QUrl&)> openUrl; // empty: the desktop's default handler
    std::function<bool()> trayAvailable;      // empty: whether the tray icon really shows
    std::function<bool()> notifierHost; // the tray is a StatusNotifier host; empty: ask the bus
    std::function<void()> endProgram;   // empty: the application's event loop ends
    SMainCommands commands;
    int connectImageIntervalMs = kConnectImageIntervalMs;
    int balloonIntervalMs = kBalloonIntervalMs;
    int rescueProgressIntervalMs = kRescueProgressIntervalMs;

    // Reaching an equipment: port, rescue address (tests put a loopback
    // address here), time-outs.
    SEquipmentAccessOptions equipment;
    IPinger* pinger = nullptr;        // must outlive the window; null: ICMP echoes
    IEquipmentPages* pages = nullptr; // must outlive the window; null: the desktop's handler
    // The dial-up link (its entry is the window's choice: the direct cable's
    // or the chosen modem's), and the phonebook the options dialog edits.
    SDialUpLinkOptions link;
    SDialupDialogOptions dialup;
};

// The console's main window: the toolbar, the LAN address book, the status
// bar and the tray icon with its menu. It starts the help web server and
// switches the file server's FTP listener on when it loads, and takes both
// down when the user picks "Exit". A close request, whoever sends it (close
// box, window manager, compositor, taskbar), only hides it while a tray
// shows its icon, so the console runs on in the tray. Without a tray nothing
// could bring a hidden window back: the close asks whether to quit, and a
// yes ends the program as "Exit" does.
//
// It owns the equipment access (a double click in the book, or "Browser",
// starts a connect attempt), the rescue login dialog while it is open, and
// the dial-up link, whose status, look, failures and balloon it shows.
//
// Its controls carry their names as object names ("tlbMain", the buttons by
// key, "Status", "lvwIpAdd", "mnuMain", "mnuTray1".."mnuTray6", "imgOnLine",
// "tmrConnectImage", "tmrBalloon", "priTrayIcon").
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
    // A change of the address book the settings file did not take: the file
    // and the system's reason.
    static constexpr const char* kStoreFailedMessage =
        "The address book could not be saved in %1: %2.\r\nThe change was not kept.";
    // The tool tip of a stored address that cannot be connected, and the
    // message when it is double-clicked.
    static constexpr const char* kInvalidAddressTip =
        "Not an IPv4 address of four numbers from 0 to 255 (no leading zeros or blanks): "
        "this entry cannot be connected.";
    // The status bar while a connect attempt waits.
    static constexpr const char* kTestingRouteText = "Testing route to %1...";
    static constexpr const char* kAskingVersionText = "Asking %1 for its software version...";
    // Asked when the window is closed on a desktop without a tray.
    static constexpr const char* kQuitQuestion = "Quit Pelion? The file server stops too.";
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

    // Main's step 13: enable or disable a toolbar button of the book or help
    // by its key ("Remove", "Edit", ...). The link's three buttons follow the
    // link's look (CommandStates).
    void SetToolButtonEnabled(const QString& key, bool enabled);

    // Adds a list row for address-book entry index, unselected; the window
    // loads first if it has not yet. An address that is not dotted IPv4 is
    // marked with a warning picture and kInvalidAddressTip.
    QTreeWidgetItem* AddIpBookRow(qint16 index, const SIpBookEntry& entry);
    // Adds rows for entries firstIndex, firstIndex + 1, ... at once, sorted
    // once rather than row by row.
    void AddIpBookRows(qint16 firstIndex, const QList<SIpBookEntry>& entries);

    // Whether a connect attempt is waiting (busy pointer over the list).
    bool IsWaitingForEquipment() const { return !m_attempts.isEmpty(); }

    // The two looks of the window: without and with the dial-up link.
    void UpdateDisconnectedStatusStuff() { m_link->UpdateDisconnectedStatusStuff(); }
    void UpdateConnectedStatusStuff() { m_link->UpdateConnectedStatusStuff(); }

    // Equipment and dial-up commands.
    void ConnectToEquipment(const QString& ipAddress);
    void StartRescueConnection();
    void ToggleDialUpLink() { m_link->ToggleDialUpLink(); }
    void DialUpLink() { m_link->DialUpLink(); }
    void HangUpDialUpLink() { m_link->HangUpDialUpLink(); }
    // "Options" (modal).
    void ShowOptions();

    // The dial-up link the window shows.
    CDialUpLink& Link() { return *m_link; }

    // Address book commands.
    void SetupIpList();
    void AddIpEntry();
    void EditIpEntry();
    void RemoveIpEntry();

    // Opens the user guide in the default browser: through the help server
    // when it runs, as a file otherwise.
    void ShowHelp();

    // Shows the window, restored, in front: the tray's "Pelion Main", and a
    // second start of the program.
    void ShowMainWindow();

    // The tray menu's "Exit": unloads the window and ends the program.
    void Unload();
    // Whether the window has been unloaded ("Exit", or a quit confirmed).
    bool IsUnloaded() const { return m_unloading; }

    // Pictures by their image-list keys: "IpAddress"; "Ascending",
    // "Descending", "None"; "Connect", "Disconnect", ...; "OnLine1", "OnLine2".
    QIcon Picture(const QString& key) const { return m_pictures.value(key); }
    // The key a row of the list carries.
    static QString RowKey(const QTreeWidgetItem* item);

    void tmrConnectImage_Timer();
    void tmrBalloon_Timer();
    void tmrLaunchBrowser_Timer() { m_link->tmrLaunchBrowser_Timer(); }
    void tmrPingPPP_Timer() { m_link->tmrPingPPP_Timer(); }

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
    void Link_OnLookChanged(const SLinkLook& look);
    void Link_OnUnreachable(const QString& text);
    void Access_OnAttemptStep(const QString& ipAddress, CEquipmentAccess::EAttemptStep step);
    QTreeWidgetItem* MakeIpBookRow(qint16 index, const SIpBookEntry& entry) const;
    void ShowStoreFailure();
    void frmRescueLogin_OnClose();
    void Options_OnPhonebookEditorActive(bool active);
    void SetHeadingPicture(int column, const QString& key);
    void SizeIpColumns();
    QStringList RowKeys() const;
    void ShowMessage(const QString& text, EMessageIcon icon);
    bool TrayShown() const;

    void tlbMain_ButtonClick(const QString& key);
    void tlbMain_ButtonMenuClick(const QString& key);
    void mnuTray_Click(int index);
    void priTrayIcon_TrayMessage(std::uint32_t message, std::uint32_t id);
    void priFtpServerRef_OnTrayEvent(TrayEvents eventCode);
    void priHttpServer_OnStatusChange(long status);
    void lvwIpAdd_ItemClick();
    void lvwIpAdd_SelectionChanged();
    void lvwIpAdd_ColumnClick(int column);
    void lvwIpAdd_DblClick(QTreeWidgetItem* item);

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
    SLinkLook m_look;
    bool m_phonebookEditorActive = false;
    std::unique_ptr<IPinger> m_ownPinger;
    std::unique_ptr<IEquipmentPages> m_ownPages;
    // After what they use, so that they go first.
    std::unique_ptr<CEquipmentAccess> m_access;
    std::unique_ptr<CDialUpLink> m_link;
    QPointer<FRescueLogin> m_frmRescueLogin;
    int priConnectImageIndex = 1;
    qint16 priSortColumn = 1;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;

    // Attempts waiting, by address, with their status text; the status text
    // shown before the first one, given back after the last.
    QHash<QString, QString> m_attempts;
    QString m_statusBeforeAttempts;

    QHash<QString, QIcon> m_pictures;
    QToolBar* m_tlbMain = nullptr;
    QHash<QString, QAction*> m_buttons;
    QHash<QString, bool> m_buttonWanted; // the book's and help's buttons
    QLabel* m_stbPanel = nullptr;
    QGroupBox* m_frmMain = nullptr;
    QLabel* m_lblHint = nullptr;
    QTreeWidget* m_lvwIpAdd = nullptr;
    QAction* m_frmOnLine = nullptr;
    QLabel* m_imgOnLine = nullptr;
    QMenu* m_mnuMain = nullptr;
    std::array<QAction*, 7> m_mnuTray{}; // 1 to 6
    QTimer* m_tmrBalloon = nullptr;
    QTimer* m_tmrConnectImage = nullptr;
};
