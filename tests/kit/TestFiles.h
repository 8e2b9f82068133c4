#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>

// Files for tests: whole contents in and out, and recognisable bytes.
namespace TestFiles {

// Writes content to path (creating its folder), replacing what was there.
inline bool Write(const QString& path, const QByteArray& content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate)
           && file.write(content) == content.size();
}

inline bool WriteText(const QString& path, const QString& text)
{
    return Write(path, text.toUtf8());
}

// The whole file; empty when it cannot be read.
inline QByteArray Read(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline QString ReadText(const QString& path)
{
    return QString::fromUtf8(Read(path));
}

// size bytes in which no short run repeats at a block-sized distance, so a
// block sent twice, left out or out of order shows.
inline QByteArray Pattern(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    quint32 state = 2463534242u;
    for (qsizetype i = 0; i < size; ++i) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        bytes[i] = char(state & 0xff);
    }
    return bytes;
}

// Writes an executable script (its first line should be "#!/bin/sh").
inline bool WriteScript(const QString& path, const QByteArray& script)
{
    return Write(path, script)
           && QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                              | QFileDevice::ExeOwner);
}

} // namespace TestFiles
