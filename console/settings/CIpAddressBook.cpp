#include "console/settings/CIpAddressBook.h"

#include "console/settings/CSettingsStore.h"
#include "console/settings/MSettings.h"

#include <limits>

namespace {

const QLatin1String kKeyPrefix("k_");

QString Section()
{
    return QLatin1String(kSectionIpAddressBook);
}

QString AddressKey(int index)
{
    return QString::number(index) + QLatin1String(kKeyWordIpAddress);
}

QString DescriptionKey(int index)
{
    return QString::number(index) + QLatin1String(kKeyWordDescription);
}

} // namespace

CIpAddressBook::CIpAddressBook(CSettingsStore& store, qint16& count)
    : m_store(store), m_count(count)
{
}

QList<SIpBookEntry> CIpAddressBook::Load()
{
    QList<SIpBookEntry> entries;
    // The count is 16 bits wide: the book ends there at the latest.
    for (int index = 0; index < std::numeric_limits<qint16>::max(); ++index) {
        SIpBookEntry entry = Read(index);
        if (entry.address.isEmpty())
            break;
        entries.append(std::move(entry));
    }
    m_count = static_cast<qint16>(entries.size());
    return entries;
}

qint16 CIpAddressBook::Add(const SIpBookEntry& entry)
{
    const qint16 index = m_count;
    Write(index, entry);
    ++m_count;
    return index;
}

void CIpAddressBook::SetDescription(qint16 index, const QString& description)
{
    m_store.Write(Section(), DescriptionKey(index), description);
}

void CIpAddressBook::Remove(qint16 index)
{
    if (index < 0 || index >= m_count)
        return;
    // The last pass copies the empty values from past the end; the keys of
    // the last index go right after.
    for (int i = index; i < m_count; ++i)
        Write(i, Read(i + 1));
    const int last = m_count - 1;
    m_store.Delete(Section(), AddressKey(last));
    m_store.Delete(Section(), DescriptionKey(last));
    --m_count;
}

QString CIpAddressBook::RowKey(qint16 index, const QString& address)
{
    return kKeyPrefix + QString::number(index) + QLatin1Char('_') + address;
}

qint16 CIpAddressBook::IndexFromKey(const QString& key)
{
    if (!key.startsWith(kKeyPrefix))
        return -1;
    const qsizetype last = key.lastIndexOf(QLatin1Char('_'));
    if (last <= kKeyPrefix.size())
        return -1;
    bool isNumber = false;
    const int index = key.mid(kKeyPrefix.size(), last - kKeyPrefix.size()).toInt(&isNumber);
    if (!isNumber || index < 0 || index > std::numeric_limits<qint16>::max())
        return -1;
    return static_cast<qint16>(index);
}

QString CIpAddressBook::KeyAfterRemoval(const QString& key, qint16 removedIndex)
{
    const qint16 index = IndexFromKey(key);
    if (index <= removedIndex)
        return key;
    const QString address = key.mid(key.lastIndexOf(QLatin1Char('_')) + 1);
    return RowKey(static_cast<qint16>(index - 1), address);
}

bool CIpAddressBook::IsDuplicate(const QStringList& rowKeys, const QString& address)
{
    // "k_", any run of characters, "_" and the whole address.
    const QString tail = QLatin1Char('_') + address;
    for (const QString& key : rowKeys) {
        if (key.startsWith(kKeyPrefix) && key.size() >= kKeyPrefix.size() + tail.size()
            && key.endsWith(tail))
            return true;
    }
    return false;
}

bool CIpAddressBook::IsDottedIPv4(const QString& text)
{
    const QStringList parts = text.split(QLatin1Char('.'));
    if (parts.size() != 4)
        return false;
    for (const QString& part : parts) {
        if (part.isEmpty() || part.size() > 3)
            return false;
        // "010" reads as octal to some programs: one spelling per address.
        if (part.size() > 1 && part.startsWith(QLatin1Char('0')))
            return false;
        for (const QChar c : part) {
            if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                return false;
        }
        if (part.toInt() > 255)
            return false;
    }
    return true;
}

SIpBookEntry CIpAddressBook::Read(int index) const
{
    return {m_store.Read(Section(), AddressKey(index)),
            m_store.Read(Section(), DescriptionKey(index))};
}

void CIpAddressBook::Write(int index, const SIpBookEntry& entry)
{
    m_store.Write(Section(), AddressKey(index), entry.address);
    m_store.Write(Section(), DescriptionKey(index), entry.description);
}
