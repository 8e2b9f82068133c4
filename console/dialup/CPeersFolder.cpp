#include "console/dialup/CPeersFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

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
    // The new text goes to a file beside the old one, which it replaces only
    // once written whole.
    QSaveFile file(FilePath(entry));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        error = file.errorString();
        return false;
    }
    const QByteArray bytes = content.Text().toLocal8Bit();
    if (file.write(bytes) != bytes.size() || !file.commit()) {
        error = file.errorString();
        return false;
    }
    return true;
}
