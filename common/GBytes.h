#pragma once

#include <QByteArray>
#include <QString>
#include <QVariant>

#include <cstdint>
#include <utility>

// Byte arrays, words and bits. Text crosses into bytes as Latin-1, one byte
// per character, as the single-byte code pages the equipment tools use.
//
// Indexes are 0-based. Multi-byte values in byte arrays are little-endian,
// as on the original platform. An index or range outside the array raises the
// run-time error 9 ("Subscript out of range"); a negative count or length
// raises the run-time error 5 ("Invalid procedure call or argument"). Nothing
// reads or writes outside an array, and no member makes an array grow except
// InsBytes.
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

// The bytes of a text, one per character.
QByteArray StrToBytesV(const QString& s);

// One character per byte, up to (not including) the first zero byte.
QString ByteZToStr(const QByteArray& bytes);

// A 16-bit or 32-bit value read from bytes[index] on.
std::uint16_t BytesToWord(const QByteArray& bytes, qsizetype index = 0);
std::uint32_t BytesToDWord(const QByteArray& bytes, qsizetype index = 0);

// Writes a 16-bit or 32-bit value into bytes[index] on.
void BytesFromWord(std::uint16_t value, QByteArray& bytes, qsizetype index = 0);
void BytesFromDWord(std::uint32_t value, QByteArray& bytes, qsizetype index = 0);

// A length-prefixed text: bytes[index] is the length, the characters follow.
QString BytesToPStr(const QByteArray& bytes, qsizetype index = 0);

qsizetype LenBytes(const QByteArray& bytes);

// Parts of a byte array as Mid, Left and Right give parts of a text: a count
// past the end is cut at the end, a start past the end gives an empty array,
// a length of -1 means "to the end".
QByteArray MidBytes(const QByteArray& bytes, qsizetype start, qsizetype length = -1);
QByteArray LeftBytes(const QByteArray& bytes, qsizetype count);
QByteArray RightBytes(const QByteArray& bytes, qsizetype count);

// Inserts insert before bytes[index]; index may be the array's length (append).
void InsBytes(QByteArray& bytes, const QByteArray& insert, qsizetype index);

// Sets count bytes from start on to value; a count of -1 means "to the end".
void FillBytes(QByteArray& bytes, std::uint8_t value, qsizetype start = 0, qsizetype count = -1);

constexpr std::uint16_t LoWord(std::uint32_t value) noexcept
{
    return static_cast<std::uint16_t>(value & 0xFFFFu);
}
constexpr std::uint16_t HiWord(std::uint32_t value) noexcept
{
    return static_cast<std::uint16_t>(value >> 16);
}
constexpr std::uint8_t LoByte(std::uint16_t value) noexcept
{
    return static_cast<std::uint8_t>(value & 0xFFu);
}
constexpr std::uint8_t HiByte(std::uint16_t value) noexcept
{
    return static_cast<std::uint8_t>(value >> 8);
}
constexpr std::uint16_t MakeWord(std::uint8_t lo, std::uint8_t hi) noexcept
{
    return static_cast<std::uint16_t>(lo | (hi << 8));
}
constexpr std::uint32_t MakeDWord(std::uint16_t lo, std::uint16_t hi) noexcept
{
    return static_cast<std::uint32_t>(lo) | (static_cast<std::uint32_t>(hi) << 16);
}

// Logical shifts. A count of the value's width or more shifts every bit out
// (result 0); a negative count raises the run-time error 5.
std::uint16_t LShiftWord(std::uint16_t value, int count);
std::uint16_t RShiftWord(std::uint16_t value, int count);
std::uint32_t LShiftDWord(std::uint32_t value, int count);
std::uint32_t RShiftDWord(std::uint32_t value, int count);

// Sets (on) or clears one bit: 0 to 15 of a word, 0 to 31 of a double word.
void SetBitWord(std::uint16_t& value, int bit, bool on);
void SetBitDWord(std::uint32_t& value, int bit, bool on);

// Whether bit 0 to 31 of value is set.
bool GetBit(std::uint32_t value, int bit);

constexpr std::uint16_t SwapWordBytes(std::uint16_t value) noexcept
{
    return MakeWord(HiByte(value), LoByte(value));
}
constexpr std::uint32_t SwapDWordWords(std::uint32_t value) noexcept
{
    return MakeDWord(HiWord(value), LoWord(value));
}
// Reverses the four bytes (big-endian <-> little-endian).
constexpr std::uint32_t SwapEndian(std::uint32_t value) noexcept
{
    return MakeDWord(SwapWordBytes(HiWord(value)), SwapWordBytes(LoWord(value)));
}

// 2 to the power i, i from 0 to 31; Power2(31) is the signed value INT32_MIN.
std::int32_t Power2(int i);

// Exchange two values; the original's three names for its three integer types.
inline void SwapBytes(std::uint8_t& a, std::uint8_t& b) noexcept
{
    std::swap(a, b);
}
inline void SwapIntegers(std::int16_t& a, std::int16_t& b) noexcept
{
    std::swap(a, b);
}
inline void SwapLongs(std::int32_t& a, std::int32_t& b) noexcept
{
    std::swap(a, b);
}

} // namespace GBytes
