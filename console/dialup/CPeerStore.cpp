#include "console/dialup/CPeerStore.h"

#include "console/dialup/CPeerSecrets.h"
#include "platform/system/MOwnedFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <array>

namespace {

constexpr std::array kSecretsFiles = {"pap-secrets", "chap-secrets"};
constexpr int kSecretsMode = 0600;
constexpr const char* kRootGroup = "root";
// Entry and secrets files are a few lines; anything far larger is not one.
constexpr qint64 kMaxFileBytes = 1024 * 1024;

// The file's text when it is an ordinary file (not a link, which could lead
// the administrator's rights to another file); missing is no error.
bool ReadOwnFile(const QString& path, QString& text, bool& exists, QString& error)
{
    const QFileInfo info(path);
    exists = info.exists() || info.isSymLink();
    text.clear();
    if (!exists)
        return true;
    if (info.isSymLink() || !info.isFile() || info.size() > kMaxFileBytes) {
        error = QStringLiteral("%1 is not an ordinary file").arg(path);
        return false;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("%1: %2").arg(path, file.errorString());
        return false;
    }
    text = QString::fromUtf8(file.readAll());
    return true;
}

} // namespace

CPeerStore::CPeerStore(QString peersFolder, QString secretsFolder)
    : m_peers(std::move(peersFolder)), m_secretsFolder(std::move(secretsFolder))
{
}

QString CPeerStore::DefaultSecretsFolder()
{
    return QStringLiteral("/etc/ppp");
}

CPeerStore::SOutcome CPeerStore::Apply(const CPeerRequest& request) const
{
    const QString problem = request.Check();
    if (!problem.isEmpty())
        return {Refused, problem};
    if (request.operation == CPeerRequest::EOperation::Remove)
        return Remove(request.entry);
    return Write(request);
}

CPeerStore::SOutcome CPeerStore::Write(const CPeerRequest& request) const
{
    const QString path = m_peers.FilePath(request.entry);
    QString text;
    QString error;
    bool exists = false;
    if (!ReadOwnFile(path, text, exists, error))
        return {Failed, error};
    if (exists && request.operation == CPeerRequest::EOperation::Create)
        return {Exists, QStringLiteral("An entry named '%1' already exists.").arg(request.entry)};
    // The lines the editor does not own stay as the file had them.
    CPeerEntry content = exists ? CPeerEntry::Parse(text) : CPeerEntry::FromTemplate();
    content.SetSettings(request.settings);
    if (!m_peers.Write(request.entry, content, error))
        return {Failed, QStringLiteral("%1: %2").arg(path, error)};
    if (request.password.isEmpty())
        return {};
    const QString& user = request.settings.userName;
    const QString& password = request.password;
    return ChangeSecrets(
        [&](const QString& old) { return CPeerSecrets::WithSecret(old, user, password); }, true);
}

CPeerStore::SOutcome CPeerStore::Remove(const QString& entry) const
{
    const QString path = m_peers.FilePath(entry);
    QString text;
    QString error;
    bool exists = false;
    if (!ReadOwnFile(path, text, exists, error) && !exists)
        return {Failed, error};
    if (!exists)
        return {Missing, QStringLiteral("There is no entry named '%1'.").arg(entry)};
    // A link in the entry's place goes itself; its user is not known then.
    const QString user = error.isEmpty() ? CPeerEntry::Parse(text).Settings().userName : QString();
    if (!QFile::remove(path))
        return {Failed, QStringLiteral("%1 cannot be removed").arg(path)};
    if (user.isEmpty())
        return {};
    // The user's secret stays while another entry still logs in as that user.
    for (const QString& other : m_peers.Entries()) {
        QString otherText;
        bool otherExists = false;
        if (ReadOwnFile(m_peers.FilePath(other), otherText, otherExists, error)
            && CPeerEntry::Parse(otherText).Settings().userName == user)
            return {};
    }
    return ChangeSecrets([&](const QString& old) { return CPeerSecrets::WithoutUser(old, user); },
                         false);
}

CPeerStore::SOutcome CPeerStore::ChangeSecrets(const std::function<QString(const QString&)>& change,
                                               bool createMissing) const
{
    for (const char* name : kSecretsFiles) {
        const QString path = QDir(m_secretsFolder).filePath(QLatin1StringView(name));
        QString text;
        QString error;
        bool exists = false;
        if (!ReadOwnFile(path, text, exists, error))
            return {Failed, error};
        if (!exists && !createMissing)
            continue;
        const QString changed = change(text);
        if (exists && changed == text)
            continue;
        if (!ReplaceFileWhole(path, changed.toUtf8(), kSecretsMode, QString::fromLatin1(kRootGroup),
                              error))
            return {Failed, QStringLiteral("%1: %2").arg(path, error)};
    }
    return {};
}
