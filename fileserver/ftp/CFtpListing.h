#pragma once

#include "fileserver/folder/CServedFolder.h"

#include <QByteArray>
#include <QDateTime>
#include <QLocale>
#include <QString>

// The lines of a LIST or NLST reply. One line per entry:
//   <date> <hh:mm:ss><size field>TAB<name>TAB<size text>CR LF
// The date is the locale's short date and the time is left out at exactly
// midnight; the size field is "    <DIR>" for a folder and nine blanks for a
// file; the size text is a file's length in decimal, empty for a folder.
class CFtpListing final {
public:
    static constexpr char kDirField[] = "    <DIR>";
    static constexpr char kFileField[] = "         ";
    static constexpr char kTimeFormat[] = "hh:mm:ss";

    struct SEntry {
        QString name;
        bool isDir = false;
        qint64 size = 0;
        QDateTime lastModified;
    };

    // The date and time text of a listing line.
    static QString DateTimeText(const QDateTime& when, const QLocale& locale);

    // One listing line.
    static QByteArray Line(const SEntry& entry, const QLocale& locale);

    // The listing of a virtual path of the served folder: the entries of a
    // folder in the order the file system gives them, or the one line of a
    // file. Hidden names (CServedFolder::IsHiddenName) are left out,
    // and so are links that lead out of the served folder. A path that names
    // nothing lists nothing.
    static QByteArray Build(const CServedFolder& folder, const QString& virtualPath,
                            const QLocale& locale = QLocale::system());
};
