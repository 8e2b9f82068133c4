#pragma once

#include "fileserver/ftp/CFtpCommandLine.h"
#include "fileserver/ftp/CFtpCurrentDir.h"
#include "fileserver/ftp/ESessionStatus.h"
#include "fileserver/ftp/FTcpCtrl.h"
#include "fileserver/ftp/SFtpOptions.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <QFile>

#include <functional>
#include <memory>
#include <optional>

class CFtpPassivePort;
class FTcpDataTransfer;

// One FTP client over one control connection: greets it, answers its
// commands (USER, PASS, QUIT, PORT, STOR, RETR, TYPE, CWD, PWD, LIST, NLST,
// ABOR) and hands RETR, STOR and listings to data transfers. Any password
// logs in; data connections are active only (the server connects out).
//
// In the extended mode (SFtpOptions::extended) it also answers PASV and
// EPSV (the client connects to a passive port of the session's, from the
// control connection's own address only), EPRT, FEAT, SIZE, MDTM, REST (a
// restarted RETR or STOR), CDUP, NOOP, SYST and OPTS UTF8 ON, and an empty
// file is retrieved as empty. Without it, these are 502 as any unknown
// command, and an empty file is 550.
//
// Arguments are bytes: echoed as they came, and taken as file names byte for
// byte. Lines run one at a time: while a data transfer runs only ABOR and
// QUIT are taken (the others wait for its closing reply), and while more
// than kMaxUnsentReplyBytes of replies wait for the client, nothing more is
// read. A client silent for the idle time-out is answered 421 and closed.
//
// It knows nothing of the collection that holds it: what happens goes out as
// signals, and the holder decides what becomes of the session.
class cFtpSession final : public QObject {
    Q_OBJECT

public:
    // Replies queued beyond this stop the reading of commands until they drain.
    static constexpr qint64 kMaxUnsentReplyBytes = 64 * 1024;

    // The last transfer command accepted; never reset.
    enum class ETransferKind { None = 0, Retrieve = 1, Store = 2, Listing = 3 };
    // The representation type TYPE chose: recorded only, transfers are byte for byte either way.
    enum class ETransferType { Image = 1, Ascii = 2 };

    cFtpSession(const SFtpOptions& options, const QString& sessionId, QObject* parent = nullptr);
    ~cFtpSession() override;

    // Takes over the accepted control connection; the greeting follows once it is up.
    void Attach(qintptr handle);

    const QString& SessionID() const { return m_sessionId; }
    const QString& RemoteHost() const { return m_remoteHost; }
    qint64 DataPort() const { return m_dataPort; }
    ESessionStatus SessionStatus() const { return m_sessionStatus; }
    // The virtual path of the current or last retrieve or store.
    const QString& FileName() const { return m_fileName; }
    // Length of the file of the current or last retrieve.
    qint64 FileSize() const { return m_fileSize; }
    ETransferKind TransferKind() const { return m_transferKind; }
    ETransferType TransferType() const { return m_transferType; }
    const QString& UserName() const { return m_userName; }
    bool LoggedIn() const { return m_loggedIn; }
    QString CurrentDir() const { return m_currentDir.Path(); }
    // Whether the greeting has gone out (OnGreeted was raised).
    bool IsGreeted() const { return m_greeted; }
    // Whether commands are read now: not while replies pile up unread or
    // while a command waits for the running transfer.
    bool IsReading() const { return m_reading; }

    // Stores the status; a new value raises OnSessionStatusChange.
    void SetSessionStatus(ESessionStatus status);

    // Sends one reply line (CR LF is added).
    void Reply(const QByteArray& text);

    // The holder has let the session go: nothing more is answered, the
    // control connection ends and the object deletes itself after it.
    void Release();

signals:
    // The greeting has been sent.
    void OnGreeted();
    // The session closed itself: QUIT, ABOR before any transfer, or the
    // client's close. The holder lets it go (Release).
    void OnClosed();
    // The control connection failed; the session sends nothing more and
    // waits to be let go.
    void OnControlFailed();
    void OnSessionStatusChange(const QString& key, const QString& remoteHost, int sessionStatus);
    // A data transfer started, a child of this session until the receiver
    // takes it over: it outlives the session and must not go with it.
    void OnNewTransfer(FTcpDataTransfer* transfer);
    // ABOR: this session's running transfers are to stop.
    void OnAbortTransfers();

private:
    using Handler = void (cFtpSession::*)(const QByteArray& argument);
    struct SCommandEntry {
        const char* verb;
        Handler handler;
        bool beforeLogin; // answered before PASS
        bool extended;    // known in the extended mode only
    };
    static const SCommandEntry kCommands[];

    void ctrl_OnConnected(const QString& remoteHost);
    void ctrl_OnReceived(const QByteArray& bytes);
    void ctrl_OnClosed();
    void ctrl_OnFailed();
    // Runs the waiting lines, one at a time, as far as the rules allow.
    void RunLines();
    void SetReading(bool on);
    void Execute(const QByteArray& line);
    void idleTimer_Timeout();
    void CloseSession();
    // Creates a transfer to the client's data port, or for the passive port,
    // announces it, and opens it with open.
    void StartTransfer(const std::function<void(FTcpDataTransfer&)>& open);
    // The ordinary, visible file a RETR, SIZE or MDTM argument names; target
    // tells where it lies. nullptr when there is none.
    std::unique_ptr<QFile> OpenServedFile(const QByteArray& argument,
                                          CServedFolder::SResolved& target) const;
    // A new passive port for the next transfer; false (and the reply sent) when none could be had.
    bool OpenPassivePort();
    // After EPSV ALL only EPSV sets up data connections; true (and the reply sent) when refused.
    bool RefusedAfterEpsvAll();

    void User(const QByteArray& argument);
    void Pass(const QByteArray& argument);
    void Quit(const QByteArray& argument);
    void Port(const QByteArray& argument);
    void Stor(const QByteArray& argument);
    void Retr(const QByteArray& argument);
    void Type(const QByteArray& argument);
    void Cwd(const QByteArray& argument);
    void Pwd(const QByteArray& argument);
    void List(const QByteArray& argument);
    void Abor(const QByteArray& argument);
    void Pasv(const QByteArray& argument);
    void Epsv(const QByteArray& argument);
    void Eprt(const QByteArray& argument);
    void Feat(const QByteArray& argument);
    void Size(const QByteArray& argument);
    void Mdtm(const QByteArray& argument);
    void Rest(const QByteArray& argument);
    void Cdup(const QByteArray& argument);
    void Noop(const QByteArray& argument);
    void Syst(const QByteArray& argument);
    void Opts(const QByteArray& argument);

    QString m_serverTitle;
    bool m_extended = false;
    quint16 m_firstPassivePort = 0;
    quint16 m_lastPassivePort = 0;
    int m_connectTimeoutMs = kFtpDataConnectTimeoutMs;
    quint16 m_localDataPort = kFtpDataPort;
    FTcpCtrl m_ctrl;
    CFtpCommandLine m_commandLine;
    CFtpCurrentDir m_currentDir;
    QString m_sessionId;
    QString m_remoteHost;
    // Without PORT, data connections go to the client's port 20.
    qint64 m_dataPort = kFtpDataPort;
    QString m_fileName;
    qint64 m_fileSize = 0;
    ESessionStatus m_sessionStatus = essWaitCommand;
    bool m_loggedIn = false;
    ETransferKind m_transferKind = ETransferKind::None;
    ETransferType m_transferType = ETransferType::Image;
    QString m_listPath;
    QString m_userName;
    bool m_closed = false;   // closed or released: no more commands
    bool m_released = false; // let go by the holder
    bool m_runningLines = false;
    bool m_greeted = false;
    bool m_reading = true;
    std::optional<CFtpCommandLine::SLine> m_heldLine; // taken, waiting for its turn
    QPointer<FTcpDataTransfer> m_transfer;            // the one running, if any
    std::unique_ptr<CFtpPassivePort> m_passive;       // PASV or EPSV: the next transfer's
    qint64 m_restOffset = 0;                          // REST: where the next RETR or STOR starts
    bool m_epsvAll = false;
    QTimer m_idleTimer;
};
