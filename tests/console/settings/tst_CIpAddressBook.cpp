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
    // reaches the store at once, in one write of the file. Expected: what was
    // loaded, else the section.
    void book_data()
    {
        QTest::addColumn<StoreMap>("stored");
        QTest::addColumn<QString>("action"); // load, add ADDRESS [TEXT], describe I TEXT, remove I
        QTest::addColumn<StoreMap>("expected");
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("writes");
        const QStringList three{"10.0.0.1 first", "10.0.0.2 second", "10.0.0.3 third"};
        QStringList eleven;
        for (int i = 1; i <= 11; ++i)
            eleven.append(QStringLiteral("192.168.0.%1").arg(i));
        QStringList large;
        for (int i = 0; i < 3000; ++i)
            large.append(QStringLiteral("10.%1.%2.1 rack%2").arg(i / 256).arg(i % 256));
        const auto row = [](const char* name, const StoreMap& stored, const QString& action,
                            const StoreMap& expected, int count, int writes) {
            QTest::newRow(name) << stored << action << expected << count << writes;
        };
        row("load: description without address", Book({" orphan"}), "load", {}, 0, 0);
        row("load: empty address ends the book", Book({"10.0.0.1", "", "10.0.0.3"}), "load",
            Book({"10.0.0.1"}), 1, 0);
        row("add: entry 11 after 10", Book(eleven), "add 10.1.1.9 twelfth",
            Book(eleven + QStringList{"10.1.1.9 twelfth"}), 12, 1);
        row("add after a gap fills it", Book({"10.0.0.1", "10.0.0.2", "", "10.0.0.4"}),
            "add 10.0.0.3", Book({"10.0.0.1", "10.0.0.2", "10.0.0.3", "10.0.0.4"}), 3, 1);
        for (const char* text : {"", "  a \"b\" = c; d, M\xc3\xbcnchen \xce\xa9  "})
            QTest::addRow("describe: '%s'", text)
                << Book(three) << "describe 1 " + QString::fromUtf8(text)
                << Book({three[0], "10.0.0.2 " + QString::fromUtf8(text), three[2]}) << 3 << 1;
        row("remove entry 2 of three", Book(three), "remove 2", Book(three.mid(0, 2)), 2, 1);
        row("remove the only entry", Book(three.mid(0, 1)), "remove 0", {}, 0, 1);
        row("remove past the end", Book(three), "remove 3", Book(three), 3, 0);
        row("remove the first of 3000", Book(large), "remove 0", Book(large.mid(1)), 2999, 1);
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
        QTEST(store.Syncs(), "writes");
    }
    void fullBookTakesNothingMore()
    {
        CSettingsStore store;
        qint16 count = 32767;
        QCOMPARE(CIpAddressBook(store, count).Add({"10.0.0.1", ""}), qint16(-1));
        QCOMPARE(count, qint16(32767));
        QVERIFY(Contents().isEmpty());
    }
    // A row key carries its entry's index; rows above a removed entry move
    // down. Duplicates compare whole addresses, under any index.
    void rowRules_data()
    {
        QTest::addColumn<QString>("call"); // FUNCTION ARGUMENT [REMOVED INDEX]
        QTest::addColumn<QString>("result");
        const char* const rows[][3] = {
            {"row key", "key 7 10.0.0.1", "k_7_10.0.0.1"},
            {"index", "index k_12_10.0.0.1", "12"},
            {"below the removed one stays", "after k_0_10.0.0.1 1", "k_0_10.0.0.1"},
            {"ten becomes nine", "after k_10_10.0.0.11 3", "k_9_10.0.0.11"},
            {"the removed one stays", "after k_12_10.0.0.1 12", "k_12_10.0.0.1"},
            {"no k_", "index 4_10.1.1.9", "-1"},
            {"no index", "after k__10.1.1.9 0", "k__10.1.1.9"},
            {"index not ended", "index k_410.1.1.9", "-1"},
            {"index no number", "index k_x_10.1.1.9", "-1"},
            {"duplicate", "duplicate 10.0.0.1", "1"},
            {"a longer address", "duplicate 10.0.0.11", "0"},
            {"a shorter address", "duplicate 10.0.0.2", "0"},
            {"dotted", "dotted 255.255.255.0", "1"},
            {"zeros", "dotted 0.0.0.0", "1"}};
        for (const auto& [name, call, result] : rows)
            QTest::newRow(name) << QString(call) << QString(result);
        for (const char* text : {"10.0.0.1.5", "10..0.1", "10.0.0.+1", "10.0. 0.1", "10.0.0.a",
                                 "10.0.0.\xd9\xa1", "010.0.0.1", " 10.0.0.1\n", "256.1.1.1"})
            QTest::addRow("not dotted: %s", text) << "dotted " + QString::fromUtf8(text) << "0";
    }
    void rowRules()
    {
        QFETCH(QString, call);
        const QString function = call.section(' ', 0, 0), argument = call.section(' ', 1, 1);
        const QStringList keys{"k_0_10.0.0.5", "k_7_10.0.0.1", "k_2_110.0.0.2"};
        QString result;
        if (function == "key")
            result = CIpAddressBook::RowKey(argument.toShort(), call.section(' ', 2));
        else if (function == "index")
            result = QString::number(CIpAddressBook::IndexFromKey(argument));
        else if (function == "after")
            result = CIpAddressBook::KeyAfterRemoval(argument, call.section(' ', 2).toShort());
        else if (function == "duplicate")
            result = QString::number(CIpAddressBook::IsDuplicate(keys, argument));
        else
            result = QString::number(CIpAddressBook::IsDottedIPv4(call.section(' ', 1)));
        QTEST(result, "result");
    }

private:
    CTestSettingsFolder m_folder;
};

QTEST_GUILESS_MAIN(tst_CIpAddressBook)
#include "tst_CIpAddressBook.moc"
