#include "platform/system/MOwnedFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <grp.h>
#include <sys/auxv.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString SystemError(const char* what, int error)
{
    return QStringLiteral("%1: %2").arg(QLatin1StringView(what),
                                        QString::fromLocal8Bit(std::strerror(error)));
}

bool WriteAll(int fd, const QByteArray& bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

} // namespace

bool IsRunningAsRoot()
{
    return ::geteuid() == 0;
}

bool IsElevatedStart()
{
    return ::getauxval(AT_SECURE) != 0 || std::getenv("PKEXEC_UID") != nullptr;
}

bool ReplaceFileWhole(const QString& path, const QByteArray& bytes, int mode, const QString& group,
                      QString& error)
{
    gid_t gid = gid_t(-1);
    if (IsRunningAsRoot()) {
        const struct group* entry = ::getgrnam(group.toLocal8Bit().constData());
        if (!entry) {
            error = QStringLiteral("the group %1 does not exist").arg(group);
            return false;
        }
        gid = entry->gr_gid;
    }
    const QFileInfo target(path);
    QByteArray temp =
        QFile::encodeName(QDir(target.absolutePath()).filePath(u'.' + target.fileName()))
        + ".XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) {
        error = SystemError("cannot create a file in the folder", errno);
        return false;
    }
    // Mode and owner are set before the name appears, so that nobody reads
    // the new file with wider rights than the old one.
    const char* failed = nullptr;
    int failure = 0;
    auto step = [&](bool done, const char* what) {
        if (!failed && !done) {
            failed = what;
            failure = errno;
        }
    };
    step(::fchmod(fd, mode_t(mode)) == 0, "cannot set the file's mode");
    if (gid != gid_t(-1))
        step(failed || ::fchown(fd, 0, gid) == 0, "cannot set the file's owner");
    step(failed || (WriteAll(fd, bytes) && ::fsync(fd) == 0), "cannot write the file");
    step(::close(fd) == 0, "cannot write the file");
    step(failed || ::rename(temp.constData(), QFile::encodeName(path).constData()) == 0,
         "cannot replace the file");
    if (failed) {
        error = SystemError(failed, failure);
        ::unlink(temp.constData());
        return false;
    }
    return true;
}
