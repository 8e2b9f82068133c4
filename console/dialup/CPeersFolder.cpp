#include "console/dialup/CPeersFolder.h"

#include "platform/system/MOwnedFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

// Read by pppd for the members of its group; only root writes.
constexpr int kEntryMode = 0640;
constexpr const char* kDialGroup = "dip";

} // namespace

QString CPeersFolder::FilePath(const QString& entry) const
{
    return QDir(m_path).filePath(entry);
}

bool CPeersFolder::Exists(const QString& entry) const
{
    return QFileInfo::exists(FilePath(entry));
}

std::optional<CPeerEntry> CPeersFolder::Read(const QString& entry, QString& error) const
{
    QFile file(FilePath(entry));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        error = file.errorString();
        return std::nullopt;
    }
    return CPeerEntry::Parse(QString::fromLocal8Bit(file.readAll()));
}

bool CPeersFolder::Write(const QString& entry, const CPeerEntry& content, QString& error) const
{
    return ReplaceFileWhole(FilePath(entry), content.Text().toLocal8Bit(), kEntryMode,
                            QString::fromLatin1(kDialGroup), error);
}

QStringList CPeersFolder::Entries() const
{
    return EnumRasEntries(m_path);
}
