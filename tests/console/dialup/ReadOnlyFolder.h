#pragma once

#include <QProcess>
#include <QString>

#include <memory>

// A view of a folder that the kernel refuses to write, also to root: the
// folder bind-mounted read-only in a mount namespace of a helper process,
// reached through that process's /proc/PID/root. The helper ends with this
// object (or after a minute by itself).
class ReadOnlyFolder final {
public:
    explicit ReadOnlyFolder(const QString& folder)
    {
        m_helper = std::make_unique<QProcess>();
        m_helper->start(QStringLiteral("unshare"),
                        {QStringLiteral("--mount"), QStringLiteral("--propagation"),
                         QStringLiteral("private"), QStringLiteral("sh"), QStringLiteral("-c"),
                         QStringLiteral("mount --bind -o ro \"$0\" \"$0\" && echo ready && "
                                        "exec sleep 60"),
                         folder});
        if (!m_helper->waitForStarted(kTimeoutMs))
            return;
        for (int tries = 0;
             tries < 3 && m_helper->state() == QProcess::Running && !m_helper->canReadLine();
             ++tries)
            m_helper->waitForReadyRead(kTimeoutMs);
        if (m_helper->readLine().trimmed() == "ready")
            m_path = QStringLiteral("/proc/%1/root%2").arg(m_helper->processId()).arg(folder);
    }
    ~ReadOnlyFolder()
    {
        m_helper->kill();
        m_helper->waitForFinished(kTimeoutMs);
    }
    ReadOnlyFolder(const ReadOnlyFolder&) = delete;
    ReadOnlyFolder& operator=(const ReadOnlyFolder&) = delete;

    // The read-only view of the folder; empty where none could be made.
    QString Path() const { return m_path; }

private:
    static constexpr int kTimeoutMs = 10000;
    std::unique_ptr<QProcess> m_helper;
    QString m_path;
};
