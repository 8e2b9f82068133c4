#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QtGlobal>

class CSettingsStore;

// One address-book entry: a dotted IPv4 address and a free-text description.
struct SIpBookEntry {
    QString address;
    QString description;

    friend bool operator==(const SIpBookEntry&, const SIpBookEntry&) = default;
};

// The address book as the settings store keeps it, and the keys of the rows
// that show it. Entry i lives in section "Ip Address Book" under the keys
// "<i>IpAddress" and "<i>Description"; the entries fill the indices 0 to
// count - 1 without gaps, and the book ends at the first empty address.
// A row's key "k_<i>_<address>" carries its entry's index.
//
// Every change is written to the store at once. The count is the caller's
// variable (the console's gIpBookCount), kept equal to the number of entries.
class CIpAddressBook final {
public:
    CIpAddressBook(CSettingsStore& store, qint16& count);

    // Reads the book from index 0 up to the first empty address and sets the
    // count to the number of entries read.
    QList<SIpBookEntry> Load();

    qint16 Count() const { return m_count; }

    // Writes the entry at index Count and increments the count; returns the
    // entry's index, or -1 when nothing was added: the book holds 32767
    // entries already (IsFull), or the store could not be written. The
    // caller has checked the address (see IsDuplicate).
    qint16 Add(const SIpBookEntry& entry);
    bool IsFull() const;

    // Rewrites the description of entry index; the address stays. False
    // when the store could not be written.
    bool SetDescription(qint16 index, const QString& description);

    // Removes entry index: every entry above it moves down one index, the
    // keys of the last index are deleted and the count decremented, all
    // with one write of the store. False, and the book as it was, when the
    // store could not be written; an index outside the book changes nothing.
    bool Remove(qint16 index);

    // The row key of entry index: "k_" + index + "_" + address.
    static QString RowKey(qint16 index, const QString& address);

    // The index a row key carries (the text from its third character up to
    // its last "_"); -1 when the key is not a row key.
    static qint16 IndexFromKey(const QString& key);

    // The key a row takes after entry removedIndex has gone: rows above it
    // move down one index, the others keep their key.
    static QString KeyAfterRemoval(const QString& key, qint16 removedIndex);

    // Whether one of the row keys is that of the address, under any index
    // (the key matches "k_*_" followed by the whole address).
    static bool IsDuplicate(const QStringList& rowKeys, const QString& address);

    // Whether the text is a dotted IPv4 address: four decimal parts of 0 to
    // 255, without leading zeros or blanks. The one check of every address
    // the console pings and connects, typed or read from the store: such a
    // text means the same address to every parser.
    static bool IsDottedIPv4(const QString& text);

private:
    SIpBookEntry Read(int index) const;

    CSettingsStore& m_store;
    qint16& m_count;
};
