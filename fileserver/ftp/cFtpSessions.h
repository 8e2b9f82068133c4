#pragma once

#include "fileserver/folder/CServedFolder.h"
#include "fileserver/ftp/SFtpOptions.h"

#include <QList>
#include <QObject>
#include <QString>

class cFtpSession;
class FTcpDataTransfer;

// The FTP sessions, in the order they were accepted and keyed by their
// SessionID, and the data transfers still running. Sessions raise the eight
// notifications through it.
//
// A session leaves the collection when it closes, and its object goes once
// its control connection has ended. Transfers live on their own until their
// data connection has ended, also when their session has gone.
class cFtpSessions final : public QObject {
    Q_OBJECT

public:
    explicit cFtpSessions(const SFtpOptions& options = {}, QObject* parent = nullptr);
    ~cFtpSessions() override;

    // The session with that SessionID, or nullptr.
    cFtpSession* Item(const QString& key) const;

    // The sessions in the order they were added.
    const QList<cFtpSession*>& Sessions() const { return m_sessions; }
    int Count() const { return static_cast<int>(m_sessions.size()); }

    // Creates the session for an accepted connection and adds it under the next SessionID.
    cFtpSession* Add(qintptr handle);

    // Takes the session out of the collection and ends its control
    // connection; an unknown key is ignored.
    void Remove(const QString& key);

    // Number of sessions sending (status 1) or storing (status 2) a file.
    int ActiveTransferCount() const;

    // The identifier that follows last: 1 after the largest 32-bit value.
    static qint32 FollowingSessionId(qint32 last);

    // Creates a data transfer for the session and keeps it until its data
    // connection has ended.
    FTcpDataTransfer* NewTransfer(cFtpSession& parent);

    // Number of transfers whose data connection has not ended yet.
    int TransferCount() const { return static_cast<int>(m_transfers.size()); }

    // Tells every running transfer of the session to abort.
    void AbortTransfers(const QString& parentKey);

    const CServedFolder& Folder() const { return m_folder; }
    const QString& ServerTitle() const { return m_serverTitle; }
    quint16 LocalDataPort() const { return m_localDataPort; }

signals:
    void OnNewFtpSession(const QString& sessionId, int numSession);
    void OnCloseFtpSession(const QString& sessionId, const QString& remoteHost, int numSession);
    void OnInitRetrive(const QString& sessionId);
    void OnInitStore(const QString& sessionId);
    void OnNewDataBlockSent(const QString& sessionId, qint64 byteSent);
    void OnTransferTerminate(const QString& sessionId);
    void OnNewDataBlockRecv(const QString& sessionId, qint64 byteRecv);
    void OnSessionStatusChange(const QString& key, const QString& remoteHost, int sessionStatus);

private:
    CServedFolder m_folder;
    QString m_serverTitle;
    quint16 m_localDataPort = SFtpOptions::kDefaultLocalDataPort;
    qint32 m_nextSessionId = 0; // the last identifier given
    QList<cFtpSession*> m_sessions;
    QList<FTcpDataTransfer*> m_transfers;
};
