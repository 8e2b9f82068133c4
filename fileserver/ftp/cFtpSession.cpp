#include "fileserver/ftp/cFtpSession.h"

#include "fileserver/ftp/CFtpListing.h"
#include "fileserver/ftp/CFtpPort.h"
#include "fileserver/ftp/FTcpDataTransfer.h"
#include "fileserver/ftp/FtpReplies.h"
#include "platform/system/MRawFiles.h"

#include <QFile>

#include <memory>

namespace {

// Taken while a data transfer runs: both end something at once.
bool IsUrgent(const QByteArray& line)
{
    const QByteArray verb = CFtpCommandLine::Split(line).verb;
    return verb == "ABOR" || verb == "QUIT";
}

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
    : QObject(parent), m_serverTitle(options.serverTitle),
      m_connectTimeoutMs(options.dataConnectTimeoutMs), m_localDataPort(options.localDataPort),
      m_currentDir(options.servedFolder), m_sessionId(sessionId)
{
    m_idleTimer.setSingleShot(true);
    m_idleTimer.setInterval(options.idleTimeoutMs);
    connect(&m_idleTimer, &QTimer::timeout, this, &cFtpSession::idleTimer_Timeout);
    connect(&m_ctrl, &FTcpCtrl::OnDrained, this, &cFtpSession::RunLines);
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
    else
        m_idleTimer.start(); // a client that reads nothing is cut off then
}

void cFtpSession::ctrl_OnConnected(const QString& remoteHost)
{
    m_remoteHost = remoteHost;
    SetSessionStatus(essWaitCommand);
    Reply(kReplyGreeting + m_serverTitle.toUtf8());
    m_idleTimer.start();
    m_greeted = true;
    emit OnGreeted();
}

void cFtpSession::ctrl_OnReceived(const QByteArray& bytes)
{
    m_commandLine.Append(bytes);
    RunLines();
}

void cFtpSession::RunLines()
{
    // A transfer that ends inside a command comes back here: the loop below goes on.
    if (m_runningLines)
        return;
    m_runningLines = true;
    // Each pass runs one line of what was received, which is bounded.
    while (!m_closed) {
        // Replies the client does not read must not pile up.
        if (m_ctrl.PendingBytes() > kMaxUnsentReplyBytes) {
            SetReading(false);
            break;
        }
        if (!m_heldLine)
            m_heldLine = m_commandLine.Next();
        if (!m_heldLine) {
            SetReading(true);
            break;
        }
        // FTP's rhythm: one data transfer at a time, its closing reply first.
        if (m_transfer && !m_heldLine->tooLong && !IsUrgent(m_heldLine->text)) {
            SetReading(false);
            break;
        }
        const CFtpCommandLine::SLine line = std::move(*m_heldLine);
        m_heldLine.reset();
        if (!m_transfer)
            m_idleTimer.start();
        if (line.tooLong)
            Reply(kReplyLineTooLong);
        else
            Execute(line.text);
    }
    m_runningLines = false;
}

void cFtpSession::SetReading(bool on)
{
    m_reading = on;
    m_ctrl.SetReading(on);
}

void cFtpSession::idleTimer_Timeout()
{
    // Closing waits for the client to read what was sent; one that does not
    // is cut off after a second period.
    if (m_closed) {
        m_ctrl.Abort();
        return;
    }
    Reply(kReplyTimeout);
    CloseSession();
    m_idleTimer.start();
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
        (this->*entry.handler)(command.argument);
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
    auto* transfer = new FTcpDataTransfer(
        {m_sessionId, m_remoteHost, m_dataPort, m_localDataPort, m_connectTimeoutMs},
        this); // until the receiver takes it over
    m_transfer = transfer;
    m_idleTimer.stop();
    connect(transfer, &FTcpDataTransfer::OnFinished, this, [this, transfer] {
        if (m_transfer != transfer)
            return;
        m_transfer = nullptr;
        if (!m_closed)
            m_idleTimer.start();
        RunLines();
    });
    emit OnNewTransfer(transfer);
    return transfer;
}

void cFtpSession::User(const QByteArray& argument)
{
    m_userName = FileNameText(argument);
    Reply(kReplyPasswordRequired + argument);
}

void cFtpSession::Pass(const QByteArray&)
{
    m_loggedIn = true;
    Reply(kReplyLoggedIn);
}

void cFtpSession::Quit(const QByteArray&)
{
    Reply(kReplyGoodbye);
    CloseSession();
}

void cFtpSession::Port(const QByteArray& argument)
{
    m_dataPort = CFtpPort::DataPort(QString::fromLatin1(argument));
    Reply(kReplyPort);
}

void cFtpSession::Stor(const QByteArray& argument)
{
    const CServedFolder::SResolved target = m_currentDir.File(FileNameText(argument));
    // SECURITY: nothing is written outside the served folder. A file of
    // exactly that name goes first (wildcards match nothing), so a link or a
    // hard link is replaced, never written through.
    // Unbuffered: a failed write shows at once, not when the file is closed.
    std::unique_ptr<QFile> file = m_currentDir.Folder().CreateForWrite(target);
    if (!file) {
        Reply(kReplyStoreFailed);
        return;
    }
    m_fileName = target.virtualPath;
    m_transferKind = ETransferKind::Store;
    Reply(kReplyStoreOpening);
    StartTransfer()->OpenStore(std::move(file), m_fileName);
}

void cFtpSession::Retr(const QByteArray& argument)
{
    const CServedFolder::SResolved target = m_currentDir.File(FileNameText(argument));
    // SECURITY: nothing outside the served folder is read, nor a hidden file.
    // An empty file counts as missing: there is no block to send.
    const bool hidden =
        CServedFolder::IsHiddenName(target.virtualPath.section(QLatin1Char('/'), -1));
    std::unique_ptr<QFile> file = hidden ? nullptr : m_currentDir.Folder().OpenForRead(target);
    if (!file || file->size() == 0) {
        Reply(kReplyRetrieveFailed);
        return;
    }
    m_fileName = target.virtualPath;
    m_fileSize = file->size();
    m_transferKind = ETransferKind::Retrieve;
    Reply(kReplyRetrieveOpening);
    StartTransfer()->OpenRetrieve(std::move(file), m_fileName);
}

void cFtpSession::Type(const QByteArray& argument)
{
    if (argument == "I") {
        m_transferType = ETransferType::Image;
        Reply(kReplyTypeI);
    } else if (argument == "A") {
        m_transferType = ETransferType::Ascii;
        Reply(kReplyTypeA);
    } else {
        Reply(kReplyNotImplemented);
    }
}

void cFtpSession::Cwd(const QByteArray& argument)
{
    Reply(m_currentDir.Change(FileNameText(argument)) ? kReplyCwd : kReplyNoSuchDirectory);
}

void cFtpSession::Pwd(const QByteArray&)
{
    Reply(kReplyPwd + ('"' + FileNameBytes(m_currentDir.Path()) + '"'));
}

void cFtpSession::List(const QByteArray& argument)
{
    // One reply per command: an argument that names nothing gets the 553 alone.
    const std::optional<QString> target = m_currentDir.ListTarget(FileNameText(argument));
    if (!target) {
        Reply(kReplyNoSuchDirectory);
        return;
    }
    m_listPath = *target;
    m_transferKind = ETransferKind::Listing;
    Reply(kReplyListOpening + FileNameBytes(m_currentDir.Path()));
    // Built when the data connection opens, from the folder as it is then.
    StartTransfer()->OpenListing([folder = m_currentDir.Folder(), path = m_listPath] {
        return CFtpListing::Build(folder, path);
    });
}

void cFtpSession::Abor(const QByteArray&)
{
    switch (m_transferKind) {
    case ETransferKind::None:
        Reply(kReplyAbortWithoutTransfer);
        CloseSession();
        break;
    case ETransferKind::Retrieve:
    case ETransferKind::Store:
    case ETransferKind::Listing:
        // The running transfer sends its own reply; a finished one nothing.
        emit OnAbortTransfers();
        break;
    }
}
