#include "console/settings/CIpAddressBook.h"
#include "tests/console/TestSettingsFolder.h"
#include "tests/console/settings/BookSection.h"

#include <QtTest>

namespace {

// The store keys of entries from index 0 on, each "ADDRESS" or "ADDRESS DESCRIPTION".
StoreMap Book(const QStringList& entries)
{
    StoreMap map;
    for (int i = 0; i < entries.size(); ++i) {
        map.insert(QString::number(i) + "IpAddress", entries[i].section(' ', 0, 0));
        map.insert(QString::number(i) + "Description", entries[i].section(' ', 1));
    }
    return map;
}

// "KEY=VALUE KEY=VALUE ...".
StoreMap Keys(const QString& text)
{
    StoreMap map;
    for (const QString& pair : text.split(' '))
        map.insert(pair.section('=', 0, 0), pair.section('=', 1));
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
    // reaches the store at once. Expected: what was loaded, else the whole
    // section after the change.
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
        row("load: entries 0, 1 and 3",
            Keys("0IpAddress=10.0.0.1 0Description=a 1IpAddress=10.0.0.2 1Description=b "
                 "3IpAddress=10.0.0.4"),
            "load", Book({"10.0.0.1 a", "10.0.0.2 b"}), 2);
        row("load: description without address", Keys("0Description=orphan"), "load", {}, 0);
        row("load: empty address ends the book",
            Keys("0IpAddress=10.0.0.1 1IpAddress= 2IpAddress=10.0.0.3"), "load", Book({"10.0.0.1"}),
            1);
        row("load: entry 10 after 9", Book(eleven), "load", Book(eleven), 11);
        row("add: entry 11 under 11IpAddress", Book(eleven), "add 10.1.1.9 twelfth",
            Book(eleven + QStringList{"10.1.1.9 twelfth"}), 12);
        row("add after a gap fills it",
            Keys("0IpAddress=10.0.0.1 1IpAddress=10.0.0.2 3IpAddress=10.0.0.4"), "add 10.0.0.3",
            Keys("0IpAddress=10.0.0.1 1IpAddress=10.0.0.2 2IpAddress=10.0.0.3 2Description= "
                 "3IpAddress=10.0.0.4"),
            3);
        for (const char* text :
             {"", "Lab, rack 3", "a \"b\" = c; d", "M\xc3\xbcnchen \xce\xa9", "  spaced  "})
            QTest::addRow("describe: '%s'", text)
                << Book(three) << "describe 1 " + QString::fromUtf8(text)
                << Book({three[0], "10.0.0.2 " + QString::fromUtf8(text), three[2]}) << 3;
        row("remove entry 0 of three", Book(three), "remove 0", Book(three.mid(1)), 2);
        row("remove entry 1 of three", Book(three), "remove 1", Book({three[0], three[2]}), 2);
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
        QTest::newRow("above moves down") << "k_2_10.0.0.3" << 2 << 0 << "k_1_10.0.0.3";
        QTest::newRow("just above") << "k_1_10.0.0.2" << 1 << 0 << "k_0_10.0.0.2";
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

    // Added addresses: a duplicate under any index, and the dotted form.
    void address_data()
    {
        QTest::addColumn<QStringList>("keys");
        QTest::addColumn<QString>("address");
        QTest::addColumn<bool>("duplicate");
        QTest::addColumn<bool>("dotted");
        const QStringList one{"k_0_10.0.0.1"};
        QTest::newRow("same address") << one << "10.0.0.1" << true << true;
        QTest::newRow("same address, other index")
            << QStringList{"k_0_10.0.0.5", "k_7_10.0.0.1"} << "10.0.0.1" << true << true;
        QTest::newRow("10.0.0.11 is not 10.0.0.1") << one << "10.0.0.11" << false << true;
        QTest::newRow("10.0.0.1 is not 110.0.0.1")
            << QStringList{"k_0_110.0.0.1"} << "10.0.0.1" << false << true;
        QTest::newRow("empty book") << QStringList() << "10.0.0.1" << false << true;
        for (const char* text : {"255.255.255.0", "0.0.0.0"})
            QTest::addRow("'%s'", text) << one << QString(text) << false << true;
        for (const char* text :
             {"", "10.0.1", "10.0.0.1.5", "10.0.0.256", "10..0.1", "10.0.0.a", "10.0.0.+1",
              "10.0. 0.1", "10.0.0.01", "equipment.local", "10.0.0.\xd9\xa1"})
            QTest::addRow("'%s'", text) << one << QString::fromUtf8(text) << false << false;
    }
    void address()
    {
        QFETCH(QStringList, keys);
        QFETCH(QString, address);
        QTEST(CIpAddressBook::IsDuplicate(keys, address), "duplicate");
        QTEST(CIpAddressBook::IsDottedIPv4(address), "dotted");
    }

private:
    CTestSettingsFolder m_folder;
};

QTEST_GUILESS_MAIN(tst_CIpAddressBook)
#include "tst_CIpAddressBook.moc"
