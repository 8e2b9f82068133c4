#include "fileserver/ftp/CFtpListing.h"

#include <QDir>
#include <QFileInfo>

namespace {

CFtpListing::SEntry EntryOf(const QFileInfo& info)
{
    return {info.fileName(), info.isDir(), info.isDir() ? 0 : info.size(), info.lastModified()};
}

} // namespace

QString CFtpListing::DateTimeText(const QDateTime& when, const QLocale& locale)
{
    const QString date = locale.toString(when.date(), QLocale::ShortFormat);
    const QTime time = when.time();
    if (time.hour() == 0 && time.minute() == 0 && time.second() == 0)
        return date;
    return date + QLatin1Char(' ') + time.toString(QLatin1String(kTimeFormat));
}

QByteArray CFtpListing::Line(const SEntry& entry, const QLocale& locale)
{
    QByteArray line = DateTimeText(entry.lastModified, locale).toUtf8();
    line += entry.isDir ? kDirField : kFileField;
    line += '\t';
    line += entry.name.toUtf8();
    line += '\t';
    if (!entry.isDir)
        line += QByteArray::number(entry.size);
    line += "\r\n";
    return line;
}

QByteArray CFtpListing::Build(const CServedFolder& folder, const QString& virtualPath,
                              const QLocale& locale)
{
    const CServedFolder::SResolved resolved = folder.Locate(virtualPath);
    if (!resolved.inside)
        return {};
    const QFileInfo target(resolved.localPath);
    if (!target.isDir()) {
        if (!target.isFile() || CServedFolder::IsHiddenName(target.fileName()))
            return {};
        return Line(EntryOf(target), locale);
    }

    QByteArray listing;
    // Without QDir::System, dangling links and special files are left out;
    // hidden names are the served folder's to decide.
    const QFileInfoList entries =
        QDir(resolved.localPath)
            .entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Unsorted);
    const QString prefix = resolved.virtualPath.endsWith(QLatin1Char('/'))
                               ? resolved.virtualPath
                               : resolved.virtualPath + QLatin1Char('/');
    for (const QFileInfo& entry : entries) {
        if (CServedFolder::IsHiddenName(entry.fileName()))
            continue;
        // SECURITY: a link out of the served folder would show what lies outside.
        if (entry.isSymLink() && !folder.Locate(prefix + entry.fileName()).inside)
            continue;
        listing += Line(EntryOf(entry), locale);
    }
    return listing;
}
