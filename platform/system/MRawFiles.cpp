#include "platform/system/MRawFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr char16_t kEscapeBase = 0xDC00;
constexpr int kMaxLinkLength = 4096;

// The length of the valid UTF-8 sequence at bytes[i], 0 when it is not one.
int ValidSequenceLength(const QByteArray& bytes, qsizetype i)
{
    const auto lead = static_cast<unsigned char>(bytes[i]);
    int length = 0;
    char32_t value = 0;
    if (lead < 0x80)
        return 1;
    if ((lead & 0xE0) == 0xC0) {
        length = 2;
        value = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        value = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        value = lead & 0x07;
    } else {
        return 0;
    }
    if (i + length > bytes.size())
        return 0;
    for (int k = 1; k < length; ++k) {
        const auto next = static_cast<unsigned char>(bytes[i + k]);
        if ((next & 0xC0) != 0x80)
            return 0;
        value = (value << 6) | (next & 0x3F);
    }
    static constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    // Overlong forms, surrogates and values past Unicode are not valid.
    if (value < kSmallest[length] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return 0;
    return length;
}

std::unique_ptr<QFile> Wrap(int fd, QIODevice::OpenMode mode)
{
    if (fd < 0)
        return nullptr;
    auto file = std::make_unique<QFile>();
    if (!file->open(fd, mode, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return nullptr;
    }
    return file;
}

} // namespace

QString FileNameText(const QByteArray& bytes)
{
    QString text;
    text.reserve(bytes.size());
    qsizetype i = 0;
    while (i < bytes.size()) {
        const int length = ValidSequenceLength(bytes, i);
        if (length == 0) {
            text.append(QChar(char16_t(kEscapeBase + static_cast<unsigned char>(bytes[i]))));
            ++i;
            continue;
        }
        text.append(QString::fromUtf8(bytes.constData() + i, length));
        i += length;
    }
    return text;
}

QByteArray FileNameBytes(const QString& text)
{
    QByteArray bytes;
    bytes.reserve(text.size());
    qsizetype start = 0;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        const bool escaped = i < text.size() && text[i].unicode() >= kEscapeBase + 0x80
                             && text[i].unicode() <= kEscapeBase + 0xFF;
        if (!escaped && i < text.size())
            continue;
        bytes += QStringView(text).mid(start, i - start).toUtf8();
        if (escaped)
            bytes += static_cast<char>(text[i].unicode() - kEscapeBase);
        start = i + 1;
    }
    return bytes;
}

std::unique_ptr<QFile> OpenRawForRead(const QByteArray& path)
{
    if (path.isEmpty() || path.contains('\0'))
        return nullptr;
    // Not blocking: opening a pipe for reading would wait for a writer.
    const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        return nullptr;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return Wrap(fd, QIODevice::ReadOnly);
}

std::unique_ptr<QFile> CreateRawForWrite(const QByteArray& path)
{
    if (path.isEmpty() || path.contains('\0'))
        return nullptr;
    // O_EXCL with O_CREAT never follows a link in the last name.
    constexpr mode_t kMode = S_IRUSR | S_IWUSR | S_IRGRP | S_IWGRP | S_IROTH | S_IWOTH;
    const int fd =
        ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, kMode);
    return Wrap(fd, QIODevice::WriteOnly | QIODevice::Unbuffered);
}

std::unique_ptr<QFile> OpenRawForRewrite(const QByteArray& path)
{
    if (path.isEmpty() || path.contains('\0'))
        return nullptr;
    const int fd = ::open(path.constData(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || status.st_nlink != 1) {
        ::close(fd);
        return nullptr;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return Wrap(fd, QIODevice::WriteOnly | QIODevice::Unbuffered);
}

bool RemoveRawName(const QByteArray& path)
{
    return !path.isEmpty() && !path.contains('\0') && ::unlink(path.constData()) == 0;
}

QByteArray OpenedFilePath(const QFile& file)
{
    const int fd = file.handle();
    if (fd < 0)
        return {};
    const QByteArray link = "/proc/self/fd/" + QByteArray::number(fd);
    QByteArray target(kMaxLinkLength, Qt::Uninitialized);
    const ssize_t length = ::readlink(link.constData(), target.data(), target.size());
    if (length <= 0 || length >= target.size())
        return {};
    target.truncate(length);
    return target;
}

SOpenFileStatus OpenFileStatus(const QFile& file)
{
    struct stat status {};
    const int fd = file.handle();
    if (fd < 0 || ::fstat(fd, &status) != 0)
        return {};
    return {true, S_ISREG(status.st_mode), qint64(status.st_size)};
}
