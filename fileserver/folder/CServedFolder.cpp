#include "fileserver/folder/CServedFolder.h"

#include "platform/system/MRawFiles.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>

namespace {

// A leading drive letter, which names nothing on this system.
const QRegularExpression kDriveLetter(QStringLiteral("^[A-Za-z]:"));

} // namespace

QStringList CServedFolder::SplitClientPath(const QString& clientPath)
{
    static const QRegularExpression kSeparators(QStringLiteral("[/\\\\]"));
    QString path = clientPath;
    path.remove(kDriveLetter);
    QStringList names = path.split(kSeparators, Qt::SkipEmptyParts);
    names.removeAll(QStringLiteral("."));
    return names;
}

QString CServedFolder::Normalize(const QString& clientPath, const QString& current,
                                 bool* climbedAboveRoot)
{
    QString withoutDrive = clientPath;
    withoutDrive.remove(kDriveLetter);
    const bool absolute =
        withoutDrive.startsWith(QLatin1Char('/')) || withoutDrive.startsWith(QLatin1Char('\\'));

    QStringList names = absolute ? QStringList() : SplitClientPath(current);
    bool climbed = false;
    for (const QString& name : SplitClientPath(withoutDrive)) {
        if (name == QLatin1String("..")) {
            if (names.isEmpty())
                climbed = true;
            else
                names.removeLast();
        } else {
            names.append(name);
        }
    }
    if (climbedAboveRoot)
        *climbedAboveRoot = climbed;
    return QLatin1Char('/') + names.join(QLatin1Char('/'));
}

bool CServedFolder::IsInside(const QString& canonicalPath) const
{
    if (canonicalPath == m_root)
        return true;
    const QString prefix = m_root.endsWith(QLatin1Char('/')) ? m_root : m_root + QLatin1Char('/');
    return canonicalPath.startsWith(prefix);
}

bool CServedFolder::HasControlCharacter(const QString& clientPath)
{
    return std::ranges::any_of(clientPath,
                               [](QChar c) { return c.category() == QChar::Other_Control; });
}

bool CServedFolder::IsHiddenName(const QString& fileName)
{
    return fileName.startsWith(QLatin1Char('.'));
}

bool CServedFolder::IsOpenedInside(const QFile& file) const
{
    const QByteArray opened = OpenedFilePath(file);
    const QByteArray root = FileNameBytes(m_root);
    return opened == root || opened.startsWith(root.endsWith('/') ? root : root + '/');
}

std::unique_ptr<QFile> CServedFolder::OpenForRead(const SResolved& target) const
{
    if (!target.inside)
        return nullptr;
    std::unique_ptr<QFile> file = OpenRawForRead(FileNameBytes(target.localPath));
    if (!file || !IsOpenedInside(*file))
        return nullptr;
    return file;
}

std::unique_ptr<QFile> CServedFolder::CreateForWrite(const SResolved& target) const
{
    if (!target.inside)
        return nullptr;
    const QByteArray path = FileNameBytes(target.localPath);
    RemoveRawName(path);
    std::unique_ptr<QFile> file = CreateRawForWrite(path);
    if (file && !IsOpenedInside(*file)) {
        // A folder on the way was swapped for a link after the check.
        RemoveRawName(OpenedFilePath(*file));
        return nullptr;
    }
    return file;
}

std::unique_ptr<QFile> CServedFolder::OpenForRewrite(const SResolved& target, qint64 offset) const
{
    if (!target.inside || offset < 0)
        return nullptr;
    std::unique_ptr<QFile> file = OpenRawForRewrite(FileNameBytes(target.localPath));
    if (!file || !IsOpenedInside(*file) || file->size() < offset || !file->resize(offset)
        || !file->seek(offset))
        return nullptr;
    return file;
}

CServedFolder::SResolved CServedFolder::Locate(const QString& virtualPath) const
{
    SResolved result;
    // SECURITY: Qt's checks fail on a NUL while the system's open would stop
    // at it, so the two would judge different names.
    if (HasControlCharacter(virtualPath))
        return result;
    result.virtualPath = Normalize(virtualPath);
    const QString wanted = QDir::cleanPath(m_root + result.virtualPath);

    // SECURITY: a dangling link cannot be checked, and writing through it
    // would create a file wherever it points.
    const QFileInfo leaf(wanted);
    if (leaf.isSymLink() && !leaf.exists())
        return result;

    // The deepest part that exists decides: every link on it is resolved,
    // and what follows it cannot be a link.
    QString existing = wanted;
    while (!QFileInfo::exists(existing) && existing != m_root) {
        const QString parent = QFileInfo(existing).path();
        if (parent == existing)
            break;
        existing = parent;
    }
    const QString canonical = QFileInfo(existing).canonicalFilePath();
    if (canonical.isEmpty() || !IsInside(canonical))
        return result;

    result.inside = true;
    result.localPath = wanted;
    return result;
}

CServedFolder::SResolved CServedFolder::Resolve(const QString& clientPath,
                                                const QString& current) const
{
    if (HasControlCharacter(clientPath) || HasControlCharacter(current))
        return {};
    bool climbed = false;
    SResolved result = Locate(Normalize(clientPath, current, &climbed));
    result.climbedAboveRoot = climbed;
    return result;
}
