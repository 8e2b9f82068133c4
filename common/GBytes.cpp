#include "GBytes.h"

namespace GBytes {

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

} // namespace GBytes
