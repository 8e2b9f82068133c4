#pragma once

#include "fileserver/ftp/ESessionStatus.h"
#include "fileserver/ftp/SFtpOptions.h"

#include <QList>
#include <QObject>
#include <QString>

#include <functional>

class cFtpSession;
class FTcpDataTransfer;

// The FTP sessions, in the order they were accepted and keyed by their
// SessionID, and the data transfers still running. It listens to both and
// raises the eight notifications, each with everything its event tells the
// console, so a transfer's events still carry its client's address and file
// when its session has gone.
//
// A session leaves the collection when it closes (or when its control
// connection fails), and its object goes once its control connection has
// ended. Transfers live on their own until their data connection has ended.
class cFtpSessions final : public QObject {
    Q_OBJECT

public:
    explicit cFtpSessions(SFtpOptions options = {}, QObject* parent = nullptr);

    // The session with that SessionID, or nullptr.
    cFtpSession* Item(const QString& key) const;

    // The sessions in the order they were added.
    const QList<cFtpSession*>& Sessions() const { return m_sessions; }
    int Count() const { return static_cast<int>(m_sessions.size()); }

    // Creates the session for an accepted connection and adds it under the next SessionID.
    cFtpSession* Add(qintptr handle);

    // Takes the session out of the collection and lets it go (its control
    // connection ends); an unknown key is ignored.
    void Remove(const QString& key);

    // Number of sessions sending or storing a file.
    int ActiveTransferCount() const;

    // The identifier that follows last: 1 after the largest 32-bit value.
    static qint32 FollowingSessionId(qint32 last);

    // Each retrieved block's notification as this direct call, cheaper than
    // the signal, for the one holder that follows every block; while one is
    // set, OnNewDataBlockSent is not emitted.
    using BlockSentHandler = std::function<void(const QString& sessionId, const QString& remoteHost,
                                                qint64 byteSent, qint64 totalByte)>;
    void SetBlockSentHandler(BlockSentHandler handler);

    // Number of transfers whose data connection has not ended yet.
    int TransferCount() const { return static_cast<int>(m_transfers.size()); }

    // Tells every running transfer of the session to abort.
    void AbortTransfers(const QString& parentKey);

signals:
    void OnNewFtpSession(const QString& sessionId, const QString& remoteHost, int sessionStatus,
                         int numSession);
    void OnCloseFtpSession(const QString& sessionId, const QString& remoteHost, int numSession);
    void OnInitRetrive(const QString& sessionId, const QString& remoteHost, int sessionStatus,
                       const QString& fileName);
    void OnInitStore(const QString& sessionId, const QString& remoteHost, int sessionStatus,
                     const QString& fileName);
    void OnNewDataBlockSent(const QString& sessionId, const QString& remoteHost, qint64 byteSent,
                            qint64 totalByte);
    void OnTransferTerminate(const QString& sessionId, int sessionStatus);
    void OnNewDataBlockRecv(const QString& sessionId, const QString& remoteHost, qint64 byteRecv);
    void OnSessionStatusChange(const QString& key, const QString& remoteHost, int sessionStatus);

    // Not one of the eight: a session left the collection, closed or failed
    // (a failed one raises nothing else), so observers can drop it too.
    void OnSessionRemoved(const QString& sessionId);

private:
    void TellBlockSent(const FTcpDataTransfer& transfer, qint64 byteSent);
    void session_OnClosed(const cFtpSession& session);
    void session_OnNewTransfer(cFtpSession& session, FTcpDataTransfer* transfer);
    // Sets the status of the transfer's session while it exists, then raises
    // OnInitRetrive or OnInitStore.
    void RaiseTransferStart(const FTcpDataTransfer& transfer, cFtpSession* session,
                            ESessionStatus status);
    void transfer_OnTransferTerminate(const FTcpDataTransfer& transfer, cFtpSession* session);
    void transfer_OnEnded(FTcpDataTransfer* transfer);

    SFtpOptions m_options;
    qint32 m_nextSessionId = 0; // the last identifier given
    QList<cFtpSession*> m_sessions;
    QList<FTcpDataTransfer*> m_transfers;
    BlockSentHandler m_blockSentHandler;
};
