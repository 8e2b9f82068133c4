#include "common/GBytes.h"

#include "common/MWindowsError.h"

#include <algorithm>
#include <array>
#include <limits>

namespace GBytes {

namespace {

// Run-time error numbers, with the run time's own wording.
constexpr std::uint32_t kErrInvalidCall = 5;
constexpr std::uint32_t kErrSubscript = 9;

const QString kBytesSuffix = QStringLiteral(".Bytes");

[[noreturn]] void RaiseSubscript()
{
    RaiseLibraryError(kErrSubscript, kBytesSuffix, QStringLiteral("Subscript out of range"));
}

[[noreturn]] void RaiseInvalidCall()
{
    RaiseLibraryError(kErrInvalidCall, kBytesSuffix,
                      QStringLiteral("Invalid procedure call or argument"));
}

// Raises unless [index, index + count) lies inside the array.
void CheckRange(const QByteArray& bytes, qsizetype index, qsizetype count)
{
    if (index < 0 || count < 0 || index > bytes.size() || count > bytes.size() - index)
        RaiseSubscript();
}

void CheckCount(qsizetype count)
{
    if (count < 0)
        RaiseInvalidCall();
}

void CheckBit(int bit, int width)
{
    if (bit < 0 || bit >= width)
        RaiseSubscript();
}

std::uint8_t ByteAt(const QByteArray& bytes, qsizetype index)
{
    return static_cast<std::uint8_t>(bytes.at(index));
}

} // namespace

bool IsArrayEmpty(const QVariant& va)
{
    if (va.typeId() == QMetaType::QByteArray)
        return va.toByteArray().isEmpty();
    if (va.typeId() == QMetaType::QVariantList)
        return va.toList().isEmpty();
    return true;
}

void StrToBytes(QByteArray& bytes, QString& s)
{
    if (IsArrayEmpty(QVariant(bytes))) {
        bytes = s.toLatin1();
        return;
    }
    const qsizetype n = bytes.size();
    if (s.size() < n)
        s.append(QString(n - s.size(), QChar(0)));
    const QByteArray source = s.left(n).toLatin1();
    std::copy(source.cbegin(), source.cend(), bytes.begin());
}

QString BytesToStr(const QByteArray& bytes)
{
    return QString::fromLatin1(bytes.constData(), bytes.size());
}

QByteArray StrToBytesV(const QString& s)
{
    return s.toLatin1();
}

QString ByteZToStr(const QByteArray& bytes)
{
    const qsizetype zero = bytes.indexOf('\0');
    return QString::fromLatin1(bytes.constData(), zero < 0 ? bytes.size() : zero);
}

std::uint16_t BytesToWord(const QByteArray& bytes, qsizetype index)
{
    CheckRange(bytes, index, 2);
    return MakeWord(ByteAt(bytes, index), ByteAt(bytes, index + 1));
}

std::uint32_t BytesToDWord(const QByteArray& bytes, qsizetype index)
{
    CheckRange(bytes, index, 4);
    return MakeDWord(BytesToWord(bytes, index), BytesToWord(bytes, index + 2));
}

void BytesFromWord(std::uint16_t value, QByteArray& bytes, qsizetype index)
{
    CheckRange(bytes, index, 2);
    bytes[index] = static_cast<char>(LoByte(value));
    bytes[index + 1] = static_cast<char>(HiByte(value));
}

void BytesFromDWord(std::uint32_t value, QByteArray& bytes, qsizetype index)
{
    CheckRange(bytes, index, 4);
    BytesFromWord(LoWord(value), bytes, index);
    BytesFromWord(HiWord(value), bytes, index + 2);
}

QString BytesToPStr(const QByteArray& bytes, qsizetype index)
{
    CheckRange(bytes, index, 1);
    const qsizetype length = ByteAt(bytes, index);
    CheckRange(bytes, index + 1, length);
    return QString::fromLatin1(bytes.constData() + index + 1, length);
}

qsizetype LenBytes(const QByteArray& bytes)
{
    return bytes.size();
}

QByteArray MidBytes(const QByteArray& bytes, qsizetype start, qsizetype length)
{
    CheckCount(start);
    if (length != -1)
        CheckCount(length);
    if (start >= bytes.size())
        return {};
    return bytes.mid(start, length);
}

QByteArray LeftBytes(const QByteArray& bytes, qsizetype count)
{
    CheckCount(count);
    return bytes.left(count);
}

QByteArray RightBytes(const QByteArray& bytes, qsizetype count)
{
    CheckCount(count);
    return bytes.right(count);
}

void InsBytes(QByteArray& bytes, const QByteArray& insert, qsizetype index)
{
    CheckRange(bytes, index, 0);
    bytes.insert(index, insert);
}

void FillBytes(QByteArray& bytes, std::uint8_t value, qsizetype start, qsizetype count)
{
    CheckRange(bytes, start, 0);
    if (count == -1)
        count = bytes.size() - start;
    CheckCount(count);
    CheckRange(bytes, start, count);
    std::fill_n(bytes.begin() + start, count, static_cast<char>(value));
}

std::uint16_t LShiftWord(std::uint16_t value, int count)
{
    CheckCount(count);
    return count >= 16 ? 0 : static_cast<std::uint16_t>(value << count);
}

std::uint16_t RShiftWord(std::uint16_t value, int count)
{
    CheckCount(count);
    return count >= 16 ? 0 : static_cast<std::uint16_t>(value >> count);
}

std::uint32_t LShiftDWord(std::uint32_t value, int count)
{
    CheckCount(count);
    return count >= 32 ? 0 : value << count;
}

std::uint32_t RShiftDWord(std::uint32_t value, int count)
{
    CheckCount(count);
    return count >= 32 ? 0 : value >> count;
}

void SetBitWord(std::uint16_t& value, int bit, bool on)
{
    CheckBit(bit, 16);
    const auto mask = static_cast<std::uint16_t>(1u << bit);
    value =
        on ? static_cast<std::uint16_t>(value | mask) : static_cast<std::uint16_t>(value & ~mask);
}

void SetBitDWord(std::uint32_t& value, int bit, bool on)
{
    CheckBit(bit, 32);
    const std::uint32_t mask = 1u << bit;
    value = on ? (value | mask) : (value & ~mask);
}

bool GetBit(std::uint32_t value, int bit)
{
    CheckBit(bit, 32);
    return (value >> bit) & 1u;
}

std::int32_t Power2(int i)
{
    // The table of powers, filled once on first use.
    static const std::array<std::int32_t, 32> table = [] {
        std::array<std::int32_t, 32> powers{};
        for (int k = 0; k < 31; ++k)
            powers[k] = std::int32_t{1} << k;
        powers[31] = std::numeric_limits<std::int32_t>::min();
        return powers;
    }();
    CheckBit(i, 32);
    return table[static_cast<std::size_t>(i)];
}

} // namespace GBytes
