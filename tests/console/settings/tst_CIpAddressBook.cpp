#include "console/settings/CIpAddressBook.h"
#include "tests/console/TestSettingsFolder.h"
#include "tests/console/settings/BookSection.h"

#include <QtTest>

namespace {

// The keys of entries 0, 1, ... given as "ADDRESS" or "ADDRESS DESCRIPTION".
StoreMap Book(const QStringList& entries)
{
    StoreMap map;
    for (int i = 0; i < entries.size(); ++i) {
        map.insert(QString::number(i) + "IpAddress", entries[i].section(' ', 0, 0));
        map.insert(QString::number(i) + "Description", entries[i].section(' ', 1));
    }
    return map;
}

// "0=ADDRESS 0d=DESCRIPTION 1=..." as the store keys 0IpAddress, 0Description, ...
StoreMap Keys(const QString& text)
{
    StoreMap map;
    for (const QString& pair : text.split(' ')) {
        QString key = pair.section('=', 0, 0);
        key = key.endsWith('d') ? key.chopped(1) + "Description" : key + "IpAddress";
        map.insert(key, pair.section('=', 1));
    }
    return map;
}

} // namespace

class tst_CIpAddressBook final : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        QVERIFY(m_folder.IsValid());
        m_folder.Clear();
    }
    // A load reads from index 0 up to the first empty address; a change
    // reaches the store at once. Expected: what was loaded, else the section.
    void book_data()
    {
        QTest::addColumn<StoreMap>("stored");
        QTest::addColumn<QString>("action"); // load, add ADDRESS [TEXT], describe I TEXT, remove I
        QTest::addColumn<StoreMap>("expected");
        QTest::addColumn<int>("count");
        const QStringList three{"10.0.0.1 first", "10.0.0.2 second", "10.0.0.3 third"};
        QStringList eleven;
        for (int i = 1; i <= 11; ++i)
            eleven.append(QStringLiteral("192.168.0.%1").arg(i));
        const auto row = [](const char* name, const StoreMap& stored, const QString& action,
                            const StoreMap& expected, int count) {
            QTest::newRow(name) << stored << action << expected << count;
        };
        row("load: empty store", {}, "load", {}, 0);
        row("load: description without address", Keys("0d=orphan"), "load", {}, 0);
        row("load: empty address ends the book", Keys("0=10.0.0.1 1= 2=10.0.0.3"), "load",
            Book({"10.0.0.1"}), 1);
        row("add: entry 11 after 10", Book(eleven), "add 10.1.1.9 twelfth",
            Book(eleven + QStringList{"10.1.1.9 twelfth"}), 12);
        row("add after a gap fills it", Keys("0=10.0.0.1 1=10.0.0.2 3=10.0.0.4"), "add 10.0.0.3",
            Keys("0=10.0.0.1 1=10.0.0.2 2=10.0.0.3 2d= 3=10.0.0.4"), 3);
        for (const char* text :
             {"", "Lab, rack 3", "a \"b\" = c; d", "M\xc3\xbcnchen \xce\xa9", "  spaced  "})
            QTest::addRow("describe: '%s'", text)
                << Book(three) << "describe 1 " + QString::fromUtf8(text)
                << Book({three[0], "10.0.0.2 " + QString::fromUtf8(text), three[2]}) << 3;
        row("remove entry 2 of three", Book(three), "remove 2", Book(three.mid(0, 2)), 2);
        row("remove the only entry", Book(three.mid(0, 1)), "remove 0", {}, 0);
        row("remove past the end", Book(three), "remove 3", Book(three), 3);
        row("remove a negative index", Book(three), "remove -1", Book(three), 3);
    }
    void book()
    {
        QFETCH(StoreMap, stored);
        QFETCH(QString, action);
        QFETCH(int, count);
        Fill(stored);
        CSettingsStore store;
        qint16 entries = -1;
        CIpAddressBook book(store, entries);
        QStringList loaded;
        for (const SIpBookEntry& entry : book.Load())
            loaded.append((entry.address + ' ' + entry.description).trimmed());
        const qint16 before = entries;
        const QStringList words = action.split(' ');
        if (words[0] == "add")
            QCOMPARE(book.Add({words[1], words.value(2)}), before);
        else if (words[0] == "describe")
            book.SetDescription(words[1].toShort(), action.section(' ', 2));
        else if (words[0] == "remove")
            book.Remove(words[1].toShort());
        QTEST(action == "load" ? Book(loaded) : Contents(), "expected");
        QCOMPARE(entries, qint16(count));
    }
    void fullBookTakesNothingMore()
    {
        CSettingsStore store;
        qint16 count = 32767;
        QCOMPARE(CIpAddressBook(store, count).Add({"10.0.0.1", ""}), qint16(-1));
        QCOMPARE(count, qint16(32767));
        QVERIFY(Contents().isEmpty());
    }
    // A row key carries its entry's index; rows above a removed entry move down.
    void rowKeys_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<int>("index");
        QTest::addColumn<int>("removed");
        QTest::addColumn<QString>("after");
        QTest::newRow("below stays") << "k_0_10.0.0.1" << 0 << 1 << "k_0_10.0.0.1";
        QTest::newRow("ten becomes nine") << "k_10_10.0.0.11" << 10 << 3 << "k_9_10.0.0.11";
        QTest::newRow("entry 12") << "k_12_10.0.0.1" << 12 << 12 << "k_12_10.0.0.1";
        for (const char* key : {"4_10.1.1.9", "k__10.1.1.9", "k_410.1.1.9", "k_x_10.1.1.9"})
            QTest::addRow("malformed: %s", key) << key << -1 << 0 << key;
    }
    void rowKeys()
    {
        QFETCH(QString, key);
        QFETCH(int, index);
        QFETCH(int, removed);
        QCOMPARE(CIpAddressBook::IndexFromKey(key), qint16(index));
        if (index >= 0)
            QCOMPARE(CIpAddressBook::RowKey(qint16(index), key.section('_', 2)), key);
        QTEST(CIpAddressBook::KeyAfterRemoval(key, qint16(removed)), "after");
    }
    // A duplicate under any index, whole addresses compared.
    void duplicate()
    {
        const QStringList keys{"k_0_10.0.0.5", "k_7_10.0.0.1", "k_2_110.0.0.2"};
        QVERIFY(CIpAddressBook::IsDuplicate(keys, "10.0.0.1"));
        QVERIFY(!CIpAddressBook::IsDuplicate(keys, "10.0.0.11"));
        QVERIFY(!CIpAddressBook::IsDuplicate(keys, "10.0.0.2"));
        QVERIFY(!CIpAddressBook::IsDuplicate({}, "10.0.0.1"));
    }
    void dottedIPv4_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("dotted");
        for (const char* text : {"10.0.0.1", "255.255.255.0", "0.0.0.0"})
            QTest::newRow(text) << QString(text) << true;
        for (const char* text :
             {"", "10.0.1", "10.0.0.1.5", "10.0.0.256", "10..0.1", "10.0.0.a", "10.0.0.+1",
              "10.0. 0.1", "10.0.0.01", "equipment.local", "10.0.0.\xd9\xa1"})
            QTest::newRow(text) << QString::fromUtf8(text) << false;
    }
    void dottedIPv4()
    {
        QFETCH(QString, text);
        QTEST(CIpAddressBook::IsDottedIPv4(text), "dotted");
    }

private:
    CTestSettingsFolder m_folder;
};

QTEST_GUILESS_MAIN(tst_CIpAddressBook)
#include "tst_CIpAddressBook.moc"
