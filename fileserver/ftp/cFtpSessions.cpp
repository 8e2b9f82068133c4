#include "fileserver/ftp/cFtpSessions.h"

#include "fileserver/ftp/FTcpDataTransfer.h"
#include "fileserver/ftp/cFtpSession.h"

#include <algorithm>
#include <limits>

cFtpSessions::cFtpSessions(const SFtpOptions& options, QObject* parent)
    : QObject(parent), m_folder(options.servedFolder), m_serverTitle(options.serverTitle),
      m_localDataPort(options.localDataPort)
{
}

cFtpSessions::~cFtpSessions()
{
    // Sessions and transfers refer to the served folder: they go first.
    m_sessions.clear();
    m_transfers.clear();
    qDeleteAll(findChildren<QObject*>(Qt::FindDirectChildrenOnly));
}

cFtpSession* cFtpSessions::Item(const QString& key) const
{
    const auto found =
        std::find_if(m_sessions.cbegin(), m_sessions.cend(),
                     [&key](const cFtpSession* session) { return session->SessionID() == key; });
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
    auto* session = new cFtpSession(*this, key); // owned as a child
    m_sessions.append(session);
    session->Attach(handle);
    return session;
}

void cFtpSessions::Remove(const QString& key)
{
    cFtpSession* session = Item(key);
    if (!session)
        return;
    m_sessions.removeOne(session);
    session->OnRemoved();
}

int cFtpSessions::ActiveTransferCount() const
{
    return static_cast<int>(
        std::count_if(m_sessions.cbegin(), m_sessions.cend(), [](const cFtpSession* session) {
            return session->SessionStatus() == cFtpSession::kStatusSending
                   || session->SessionStatus() == cFtpSession::kStatusStoring;
        }));
}

FTcpDataTransfer* cFtpSessions::NewTransfer(cFtpSession& parent)
{
    auto* transfer = new FTcpDataTransfer(*this, parent); // owned as a child
    m_transfers.append(transfer);
    connect(transfer, &FTcpDataTransfer::Released, this, [this, transfer] {
        m_transfers.removeOne(transfer);
        transfer->deleteLater();
    });
    return transfer;
}

void cFtpSessions::AbortTransfers(const QString& parentKey)
{
    // A copy: an abort may end a transfer while the registry is walked.
    const QList<FTcpDataTransfer*> transfers = m_transfers;
    for (FTcpDataTransfer* transfer : transfers) {
        if (transfer->ParentKey() == parentKey && transfer->IsRunning())
            transfer->OnAbort();
    }
}
