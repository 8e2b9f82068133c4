#include "fileserver/ftp/cFtpSession.h"

#include "fileserver/ftp/CFtpListing.h"
#include "fileserver/ftp/CFtpPort.h"
#include "fileserver/ftp/FTcpDataTransfer.h"
#include "fileserver/ftp/cFtpSessions.h"

#include <QFile>
#include <QFileInfo>

#include <memory>

namespace {

constexpr int kTypeImage = 1;
constexpr int kTypeAscii = 2;

} // namespace

const cFtpSession::SCommandEntry cFtpSession::kCommands[] = {
    {"USER", &cFtpSession::User, true},  {"PASS", &cFtpSession::Pass, true},
    {"QUIT", &cFtpSession::Quit, true},  {"PORT", &cFtpSession::Port, false},
    {"STOR", &cFtpSession::Stor, false}, {"RETR", &cFtpSession::Retr, false},
    {"TYPE", &cFtpSession::Type, false}, {"CWD", &cFtpSession::Cwd, false},
    {"PWD", &cFtpSession::Pwd, false},   {"LIST", &cFtpSession::List, false},
    {"NLST", &cFtpSession::List, false}, {"ABOR", &cFtpSession::Abor, false},
};

cFtpSession::cFtpSession(cFtpSessions& sessions, const QString& sessionId)
    : QObject(&sessions), m_sessions(sessions), m_currentDir(sessions.Folder()),
      m_sessionId(sessionId)
{
    connect(&m_ctrl, &FTcpCtrl::Connected, this, &cFtpSession::OnConnected);
    connect(&m_ctrl, &FTcpCtrl::Received, this, &cFtpSession::OnReceived);
    connect(&m_ctrl, &FTcpCtrl::Closed, this, &cFtpSession::OnControlClosed);
    connect(&m_ctrl, &FTcpCtrl::Failed, this, &cFtpSession::OnControlFailed);
}

void cFtpSession::Attach(qintptr handle)
{
    m_ctrl.Attach(handle);
}

void cFtpSession::SetSessionStatus(int status)
{
    if (status == m_sessionStatus)
        return;
    m_sessionStatus = status;
    emit m_sessions.OnSessionStatusChange(m_sessionId, m_remoteHost, status);
}

void cFtpSession::Reply(const QByteArray& text)
{
    m_ctrl.Send(text + "\r\n");
}

void cFtpSession::OnRemoved()
{
    m_closed = true;
    m_removed = true;
    m_ctrl.Close();
    if (m_ctrl.HasEnded())
        deleteLater();
}

void cFtpSession::OnConnected(const QString& remoteHost)
{
    m_remoteHost = remoteHost;
    SetSessionStatus(kStatusWaiting);
    Reply(kReplyGreeting + m_sessions.ServerTitle().toUtf8());
    emit m_sessions.OnNewFtpSession(m_sessionId, m_sessions.Count());
}

void cFtpSession::OnReceived(const QByteArray& bytes)
{
    for (const CFtpCommandLine::SLine& line : m_commandLine.Feed(bytes)) {
        if (m_closed)
            return;
        if (line.tooLong)
            Reply(kReplyLineTooLong);
        else
            Execute(line.text);
    }
}

void cFtpSession::OnControlClosed()
{
    if (!m_closed)
        CloseSession();
    if (m_removed)
        deleteLater();
}

void cFtpSession::OnControlFailed()
{
    // The session goes silently: no reply and no close notification.
    if (!m_removed)
        m_sessions.Remove(m_sessionId);
}

void cFtpSession::Execute(const QByteArray& line)
{
    if (line.isEmpty())
        return;
    const CFtpCommandLine::SCommand command = CFtpCommandLine::Split(line);
    for (const SCommandEntry& entry : kCommands) {
        if (command.verb != entry.verb)
            continue;
        if (!entry.beforeLogin && !m_loggedIn) {
            Reply(kReplyNotLogged);
            return;
        }
        (this->*entry.handler)(QString::fromUtf8(command.argument));
        return;
    }
    Reply(m_loggedIn ? kReplyNotImplemented : kReplyNotLogged);
}

void cFtpSession::CloseSession()
{
    m_closed = true;
    m_ctrl.Close();
    // Taken before Remove, which releases this object later.
    const QString sessionId = m_sessionId;
    const QString remoteHost = m_remoteHost;
    cFtpSessions& sessions = m_sessions;
    sessions.Remove(sessionId);
    emit sessions.OnCloseFtpSession(sessionId, remoteHost, sessions.Count());
}

void cFtpSession::User(const QString& argument)
{
    m_userName = argument;
    Reply(kReplyPasswordRequired + argument.toUtf8());
}

void cFtpSession::Pass(const QString&)
{
    m_loggedIn = true;
    Reply(kReplyLoggedIn);
}

void cFtpSession::Quit(const QString&)
{
    Reply(kReplyGoodbye);
    CloseSession();
}

void cFtpSession::Port(const QString& argument)
{
    m_dataPort = CFtpPort::DataPort(argument);
    Reply(kReplyPort);
}

void cFtpSession::Stor(const QString& argument)
{
    const CServedFolder::SResolved target = m_currentDir.File(argument);
    // SECURITY: nothing is written outside the served folder.
    if (!target.inside || QFileInfo(target.localPath).isDir()) {
        Reply(kReplyStoreFailed);
        return;
    }
    // A file of exactly that name goes first; wildcards match nothing.
    if (QFileInfo(target.localPath).isSymLink() || QFileInfo::exists(target.localPath))
        QFile::remove(target.localPath);
    auto file = std::make_unique<QFile>(target.localPath);
    // Unbuffered: a failed write shows at once, not when the file is closed.
    if (!file->open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        Reply(kReplyStoreFailed);
        return;
    }
    m_fileName = target.virtualPath;
    m_transferKind = ETransferKind::Store;
    Reply(kReplyStoreOpening);
    m_sessions.NewTransfer(*this)->OpenStore(std::move(file));
}

void cFtpSession::Retr(const QString& argument)
{
    const CServedFolder::SResolved target = m_currentDir.File(argument);
    const QFileInfo info(target.localPath);
    // SECURITY: nothing outside the served folder is read, nor a hidden file.
    // An empty file counts as missing: there is no block to send.
    if (!target.inside || !info.isFile() || CFtpListing::IsHidden(info) || info.size() == 0) {
        Reply(kReplyRetrieveFailed);
        return;
    }
    auto file = std::make_unique<QFile>(target.localPath);
    if (!file->open(QIODevice::ReadOnly)) {
        Reply(kReplyRetrieveFailed);
        return;
    }
    m_fileName = target.virtualPath;
    m_fileSize = file->size();
    m_transferKind = ETransferKind::Retrieve;
    Reply(kReplyRetrieveOpening);
    m_sessions.NewTransfer(*this)->OpenRetrieve(std::move(file));
}

void cFtpSession::Type(const QString& argument)
{
    if (argument == QLatin1String("I")) {
        m_transferType = kTypeImage;
        Reply(kReplyTypeI);
    } else if (argument == QLatin1String("A")) {
        m_transferType = kTypeAscii;
        Reply(kReplyTypeA);
    } else {
        Reply(kReplyNotImplemented);
    }
}

void cFtpSession::Cwd(const QString& argument)
{
    Reply(m_currentDir.Change(argument) ? kReplyCwd : kReplyNoSuchDirectory);
}

void cFtpSession::Pwd(const QString&)
{
    Reply(kReplyPwd + ('"' + m_currentDir.Path() + '"').toUtf8());
}

void cFtpSession::List(const QString& argument)
{
    // One reply per command: an argument that names nothing gets the 553 alone.
    const std::optional<QString> target = m_currentDir.ListTarget(argument);
    if (!target) {
        Reply(kReplyNoSuchDirectory);
        return;
    }
    m_listPath = *target;
    m_transferKind = ETransferKind::Listing;
    Reply(kReplyListOpening + m_currentDir.Path().toUtf8());
    m_sessions.NewTransfer(*this)->OpenListing(CFtpListing::Build(m_sessions.Folder(), m_listPath));
}

void cFtpSession::Abor(const QString&)
{
    switch (m_transferKind) {
    case ETransferKind::None:
        Reply(kReplyAbortWithoutTransfer);
        CloseSession();
        break;
    case ETransferKind::Retrieve:
    case ETransferKind::Store:
        // Each running transfer sends its own reply.
        m_sessions.AbortTransfers(m_sessionId);
        break;
    case ETransferKind::Listing: break;
    }
}
