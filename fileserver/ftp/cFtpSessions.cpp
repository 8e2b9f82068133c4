#include "fileserver/ftp/cFtpSessions.h"

#include "fileserver/ftp/FTcpDataTransfer.h"
#include "fileserver/ftp/cFtpSession.h"

#include <QPointer>

#include <algorithm>
#include <limits>

cFtpSessions::cFtpSessions(SFtpOptions options, QObject* parent)
    : QObject(parent), m_options(std::move(options))
{
}

cFtpSession* cFtpSessions::Item(const QString& key) const
{
    const auto found = std::ranges::find(m_sessions, key, &cFtpSession::SessionID);
    return found == m_sessions.cend() ? nullptr : *found;
}

qint32 cFtpSessions::FollowingSessionId(qint32 last)
{
    // Identifiers start again at 1 rather than fail after the largest value.
    return last == std::numeric_limits<qint32>::max() ? 1 : last + 1;
}

cFtpSession* cFtpSessions::Add(qintptr handle)
{
    QString key;
    // After a wrap an identifier still in use is passed over.
    do {
        m_nextSessionId = FollowingSessionId(m_nextSessionId);
        key = QString::number(m_nextSessionId);
    } while (Item(key));
    auto* session = new cFtpSession(m_options, key, this);
    m_sessions.append(session);

    connect(session, &cFtpSession::OnGreeted, this, [this, session] {
        emit OnNewFtpSession(session->SessionID(), session->RemoteHost(), session->SessionStatus(),
                             Count());
    });
    connect(session, &cFtpSession::OnClosed, this, [this, session] { session_OnClosed(*session); });
    // The session goes silently: no reply and no close notification.
    connect(session, &cFtpSession::OnControlFailed, this, [this, key] { Remove(key); });
    connect(session, &cFtpSession::OnSessionStatusChange, this,
            &cFtpSessions::OnSessionStatusChange);
    connect(
        session, &cFtpSession::OnNewTransfer, this,
        [this, session](FTcpDataTransfer* transfer) { session_OnNewTransfer(*session, transfer); });
    connect(session, &cFtpSession::OnAbortTransfers, this, [this, key] { AbortTransfers(key); });

    session->Attach(handle);
    return session;
}

void cFtpSessions::Remove(const QString& key)
{
    cFtpSession* session = Item(key);
    if (!session)
        return;
    m_sessions.removeOne(session);
    session->Release();
    emit OnSessionRemoved(key);
}

int cFtpSessions::ActiveTransferCount() const
{
    return static_cast<int>(std::ranges::count_if(m_sessions, [](const cFtpSession* session) {
        return session->SessionStatus() == essSending || session->SessionStatus() == essStoring;
    }));
}

void cFtpSessions::AbortTransfers(const QString& parentKey)
{
    // A copy: an abort may end a transfer while the registry is walked.
    const QList<FTcpDataTransfer*> transfers = m_transfers;
    for (FTcpDataTransfer* transfer : transfers) {
        if (transfer->ParentKey() == parentKey && transfer->IsRunning())
            transfer->Abort();
    }
}

void cFtpSessions::session_OnClosed(const cFtpSession& session)
{
    // Taken before Remove, which lets the session go.
    const QString sessionId = session.SessionID();
    const QString remoteHost = session.RemoteHost();
    Remove(sessionId);
    emit OnCloseFtpSession(sessionId, remoteHost, Count());
}

void cFtpSessions::SetBlockSentHandler(BlockSentHandler handler)
{
    m_blockSentHandler = std::move(handler);
}

void cFtpSessions::TellBlockSent(const FTcpDataTransfer& transfer, qint64 byteSent)
{
    if (m_blockSentHandler)
        m_blockSentHandler(transfer.ParentKey(), transfer.RemoteHost(), byteSent,
                           transfer.FileSize());
    else
        emit OnNewDataBlockSent(transfer.ParentKey(), transfer.RemoteHost(), byteSent,
                                transfer.FileSize());
}

void cFtpSessions::session_OnNewTransfer(cFtpSession& session, FTcpDataTransfer* transfer)
{
    // The transfer outlives its session: the collection keeps it until its
    // data connection has ended.
    transfer->setParent(this);
    m_transfers.append(transfer);

    // Replies go to the session while it exists; its status too.
    connect(transfer, &FTcpDataTransfer::OnReply, &session, &cFtpSession::Reply);
    const QPointer<cFtpSession> owner(&session);
    connect(transfer, &FTcpDataTransfer::OnInitRetrive, this,
            [this, transfer, owner] { RaiseTransferStart(*transfer, owner, essSending); });
    connect(transfer, &FTcpDataTransfer::OnInitStore, this,
            [this, transfer, owner] { RaiseTransferStart(*transfer, owner, essStoring); });
    // Called for every block of a retrieve: a direct call, not a signal.
    transfer->SetBlockSentHandler(
        [this, transfer](qint64 byteSent) { TellBlockSent(*transfer, byteSent); });
    connect(transfer, &FTcpDataTransfer::OnNewDataBlockRecv, this,
            [this, transfer](qint64 byteRecv) {
                emit OnNewDataBlockRecv(transfer->ParentKey(), transfer->RemoteHost(), byteRecv);
            });
    connect(transfer, &FTcpDataTransfer::OnTransferTerminate, this,
            [this, transfer, owner] { transfer_OnTransferTerminate(*transfer, owner); });
    connect(transfer, &FTcpDataTransfer::OnEnded, this,
            [this, transfer] { transfer_OnEnded(transfer); });
}

void cFtpSessions::RaiseTransferStart(const FTcpDataTransfer& transfer, cFtpSession* session,
                                      ESessionStatus status)
{
    if (session)
        session->SetSessionStatus(status);
    if (status == essSending)
        emit OnInitRetrive(transfer.ParentKey(), transfer.RemoteHost(), status,
                           transfer.FileName());
    else
        emit OnInitStore(transfer.ParentKey(), transfer.RemoteHost(), status, transfer.FileName());
}

void cFtpSessions::transfer_OnTransferTerminate(const FTcpDataTransfer& transfer,
                                                cFtpSession* session)
{
    if (session)
        session->SetSessionStatus(essWaitCommand);
    emit OnTransferTerminate(transfer.ParentKey(), essWaitCommand);
}

void cFtpSessions::transfer_OnEnded(FTcpDataTransfer* transfer)
{
    m_transfers.removeOne(transfer);
    // Its socket's signal is still being handled.
    transfer->deleteLater();
}
