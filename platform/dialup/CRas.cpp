#include "platform/dialup/CRas.h"

#include "common/MWindowsError.h"
#include "platform/dialup/MRasApi.h"

#include <QFileInfo>
#include <QPointer>
#include <QProcess>
#include <QTimer>

#include <algorithm>

namespace {

constexpr int kRaiseInvalidArgument = 5;
constexpr int kDestructorWaitMs = 3000;

// pppd's last lines are kept for the error of its end: its complaints come
// last, a long link's log before them does not matter.
constexpr qsizetype kKeptLines = 64;

SRasError StartFailure(const QString& program, const QString& reason)
{
    if (!QFileInfo::exists(program)) {
        return {kRasErrorPppdMissing,
                QStringLiteral("pppd, the program that makes dial-up links, is not installed "
                               "(%1 was not found). Install the ppp package.")
                    .arg(program)};
    }
    // Debian lets only its dial-up group run pppd.
    if (!IsRasInstalled(program))
        return {kRasErrorNotInDialUpGroup, NotInDialUpGroupText(DialUpUserName())};
    return {kRasErrorPppdMissing,
            QStringLiteral("pppd (%1) could not be run: %2").arg(program, reason)};
}

} // namespace

CRas::CRas(QObject* parent, SRasOptions options)
    : QObject(parent), m_options(std::move(options)), m_tmrKill(new QTimer(this))
{
    m_tmrKill->setSingleShot(true);
    m_tmrKill->setInterval(m_options.hangUpGraceMs);
    connect(m_tmrKill, &QTimer::timeout, this, [this] {
        if (m_process)
            m_process->kill();
    });
}

CRas::~CRas()
{
    if (!m_process)
        return;
    m_process->disconnect(this);
    if (m_process->state() != QProcess::NotRunning) {
        m_process->terminate();
        if (!m_process->waitForFinished(std::min(m_options.hangUpGraceMs, kDestructorWaitMs))) {
            m_process->kill();
            m_process->waitForFinished(kDestructorWaitMs);
        }
    }
}

qint64 CRas::RasConnHandle() const
{
    return m_process ? m_process->processId() : 0;
}

QString CRas::Entry() const
{
    return m_process ? m_entry : QString();
}

QList<SOwnLink> CRas::OwnLinks() const
{
    const qint64 handle = RasConnHandle();
    if (handle <= 0)
        return {};
    return {SOwnLink{handle, m_entry, m_remoteAddress}};
}

void CRas::AddOwnLinkTo(SRasLinkSources& sources) const
{
    sources.ownLinks = [self = QPointer<const CRas>(this), others = std::move(sources.ownLinks)] {
        QList<SOwnLink> links = others ? others() : QList<SOwnLink>();
        if (self)
            links += self->OwnLinks();
        return links;
    };
}

void CRas::Dial(const QString& entry)
{
    // SECURITY: the name becomes pppd's argument of "call"; a path or an
    // option in its place would make pppd read another file or option.
    if (!IsValidEntryName(entry)) {
        RaiseLibraryError(kRaiseInvalidArgument, QStringLiteral(".Ras"),
                          QStringLiteral("'%1' is not a phonebook entry name").arg(entry));
    }
    if (m_process) {
        RaiseLibraryError(kRaiseInvalidArgument, QStringLiteral(".Ras"),
                          QStringLiteral("A dial-up link is already running"));
    }

    m_entry = entry;
    m_remoteAddress.clear();
    m_partialLine.clear();
    m_lines.clear();
    m_wasConnected = false;
    m_hangUpAsked = false;

    m_process = new QProcess(this);
    m_process->setProcessChannelMode(QProcess::MergedChannels);
    connect(m_process, &QProcess::started, this, &CRas::OnStarted);
    connect(m_process, &QProcess::readyReadStandardOutput, this, &CRas::OnReadyRead);
    connect(m_process, &QProcess::finished, this,
            [this](int exitCode, QProcess::ExitStatus status) {
                OnFinished(exitCode, status == QProcess::CrashExit);
            });
    // Queued: a start that fails inside start() must still be reported after
    // Dial has returned, as every other outcome is.
    connect(
        m_process, &QProcess::errorOccurred, this,
        [this](QProcess::ProcessError error) {
            if (error == QProcess::FailedToStart)
                OnStartFailed();
        },
        Qt::QueuedConnection);

    // Only options pppd takes from a caller who is not root: whatever needs
    // privilege belongs in the entry file. "debug" makes it log the packets
    // that show authentication starting; "logfd 1" sends its log to the pipe
    // read here, where its complaints on standard error arrive too.
    m_process->start(m_options.pppdProgram,
                     {QStringLiteral("call"), entry, QStringLiteral("nodetach"),
                      QStringLiteral("debug"), QStringLiteral("logfd"), QStringLiteral("1")});
}

void CRas::HangUp()
{
    if (!m_process || m_process->state() == QProcess::NotRunning) {
        QTimer::singleShot(0, this, [this] {
            if (m_process)
                return; // a new dial began meanwhile
            m_state = ERasState::Disconnected;
            emit RasStateChanged();
        });
        return;
    }
    if (m_hangUpAsked)
        return;
    m_hangUpAsked = true;
    SetState(ERasState::Closing);
    if (m_process) {
        m_process->terminate();
        m_tmrKill->start();
    }
}

void CRas::SetState(ERasState state)
{
    if (state == m_state || state == ERasState::Unknown)
        return;
    m_state = state;
    emit RasStateChanged();
}

void CRas::OnStarted()
{
    if (!m_hangUpAsked)
        SetState(ERasState::ConnectingDevice);
}

void CRas::OnReadyRead()
{
    if (!m_process)
        return;
    m_partialLine += m_process->readAllStandardOutput();
    qsizetype end = 0;
    while ((end = m_partialLine.indexOf('\n')) >= 0) {
        const QByteArray line = m_partialLine.left(end);
        m_partialLine.remove(0, end + 1);
        TakeLine(line);
        if (!m_process)
            return; // a handler ended the link
    }
}

void CRas::TakeLine(const QByteArray& rawLine)
{
    const QString line = QString::fromLocal8Bit(rawLine).trimmed();
    m_lines.append(line);
    if (m_lines.size() > kKeptLines)
        m_lines.removeFirst();
    const ERasState state = StateOfPppdLine(line);
    // Once a hang-up is under way, only the closing states count.
    if (m_hangUpAsked && state != ERasState::Closing)
        return;
    if (state == ERasState::Connected) {
        m_remoteAddress = RemoteAddressOfPppdLine(line);
        m_wasConnected = true;
    }
    SetState(state);
}

void CRas::OnFinished(int exitCode, bool crashed)
{
    if (!m_process)
        return;
    m_partialLine += m_process->readAllStandardOutput();
    if (!m_partialLine.isEmpty())
        TakeLine(m_partialLine);

    SRasError error;
    if (m_hangUpAsked) {
        // Asked for: only a dial that never came up is reported, as cancelled.
        if (!m_wasConnected) {
            error = {kRasErrorDialCancelled,
                     QStringLiteral("The dial was cancelled before the link came up.")};
        }
    } else if (crashed) {
        error = {kRasErrorPppdKilled, QStringLiteral("pppd ended unexpectedly.")};
    } else if (!m_wasConnected && exitCode == 0) {
        error = {kRasErrorEndedBeforeUp, QStringLiteral("pppd ended before the link came up.")};
    } else {
        error = ErrorOfPppdEnd(m_lines, exitCode, DialUpUserName());
    }

    ReleaseProcess();
    m_state = ERasState::Disconnected;
    emit RasStateChanged();
    if (error.number != 0)
        emit RasError(error.number, error.description);
}

void CRas::OnStartFailed()
{
    if (!m_process || m_process->state() != QProcess::NotRunning)
        return;
    const SRasError error = StartFailure(m_options.pppdProgram, m_process->errorString());
    ReleaseProcess();
    m_state = ERasState::Disconnected;
    emit RasStateChanged();
    emit RasError(error.number, error.description);
}

void CRas::ReleaseProcess()
{
    m_tmrKill->stop();
    m_process->disconnect(this);
    // This runs inside one of the process's own signals: let it go once that
    // signal has returned.
    m_process->deleteLater();
    m_process = nullptr;
    m_entry.clear();
    m_remoteAddress.clear();
    m_partialLine.clear();
    m_lines.clear();
}
