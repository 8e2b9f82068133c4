#include "fileserver/ftp/cFtpSession.h"

#include "fileserver/ftp/CFtpListing.h"
#include "fileserver/ftp/CFtpPort.h"
#include "fileserver/ftp/FTcpDataTransfer.h"
#include "fileserver/ftp/FtpReplies.h"

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

cFtpSession::cFtpSession(const SFtpOptions& options, const QString& sessionId, QObject* parent)
    : QObject(parent), m_serverTitle(options.serverTitle), m_localDataPort(options.localDataPort),
      m_currentDir(options.servedFolder), m_sessionId(sessionId)
{
    connect(&m_ctrl, &FTcpCtrl::OnConnected, this, &cFtpSession::ctrl_OnConnected);
    connect(&m_ctrl, &FTcpCtrl::OnReceived, this, &cFtpSession::ctrl_OnReceived);
    connect(&m_ctrl, &FTcpCtrl::OnClosed, this, &cFtpSession::ctrl_OnClosed);
    connect(&m_ctrl, &FTcpCtrl::OnFailed, this, &cFtpSession::ctrl_OnFailed);
}

void cFtpSession::Attach(qintptr handle)
{
    m_ctrl.Attach(handle);
}

void cFtpSession::SetSessionStatus(ESessionStatus status)
{
    if (status == m_sessionStatus)
        return;
    m_sessionStatus = status;
    emit OnSessionStatusChange(m_sessionId, m_remoteHost, status);
}

void cFtpSession::Reply(const QByteArray& text)
{
    m_ctrl.Send(text + "\r\n");
}

void cFtpSession::Release()
{
    m_closed = true;
    m_released = true;
    m_ctrl.Close();
    if (m_ctrl.HasEnded())
        deleteLater();
}

void cFtpSession::ctrl_OnConnected(const QString& remoteHost)
{
    m_remoteHost = remoteHost;
    SetSessionStatus(essWaitCommand);
    Reply(kReplyGreeting + m_serverTitle.toUtf8());
    emit OnGreeted();
}

void cFtpSession::ctrl_OnReceived(const QByteArray& bytes)
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

void cFtpSession::ctrl_OnClosed()
{
    if (!m_closed)
        CloseSession();
    if (m_released)
        deleteLater();
}

void cFtpSession::ctrl_OnFailed()
{
    // The session goes silently: no reply and no close notification.
    m_closed = true;
    if (!m_released)
        emit OnControlFailed();
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
    emit OnClosed();
}

FTcpDataTransfer* cFtpSession::StartTransfer()
{
    auto* transfer = new FTcpDataTransfer({m_sessionId, m_remoteHost, m_dataPort, m_localDataPort},
                                          this); // until the receiver takes it over
    emit OnNewTransfer(transfer);
    return transfer;
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
    StartTransfer()->OpenStore(std::move(file), m_fileName);
}

void cFtpSession::Retr(const QString& argument)
{
    const CServedFolder::SResolved target = m_currentDir.File(argument);
    const QFileInfo info(target.localPath);
    // SECURITY: nothing outside the served folder is read, nor a hidden file.
    // An empty file counts as missing: there is no block to send.
    if (!target.inside || !info.isFile() || info.isHidden() || info.size() == 0) {
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
    StartTransfer()->OpenRetrieve(std::move(file), m_fileName);
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
    StartTransfer()->OpenListing(CFtpListing::Build(m_currentDir.Folder(), m_listPath));
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
        emit OnAbortTransfers();
        break;
    case ETransferKind::Listing: break;
    }
}
