#pragma once

#include <QByteArray>
#include <QString>
#include <QVariant>

// Byte arrays, words and bits. Text crosses into bytes as Latin-1, one byte
// per character, as the single-byte code pages the equipment tools use.
namespace GBytes {

// True when the value is not a byte array (or list) or has no element.
bool IsArrayEmpty(const QVariant& va);

// Copies the bytes of s into bytes. An empty array becomes the bytes of s;
// otherwise s is padded with zero characters to the array's length (the
// caller's text changes) and at most that many bytes are copied: the array
// never grows.
void StrToBytes(QByteArray& bytes, QString& s);

// One character per byte, zero bytes included.
QString BytesToStr(const QByteArray& bytes);

} // namespace GBytes
