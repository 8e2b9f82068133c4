#pragma once

#include "fileserver/ftp/CFtpCommandLine.h"
#include "fileserver/ftp/CFtpCurrentDir.h"
#include "fileserver/ftp/FTcpCtrl.h"

#include <QObject>
#include <QString>

class cFtpSessions;

// One FTP client over one control connection: greets it, answers its
// commands (USER, PASS, QUIT, PORT, STOR, RETR, TYPE, CWD, PWD, LIST, NLST,
// ABOR) and hands RETR, STOR and listings to data transfers. Any password
// logs in; data connections are active only (the server connects out).
class cFtpSession final : public QObject {
    Q_OBJECT

public:
    // SessionStatus values.
    static constexpr int kStatusWaiting = 0;
    static constexpr int kStatusSending = 1;
    static constexpr int kStatusStoring = 2;

    // The last transfer command accepted; never reset.
    enum class ETransferKind { None = 0, Retrieve = 1, Store = 2, Listing = 3 };

    static constexpr char kReplyGreeting[] = "220 Welcome to the brennor ";
    static constexpr char kReplyPasswordRequired[] = "331 Password required for ";
    static constexpr char kReplyLoggedIn[] = "230 User logged in";
    static constexpr char kReplyGoodbye[] = "221 Goodbye.";
    static constexpr char kReplyNotLogged[] = "530 User not logged";
    static constexpr char kReplyNotImplemented[] = "502 Command not implemented ";
    static constexpr char kReplyLineTooLong[] = "500 Command line too long";
    static constexpr char kReplyPort[] = "200 Port command successful";
    static constexpr char kReplyTypeI[] = "200 Type set to I";
    static constexpr char kReplyTypeA[] = "200 Type set to A";
    static constexpr char kReplyStoreOpening[] = "150 About to open data connection";
    static constexpr char kReplyStoreFailed[] = "553 No such file or directory";
    static constexpr char kReplyRetrieveOpening[] =
        "150 File status ok; about to open data connection";
    static constexpr char kReplyRetrieveFailed[] = "550 File not found or open error";
    static constexpr char kReplyCwd[] = "250 CWD command successful.";
    static constexpr char kReplyNoSuchDirectory[] = "553 No such directory";
    static constexpr char kReplyPwd[] = "257 ";
    static constexpr char kReplyListOpening[] = "150 Opening ASCII mode data connection for ";
    static constexpr char kReplyAbortWithoutTransfer[] = "221 You could at least say goodbye.";

    // RFC 959 section 3.2: without PORT the client's data port is 20.
    static constexpr qint64 kDefaultDataPort = 20;

    // Created by the collection, which gives the identifier.
    cFtpSession(cFtpSessions& sessions, const QString& sessionId);

    // Takes over the accepted control connection; the greeting follows once it is up.
    void Attach(qintptr handle);

    const QString& SessionID() const { return m_sessionId; }
    const QString& RemoteHost() const { return m_remoteHost; }
    qint64 DataPort() const { return m_dataPort; }
    int SessionStatus() const { return m_sessionStatus; }
    // The virtual path of the current or last retrieve or store.
    const QString& FileName() const { return m_fileName; }
    // Length of the file of the current or last retrieve.
    qint64 FileSize() const { return m_fileSize; }
    ETransferKind TransferKind() const { return m_transferKind; }
    // 1 after "TYPE I" (the default), 2 after "TYPE A"; transfers are byte for byte either way.
    int TransferType() const { return m_transferType; }
    const QString& UserName() const { return m_userName; }
    bool LoggedIn() const { return m_loggedIn; }
    QString CurrentDir() const { return m_currentDir.Path(); }

    // Stores the status; a new value is notified.
    void SetSessionStatus(int status);

    // Sends one reply line (CR LF is added).
    void Reply(const QByteArray& text);

    // Called by the collection when it takes the session out: nothing more
    // is answered, the control connection ends and the object goes after it.
    void OnRemoved();

private:
    using Handler = void (cFtpSession::*)(const QString& argument);
    struct SCommandEntry {
        const char* verb;
        Handler handler;
        bool beforeLogin; // answered before PASS
    };
    static const SCommandEntry kCommands[];

    void OnConnected(const QString& remoteHost);
    void OnReceived(const QByteArray& bytes);
    void OnControlClosed();
    void OnControlFailed();
    void Execute(const QByteArray& line);
    void CloseSession();

    void User(const QString& argument);
    void Pass(const QString& argument);
    void Quit(const QString& argument);
    void Port(const QString& argument);
    void Stor(const QString& argument);
    void Retr(const QString& argument);
    void Type(const QString& argument);
    void Cwd(const QString& argument);
    void Pwd(const QString& argument);
    void List(const QString& argument);
    void Abor(const QString& argument);

    cFtpSessions& m_sessions;
    FTcpCtrl m_ctrl;
    CFtpCommandLine m_commandLine;
    CFtpCurrentDir m_currentDir;
    QString m_sessionId;
    QString m_remoteHost;
    qint64 m_dataPort = kDefaultDataPort;
    QString m_fileName;
    qint64 m_fileSize = 0;
    int m_sessionStatus = kStatusWaiting;
    bool m_loggedIn = false;
    ETransferKind m_transferKind = ETransferKind::None;
    int m_transferType = 1;
    QString m_listPath;
    QString m_userName;
    bool m_closed = false;  // closed or removed: no more commands
    bool m_removed = false; // out of the collection
};
