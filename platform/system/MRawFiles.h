#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include <memory>

// File operations on names as the file system stores them: bytes, which need
// not be valid UTF-8. A name holding a NUL byte names nothing (the system
// would cut it there), so every function refuses it.

// Lossless text form of a file-system name: valid UTF-8 as it reads, each
// byte of an invalid sequence as the code point U+DC00 + byte (which no valid
// name decodes to). FileNameBytes is its inverse.
QString FileNameText(const QByteArray& bytes);
QByteArray FileNameBytes(const QString& text);

// Opens an ordinary file for reading; links are followed. Anything else (a
// folder, a pipe, a device) is refused without waiting. nullptr on failure.
std::unique_ptr<QFile> OpenRawForRead(const QByteArray& path);

// Creates a new file for writing, unbuffered. Fails when the name exists in
// any form (file, hard link, symbolic link, dangling or not): nothing that
// exists is written through. nullptr on failure.
std::unique_ptr<QFile> CreateRawForWrite(const QByteArray& path);

// Opens an existing ordinary file for writing, unbuffered, without
// truncating it: never through a symbolic link in the last name, nor a file
// with other hard links, so that only this name's bytes change. nullptr on
// failure.
std::unique_ptr<QFile> OpenRawForRewrite(const QByteArray& path);

// Removes a name; a symbolic link goes itself, not what it points to.
bool RemoveRawName(const QByteArray& path);

// The absolute path the file open in file has now, as the system records it
// for the descriptor (links resolved); empty when it cannot be read.
QByteArray OpenedFilePath(const QFile& file);

// What the system says of an open file at this moment.
struct SOpenFileStatus {
    bool known = false;   // false: the file is not open, or the system could not tell
    bool regular = false; // an ordinary file, not a pipe, a device or a socket
    qint64 size = 0;      // its length in bytes now
};
SOpenFileStatus OpenFileStatus(const QFile& file);
