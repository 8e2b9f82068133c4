#include "platform/dialup/MPppdProgram.h"

#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <algorithm>

#include <unistd.h>

namespace {

// The longest file name the system takes.
constexpr int kMaxNameBytes = 255;

} // namespace

QString DefaultPppdPath()
{
    const QString program = QStringLiteral("pppd");
    QString path = QStandardPaths::findExecutable(program);
    if (path.isEmpty()) {
        path = QStandardPaths::findExecutable(
            program, {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")});
    }
    return path.isEmpty() ? QStringLiteral("/usr/sbin/pppd") : path;
}

bool IsRasInstalled(const QString& pppdProgram)
{
    const QFileInfo info(pppdProgram);
    return info.isFile() && ::access(QFile::encodeName(pppdProgram).constData(), X_OK) == 0;
}

bool IsValidEntryName(const QString& name)
{
    if (name.isEmpty() || name.startsWith(u'.') || name.startsWith(u'-')
        || name.toUtf8().size() > kMaxNameBytes)
        return false;
    return std::all_of(name.begin(), name.end(), [](QChar c) { return c != u'/' && c.isPrint(); });
}
