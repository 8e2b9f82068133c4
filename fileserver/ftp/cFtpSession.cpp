#include "fileserver/ftp/cFtpSession.h"

#include "fileserver/ftp/CFtpListing.h"
#include "fileserver/ftp/CFtpPassivePort.h"
#include "fileserver/ftp/CFtpPort.h"
#include "fileserver/ftp/FTcpDataTransfer.h"
#include "fileserver/ftp/FtpReplies.h"
#include "platform/system/MRawFiles.h"

#include <QDateTime>
#include <QFile>

#include <algorithm>
#include <memory>
#include <utility>

namespace {

// Taken while a data transfer runs: both end something at once.
bool IsUrgent(const QByteArray& line)
{
    const QByteArray verb = CFtpCommandLine::Split(line).verb;
    return verb == "ABOR" || verb == "QUIT";
}

// What FEAT announces, one line each (RFC 2389).
constexpr const char* kFeatures[] = {" EPRT",        " EPSV", " MDTM", " PASV",
                                     " REST STREAM", " SIZE", " UTF8"};
constexpr qsizetype kMaxOffsetDigits = 18; // any longer number is beyond every file

// MDTM's time: YYYYMMDDHHMMSS in UTC (RFC 3659 section 2.3).
QByteArray ModificationTime(const QFile& file)
{
    return file.fileTime(QFileDevice::FileModificationTime)
        .toUTC()
        .toString(QStringLiteral("yyyyMMddhhmmss"))
        .toLatin1();
}

} // namespace

// The extended mode's commands that tell nothing of the files are answered
// before login, as clients ask them first (FEAT, SYST).
const cFtpSession::SCommandEntry cFtpSession::kCommands[] = {
    {"USER", &cFtpSession::User, true, false},  {"PASS", &cFtpSession::Pass, true, false},
    {"QUIT", &cFtpSession::Quit, true, false},  {"PORT", &cFtpSession::Port, false, false},
    {"STOR", &cFtpSession::Stor, false, false}, {"RETR", &cFtpSession::Retr, false, false},
    {"TYPE", &cFtpSession::Type, false, false}, {"CWD", &cFtpSession::Cwd, false, false},
    {"PWD", &cFtpSession::Pwd, false, false},   {"LIST", &cFtpSession::List, false, false},
    {"NLST", &cFtpSession::List, false, false}, {"ABOR", &cFtpSession::Abor, false, false},
    {"PASV", &cFtpSession::Pasv, false, true},  {"EPSV", &cFtpSession::Epsv, false, true},
    {"EPRT", &cFtpSession::Eprt, false, true},  {"FEAT", &cFtpSession::Feat, true, true},
    {"SIZE", &cFtpSession::Size, false, true},  {"MDTM", &cFtpSession::Mdtm, false, true},
    {"REST", &cFtpSession::Rest, false, true},  {"CDUP", &cFtpSession::Cdup, false, true},
    {"NOOP", &cFtpSession::Noop, true, true},   {"SYST", &cFtpSession::Syst, true, true},
    {"OPTS", &cFtpSession::Opts, true, true},
};

cFtpSession::cFtpSession(const SFtpOptions& options, const QString& sessionId, QObject* parent)
    : QObject(parent), m_serverTitle(options.serverTitle), m_extended(options.extended),
      m_firstPassivePort(options.firstPassivePort), m_lastPassivePort(options.lastPassivePort),
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

cFtpSession::~cFtpSession() = default;

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
    m_passive.reset();
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
    m_passive.reset();
    if (!m_released)
        emit OnControlFailed();
}

void cFtpSession::Execute(const QByteArray& line)
{
    if (line.isEmpty())
        return;
    const CFtpCommandLine::SCommand command = CFtpCommandLine::Split(line);
    for (const SCommandEntry& entry : kCommands) {
        if (command.verb != entry.verb || (entry.extended && !m_extended))
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
    m_passive.reset();
    m_ctrl.Close();
    emit OnClosed();
}

void cFtpSession::StartTransfer(const std::function<void(FTcpDataTransfer&)>& open)
{
    auto* transfer = new FTcpDataTransfer({m_sessionId, m_remoteHost, m_dataPort, m_localDataPort,
                                           m_connectTimeoutMs, m_passive != nullptr},
                                          this); // until the receiver takes it over
    m_transfer = transfer;
    m_idleTimer.stop();
    connect(transfer, &FTcpDataTransfer::OnFinished, this, [this, transfer] {
        if (m_transfer != transfer)
            return;
        m_transfer = nullptr;
        // A passive port serves one transfer; the next one is active again.
        m_passive.reset();
        if (!m_closed)
            m_idleTimer.start();
        RunLines();
    });
    emit OnNewTransfer(transfer);
    open(*transfer);
    if (m_passive) {
        m_passive->HandTo([transfer = QPointer<FTcpDataTransfer>(transfer)](CSocketHandle data) {
            if (transfer)
                transfer->TakeConnection(std::move(data));
        });
    }
}

std::unique_ptr<QFile> cFtpSession::OpenServedFile(const QByteArray& argument,
                                                   CServedFolder::SResolved& target) const
{
    target = m_currentDir.File(FileNameText(argument));
    // SECURITY: nothing outside the served folder is read, nor a hidden file.
    const bool hidden =
        CServedFolder::IsHiddenName(target.virtualPath.section(QLatin1Char('/'), -1));
    return hidden ? nullptr : m_currentDir.Folder().OpenForRead(target);
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
    if (RefusedAfterEpsvAll())
        return;
    m_passive.reset();
    m_dataPort = CFtpPort::DataPort(QString::fromLatin1(argument));
    Reply(kReplyPort);
}

void cFtpSession::Stor(const QByteArray& argument)
{
    const qint64 offset = std::exchange(m_restOffset, 0);
    const CServedFolder::SResolved target = m_currentDir.File(FileNameText(argument));
    // SECURITY: nothing is written outside the served folder. A file of
    // exactly that name goes first (wildcards match nothing), so a link or a
    // hard link is replaced, never written through; a restart keeps the
    // file's first bytes, and is refused for a link or a hard link.
    // Unbuffered: a failed write shows at once, not when the file is closed.
    std::unique_ptr<QFile> file = offset > 0 ? m_currentDir.Folder().OpenForRewrite(target, offset)
                                             : m_currentDir.Folder().CreateForWrite(target);
    if (!file) {
        Reply(kReplyStoreFailed);
        return;
    }
    m_fileName = target.virtualPath;
    m_transferKind = ETransferKind::Store;
    Reply(kReplyStoreOpening);
    StartTransfer([&file, offset, this](FTcpDataTransfer& transfer) {
        transfer.OpenStore(std::move(file), m_fileName, offset);
    });
}

void cFtpSession::Retr(const QByteArray& argument)
{
    const qint64 offset = std::exchange(m_restOffset, 0);
    CServedFolder::SResolved target;
    std::unique_ptr<QFile> file = OpenServedFile(argument, target);
    // The equipment's rule: an empty file counts as missing, there is no
    // block to send. Other clients get it as empty.
    if (!file || (file->size() == 0 && !m_extended)) {
        Reply(kReplyRetrieveFailed);
        return;
    }
    if (offset > file->size()) {
        Reply(kReplyBadRestart);
        return;
    }
    m_fileName = target.virtualPath;
    m_fileSize = file->size();
    m_transferKind = ETransferKind::Retrieve;
    Reply(kReplyRetrieveOpening);
    StartTransfer([&file, offset, this](FTcpDataTransfer& transfer) {
        transfer.OpenRetrieve(std::move(file), m_fileName, offset);
    });
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
    StartTransfer([this](FTcpDataTransfer& transfer) {
        transfer.OpenListing([folder = m_currentDir.Folder(), path = m_listPath] {
            return CFtpListing::Build(folder, path);
        });
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

bool cFtpSession::RefusedAfterEpsvAll()
{
    if (m_epsvAll)
        Reply(kReplyDataSetupAfterEpsvAll);
    return m_epsvAll;
}

bool cFtpSession::OpenPassivePort()
{
    m_passive = std::make_unique<CFtpPassivePort>(CFtpPassivePort::SOptions{
        m_ctrl.LocalHost(), m_remoteHost, m_firstPassivePort, m_lastPassivePort});
    if (m_passive->IsListening())
        return true;
    m_passive.reset();
    Reply(kReplyPassiveFailed);
    return false;
}

void cFtpSession::Pasv(const QByteArray&)
{
    if (RefusedAfterEpsvAll())
        return;
    const QString local = m_ctrl.LocalHost();
    if (CFtpPort::ProtocolOf(local) != CFtpPort::kProtocolIpv4) {
        Reply(kReplyPassiveIpv4Only);
        return;
    }
    if (!OpenPassivePort())
        return;
    const std::optional<QString> argument = CFtpPort::PassiveArgument(local, m_passive->Port());
    Reply(kReplyPassive + argument.value_or(QString()).toLatin1() + ").");
}

void cFtpSession::Epsv(const QByteArray& argument)
{
    if (argument.compare("ALL", Qt::CaseInsensitive) == 0) {
        m_epsvAll = true;
        Reply(kReplyEpsvAll);
        return;
    }
    // The passive port lies on the control connection's protocol; a client
    // that asks for the other hears which one.
    const QByteArray protocol = QByteArray::number(CFtpPort::ProtocolOf(m_ctrl.LocalHost()));
    if (!argument.isEmpty() && argument != protocol) {
        Reply(kReplyProtocolNotSupported + protocol + ')');
        return;
    }
    if (OpenPassivePort())
        Reply(kReplyExtendedPassive + QByteArray::number(m_passive->Port()) + "|)");
}

void cFtpSession::Eprt(const QByteArray& argument)
{
    if (RefusedAfterEpsvAll())
        return;
    const std::optional<CFtpPort::SExtendedAddress> address =
        CFtpPort::ExtendedAddress(QString::fromLatin1(argument));
    if (!address) {
        Reply(kReplyBadArgument);
        return;
    }
    if (address->protocol != CFtpPort::kProtocolIpv4
        && address->protocol != CFtpPort::kProtocolIpv6) {
        Reply(kReplyProtocolNotSupported + QByteArray("1,2)"));
        return;
    }
    // SECURITY: as with PORT, the address is not used: data connections go
    // to the control connection's peer only.
    m_passive.reset();
    m_dataPort = address->port;
    Reply(kReplyEprt);
}

void cFtpSession::Feat(const QByteArray&)
{
    Reply(kReplyFeaturesStart);
    for (const char* feature : kFeatures)
        Reply(feature);
    Reply(kReplyFeaturesEnd);
}

void cFtpSession::Size(const QByteArray& argument)
{
    CServedFolder::SResolved target;
    const std::unique_ptr<QFile> file = OpenServedFile(argument, target);
    Reply(file ? kReplyFileStatus + QByteArray::number(file->size()) : kReplyNoFileStatus);
}

void cFtpSession::Mdtm(const QByteArray& argument)
{
    CServedFolder::SResolved target;
    const std::unique_ptr<QFile> file = OpenServedFile(argument, target);
    Reply(file ? kReplyFileStatus + ModificationTime(*file) : kReplyNoFileStatus);
}

void cFtpSession::Rest(const QByteArray& argument)
{
    // A plain decimal number: no sign, no blanks.
    const bool digits =
        !argument.isEmpty() && argument.size() <= kMaxOffsetDigits
        && std::ranges::all_of(argument, [](char c) { return c >= '0' && c <= '9'; });
    if (!digits) {
        Reply(kReplyBadArgument);
        return;
    }
    m_restOffset = argument.toLongLong();
    Reply(kReplyRestart + argument + kReplyRestartTail);
}

void cFtpSession::Cdup(const QByteArray&)
{
    Reply(m_currentDir.Change(QStringLiteral("..")) ? kReplyCwd : kReplyNoSuchDirectory);
}

void cFtpSession::Noop(const QByteArray&)
{
    Reply(kReplyNoop);
}

void cFtpSession::Syst(const QByteArray&)
{
    Reply(kReplySystem);
}

void cFtpSession::Opts(const QByteArray& argument)
{
    // Names are taken as UTF-8 already; only the switch itself is understood.
    Reply(argument.compare("UTF8 ON", Qt::CaseInsensitive) == 0 ? kReplyUtf8On
                                                                : kReplyOptionNotUnderstood);
}
