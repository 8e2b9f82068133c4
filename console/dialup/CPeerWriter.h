#pragma once

#include "console/dialup/CPeerRequest.h"
#include "console/dialup/CPeerStore.h"
#include "platform/dialup/MRasApi.h"
#include "platform/system/MOwnedFiles.h"

#include <QObject>
#include <QPointer>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QTimer>

// Where and how the phonebook is changed; tests give their own folders,
// runner and helper.
struct SPeerWriterOptions {
    QString peersFolder = PhonebookPath();
    QString secretsFolder = CPeerStore::DefaultSecretsFolder();
    // Root changes the files itself; anyone else asks an administrator.
    bool direct = IsRunningAsRoot();
    // The program that runs the helper with an administrator's rights once
    // one has said yes; empty or missing when the system has none.
    QString runner = QStandardPaths::findExecutable(QStringLiteral("pkexec"));
    QString helper = DefaultPeersHelperPath();
    QStringList helperArguments;
    // How long an administrator may take to answer.
    int timeoutMs = 5 * 60 * 1000;

    // The installed helper, which the system's policy names; where it is
    // not installed, the one beside the running program (a build tree).
    static QString DefaultPeersHelperPath();
};

// Carries out one change of the phonebook for the entry editor: root through
// CPeerStore at once, an ordinary user through "pkexec pelion-peers-helper"
// with the request on its standard input, without blocking the event loop.
class CPeerWriter final : public QObject {
    Q_OBJECT

public:
    enum class EResult {
        Done,
        Failed,   // the change was refused or failed; error says why
        NoRunner, // nobody here can raise the rights: an administrator must do it
    };
    Q_ENUM(EResult)

    explicit CPeerWriter(SPeerWriterOptions options, QObject* parent = nullptr);
    ~CPeerWriter() override;

    // Starts the change; Finished follows, at once for a direct change.
    // Nothing happens while an earlier change still runs.
    void Start(const CPeerRequest& request);
    bool IsRunning() const { return m_process != nullptr; }

    const SPeerWriterOptions& Options() const { return m_options; }

signals:
    void Finished(CPeerWriter::EResult result, const QString& error);

private:
    void process_Finished(int exitCode, QProcess::ExitStatus status);
    void End(EResult result, const QString& error);

    SPeerWriterOptions m_options;
    QPointer<QProcess> m_process;
    QTimer m_timeout;
};
