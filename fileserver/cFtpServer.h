#pragma once

#include "fileserver/ftp/SFtpOptions.h"
#include "fileserver/tftp/STftpOptions.h"
#include "fileserver/ui/TrayEvents.h"

#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include <memory>

class CTftpDaemon;

class FMonitor;
class FTcpListen;
class FTray;
class cFtpSessions;

#if defined(TALLIS_LIBRARY)
#define TALLIS_EXPORT Q_DECL_EXPORT
#else
#define TALLIS_EXPORT Q_DECL_IMPORT
#endif

// What the creator of the server object may choose; the defaults are the
// product's own, named by the FTP and TFTP rooms.
struct SFtpServerOptions {
    // The folder both protocols serve; empty: the working directory at
    // creation. It takes the place of ftp.servedFolder and tftp.servedFolder.
    QString servedFolder;
    // ftp.port 0 or tftp.port 0: the system chooses (see FtpPort, TftpPort).
    // ftp.serverTitle is the server's own (ServerTitle).
    SFtpOptions ftp;
    STftpOptions tftp;
    // The addresses both protocols listen on, each port the same on all
    // (port 0: the one the system chose for the first). Empty: every address
    // of IPv4 and IPv6 on one socket per protocol. "::" alone is IPv6 only.
    // It takes the place of tftp.listenAddresses.
    QList<QHostAddress> listenAddresses = {};
    bool trayIcon = true; // false: no tray form (a host without a desktop)
};

// The file server component: FTP (once enabled) and TFTP (from creation) on
// the served folder, a tray icon with its menu, and the FTP monitor window
// on request. It owns everything it creates and releases it in CloseMe.
//
// Events are raised in this order of declaration; the holder acts on
// OnTrayEvent with TrayShowMon by writing true to EnableMonitor.
class TALLIS_EXPORT cFtpServer final : public QObject {
    Q_OBJECT

public:
    static constexpr const char* kServerTitle = "Orvane FTP/TFTP Server Ver. 1.2.4";
    // Titles the component's own messages.
    static constexpr const char* kApplicationTitle = "Tallis";
    static constexpr const char* kCantShowNow = "Can't show in this phase!";

    // Creates the tray form, the session collection and the TFTP listener,
    // which serves at once. Throws CRaisedError with the system's reason when
    // the TFTP port cannot be bound; nothing is left behind then.
    explicit cFtpServer(SFtpServerOptions options = {}, QObject* parent = nullptr);
    ~cFtpServer() override;

    // Writing true listens for FTP, false stops listening; sessions go on.
    bool Enable() const { return m_enable; }
    void SetEnable(bool enable);

    // Writing true opens the monitor filled with the current sessions, false closes it.
    bool EnableMonitor() const { return m_enableMonitor; }
    void SetEnableMonitor(bool enable);

    // Shows or hides the tray menu's "Exit".
    void SetEnableExitMenu(bool enable);

    // Takes the component down: tray icon, FTP listener, sessions, TFTP listener.
    void CloseMe();

    static QString ServerTitle() { return QLatin1String(kServerTitle); }

    // What the server runs with: the creator's options, the served folder
    // and the server title filled in.
    const SFtpServerOptions& Options() const { return m_options; }

    // The ports really listened on (0 when not listening).
    quint16 FtpPort() const;
    quint16 TftpPort() const;

    // FTP sessions sending or storing a file, and TFTP transfers running.
    int ActiveTransferCount() const;
    int TftpSessionCount() const;

    // Raises OnTrayEvent (the tray form's way out).
    void RaiseTrayEvent(TrayEvents code);

    // The parts, for hosts and tests that look inside.
    cFtpSessions* Sessions() const { return m_sessions.get(); }
    FTray* Tray() const { return m_tray.get(); }
    FMonitor* Monitor() const;

signals:
    void OnNewFtpSession(const QString& SessionID, const QString& RemoteHost, int SessionStatus,
                         int NumSession);
    void OnCloseFtpSession(const QString& SessionID, const QString& RemoteHost, int NumSession);
    void OnInitRetrive(const QString& SessionID, const QString& RemoteHost, int SessionStatus,
                       const QString& FileName);
    void OnInitStore(const QString& SessionID, const QString& RemoteHost, int SessionStatus,
                     const QString& FileName);
    void OnNewDataBlockRecv(const QString& SessionID, const QString& RemoteHost, qint64 ByteRecv);
    void OnNewDataBlockSent(const QString& SessionID, const QString& RemoteHost, qint64 ByteSent,
                            qint64 TotalByte);
    void OnTrayEvent(TrayEvents EventCode);
    void OnSessionStatusChange(const QString& Key, const QString& RemoteHost, int SessionStatus);

    // Not an event of the component's interface: tells a host without
    // message boxes that FTP listening failed, with the system's reason.
    void OnFtpListenerFailed(int number, const QString& description);

protected:
    // Count the receivers of OnNewDataBlockSent, whose emission is skipped
    // without any. A receiver destroyed without a disconnect may stay
    // counted: the blocks are then still emitted, which costs time only.
    void connectNotify(const QMetaMethod& signal) override;
    void disconnectNotify(const QMetaMethod& signal) override;

private:
    void ConnectSessionEvents();
    void OpenMonitor();
    void listen_OnListenerError(int number, const QString& description);

    SFtpServerOptions m_options;
    bool m_enable = false;
    bool m_enableMonitor = false;
    bool m_listenerErrorShown = false;
    int m_blockSentReceivers = 0;
    std::unique_ptr<FTray> m_tray;
    std::unique_ptr<cFtpSessions> m_sessions;
    std::unique_ptr<CTftpDaemon> m_tftp;
    std::unique_ptr<FTcpListen> m_listen;
    QPointer<FMonitor> m_monitor;
};

// The component's factory: a new server object for the caller to own.
// Throws CRaisedError when the server cannot start (TFTP port unavailable).
TALLIS_EXPORT std::unique_ptr<cFtpServer> CreateFtpServer(const SFtpServerOptions& options = {});
