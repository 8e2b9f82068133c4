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
    if (IsFull())
        return -1;
    const qint16 index = m_count;
    if (!m_store.Apply({{Section(), AddressKey(index), entry.address},
                        {Section(), DescriptionKey(index), entry.description}}))
        return -1;
    ++m_count;
    return index;
}

bool CIpAddressBook::IsFull() const
{
    // The count is 16 bits wide; a full book takes nothing more.
    return m_count == std::numeric_limits<qint16>::max();
}

bool CIpAddressBook::SetDescription(qint16 index, const QString& description)
{
    return m_store.Write(Section(), DescriptionKey(index), description);
}

bool CIpAddressBook::Remove(qint16 index)
{
    if (index < 0 || index >= m_count)
        return true;
    // One pass: each entry above the removed one takes the index below it,
    // and the whole move reaches the file in one write.
    QList<SSettingsChange> changes;
    changes.reserve(2 * (m_count - index) + 2);
    for (int i = index; i + 1 < m_count; ++i) {
        const SIpBookEntry next = Read(i + 1);
        changes.append({Section(), AddressKey(i), next.address});
        changes.append({Section(), DescriptionKey(i), next.description});
    }
    const int last = m_count - 1;
    changes.append({Section(), AddressKey(last), std::nullopt});
    changes.append({Section(), DescriptionKey(last), std::nullopt});
    if (!m_store.Apply(changes))
        return false;
    --m_count;
    return true;
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
