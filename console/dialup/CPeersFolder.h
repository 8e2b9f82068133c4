#pragma once

#include "console/dialup/CPeerEntry.h"
#include "platform/dialup/MRasApi.h"

#include <QString>
#include <QStringList>

#include <optional>

// The phonebook's files: reading an entry, and writing one so that a failed
// write leaves the old file as it was.
class CPeersFolder final {
public:
    explicit CPeersFolder(QString path = PhonebookPath()) : m_path(std::move(path)) {}

    QString Path() const { return m_path; }
    QString FilePath(const QString& entry) const;
    bool Exists(const QString& entry) const;

    // The entry's file; nothing, with the reason in error, when it cannot be read.
    std::optional<CPeerEntry> Read(const QString& entry, QString& error) const;

    // Writes the entry's file whole or not at all, mode 0640, and run as
    // root owned by root and the group dip, whose members may dial it; false
    // with the system's reason in error (a folder this user may not write, a
    // full disk...).
    bool Write(const QString& entry, const CPeerEntry& content, QString& error) const;

    // The entry names that are files of the folder now.
    QStringList Entries() const;

private:
    QString m_path;
};
