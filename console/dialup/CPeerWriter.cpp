#include "console/dialup/CPeerWriter.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace {

constexpr const char* kHelperName = "pelion-peers-helper";

// pkexec's own statuses: the administrator said no or closed the request,
// or the authentication failed.
constexpr int kNotAuthorized = 126;
constexpr int kAuthenticationFailed = 127;

} // namespace

QString SPeerWriterOptions::DefaultPeersHelperPath()
{
    const QString installed = QStringLiteral(PELION_PEERS_HELPER_INSTALLED);
    if (QFileInfo(installed).isExecutable())
        return installed;
    return QDir(QCoreApplication::applicationDirPath()).filePath(QLatin1StringView(kHelperName));
}

CPeerWriter::CPeerWriter(SPeerWriterOptions options, QObject* parent)
    : QObject(parent), m_options(std::move(options))
{
    m_timeout.setSingleShot(true);
    connect(&m_timeout, &QTimer::timeout, this, [this] {
        if (m_process)
            m_process->kill(); // finished follows
    });
}

CPeerWriter::~CPeerWriter()
{
    if (m_process) {
        m_process->disconnect(this);
        m_process->kill();
        m_process->waitForFinished(1000);
    }
}

void CPeerWriter::Start(const CPeerRequest& request)
{
    if (m_process)
        return;
    if (m_options.direct) {
        const CPeerStore::SOutcome outcome =
            CPeerStore(m_options.peersFolder, m_options.secretsFolder).Apply(request);
        End(outcome.status == CPeerStore::Done ? EResult::Done : EResult::Failed, outcome.error);
        return;
    }
    if (m_options.runner.isEmpty() || !QFileInfo(m_options.runner).isExecutable()) {
        End(EResult::NoRunner, QStringLiteral("this system has no pkexec"));
        return;
    }
    auto* process = new QProcess(this);
    m_process = process;
    process->setProcessChannelMode(QProcess::SeparateChannels);
    connect(process, &QProcess::finished, this, &CPeerWriter::process_Finished);
    connect(process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            process_Finished(-1, QProcess::CrashExit);
    });
    m_timeout.start(m_options.timeoutMs);
    process->start(m_options.runner, QStringList{m_options.helper} + m_options.helperArguments);
    if (m_process != process)
        return; // it could not start, and Finished has said so
    process->write(request.Encode());
    process->closeWriteChannel();
}

void CPeerWriter::process_Finished(int exitCode, QProcess::ExitStatus status)
{
    if (!m_process)
        return;
    const bool timedOut = !m_timeout.isActive();
    m_timeout.stop();
    const QString said = QString::fromLocal8Bit(m_process->readAllStandardError()).trimmed();
    const bool started = m_process->error() != QProcess::FailedToStart;
    m_process->deleteLater();
    m_process = nullptr;
    if (!started) {
        End(EResult::NoRunner, QStringLiteral("%1 cannot be started").arg(m_options.runner));
    } else if (status != QProcess::NormalExit) {
        End(EResult::Failed, timedOut ? QStringLiteral("no administrator answered in time")
                                      : QStringLiteral("the helper ended abnormally"));
    } else if (exitCode == kNotAuthorized || exitCode == kAuthenticationFailed) {
        End(EResult::Failed, QStringLiteral("an administrator's password is needed, and none "
                                            "was given"));
    } else if (exitCode != 0) {
        // The helper's one line, without its name.
        const QString prefix = QLatin1StringView(kHelperName) + QStringLiteral(": ");
        const QString line = said.section(u'\n', -1);
        End(EResult::Failed, line.startsWith(prefix) ? line.mid(prefix.size()) : line);
    } else {
        End(EResult::Done, {});
    }
}

void CPeerWriter::End(EResult result, const QString& error)
{
    emit Finished(result, error);
}
