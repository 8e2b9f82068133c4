#pragma once

#include "fileserver/folder/CServedFolder.h"

#include <QString>

#include <optional>

// A session's current directory inside the served folder, and how the paths
// of CWD, RETR, STOR and LIST are taken from it. Every path goes through
// CServedFolder, so none leads out of the served folder.
//
// A path is taken from the current directory unless it starts with a
// separator ("/" or "\") or a drive letter ("C:"), which start from the
// served root; ".." climbs at most to the root.
class CFtpCurrentDir final {
public:
    explicit CFtpCurrentDir(CServedFolder folder) : m_folder(std::move(folder)) {}

    const CServedFolder& Folder() const { return m_folder; }

    // "/" at the root, then "/sub/", "/sub/deeper/" and so on.
    QString Path() const;

    // CWD: true when the argument names a folder inside the served folder
    // (it becomes current) or is empty (nothing changes).
    bool Change(const QString& argument);

    // Where a file argument of RETR or STOR leads.
    CServedFolder::SResolved File(const QString& argument) const;

    // The virtual path a LIST or NLST argument names: the current directory
    // for no argument or listing options ("-la"), nothing when the argument
    // names nothing inside the served folder.
    std::optional<QString> ListTarget(const QString& argument) const;

private:
    CServedFolder m_folder;
    QString m_current = QStringLiteral("/");
};
