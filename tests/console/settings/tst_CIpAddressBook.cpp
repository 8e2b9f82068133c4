#include "console/settings/CIpAddressBook.h"
#include "console/settings/CSettingsStore.h"
#include "console/settings/MSettings.h"
#include "tests/console/TestSettingsFolder.h"

#include <QtTest>

using StoreMap = QMap<QString, QString>;

namespace {

QString Section()
{
    return QLatin1String(kSectionIpAddressBook);
}

// Writes the book section exactly as given.
void Fill(const StoreMap& keys)
{
    CSettingsStore store;
    for (auto it = keys.cbegin(); it != keys.cend(); ++it)
        store.Write(Section(), it.key(), it.value());
}

// Everything the book section holds.
StoreMap Contents()
{
    CSettingsStore store;
    StoreMap map;
    for (const QString& key : store.Keys(Section()))
        map.insert(key, store.Read(Section(), key));
    return map;
}

// The store keys of entries in index order.
StoreMap Entries(const QList<SIpBookEntry>& entries)
{
    StoreMap map;
    for (int i = 0; i < entries.size(); ++i) {
        map.insert(QString::number(i) + QStringLiteral("IpAddress"), entries[i].address);
        map.insert(QString::number(i) + QStringLiteral("Description"), entries[i].description);
    }
    return map;
}

const QList<SIpBookEntry> kThree = {{QStringLiteral("10.0.0.1"), QStringLiteral("first")},
                                    {QStringLiteral("10.0.0.2"), QStringLiteral("second")},
                                    {QStringLiteral("10.0.0.3"), QStringLiteral("third")}};

} // namespace

class tst_CIpAddressBook final : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        QVERIFY(m_folder.IsValid());
        m_folder.Clear();
    }

    void load_data()
    {
        QTest::addColumn<StoreMap>("stored");
        QTest::addColumn<QList<SIpBookEntry>>("expected");
        QTest::newRow("empty store") << StoreMap() << QList<SIpBookEntry>();
        QTest::newRow("entries 0, 1 and 3")
            << StoreMap{{"0IpAddress", "10.0.0.1"}, {"0Description", "a"},
                        {"1IpAddress", "10.0.0.2"}, {"1Description", "b"},
                        {"3IpAddress", "10.0.0.4"}, {"3Description", "d"}}
            << QList<SIpBookEntry>{{"10.0.0.1", "a"}, {"10.0.0.2", "b"}};
        QTest::newRow("empty description")
            << StoreMap{{"0IpAddress", "10.0.0.1"}} << QList<SIpBookEntry>{{"10.0.0.1", ""}};
        QTest::newRow("description without address")
            << StoreMap{{"0Description", "orphan"}} << QList<SIpBookEntry>();
        QTest::newRow("empty address ends the book")
            << StoreMap{{"0IpAddress", "10.0.0.1"}, {"1IpAddress", ""}, {"2IpAddress", "10.0.0.3"}}
            << QList<SIpBookEntry>{{"10.0.0.1", ""}};
        StoreMap eleven;
        QList<SIpBookEntry> elevenEntries;
        for (int i = 0; i <= 10; ++i) {
            const QString address = QStringLiteral("192.168.0.%1").arg(i + 1);
            eleven.insert(QString::number(i) + QStringLiteral("IpAddress"), address);
            elevenEntries.append({address, QString()});
        }
        QTest::newRow("entry 10 after 9") << eleven << elevenEntries;
    }
    void load()
    {
        QFETCH(StoreMap, stored);
        QFETCH(QList<SIpBookEntry>, expected);
        Fill(stored);
        CSettingsStore store;
        qint16 count = -1;
        CIpAddressBook book(store, count);
        QCOMPARE(book.Load(), expected);
        QCOMPARE(count, qint16(expected.size()));
    }

    void entry10IsStoredUnder10IpAddress()
    {
        Fill(Entries(QList<SIpBookEntry>(10, {QStringLiteral("10.1.1.1"), QString()})));
        CSettingsStore store;
        qint16 count = 0;
        CIpAddressBook book(store, count);
        book.Load();
        QCOMPARE(book.Add({QStringLiteral("10.1.1.9"), QStringLiteral("eleventh")}), qint16(10));
        QCOMPARE(Contents().value(QStringLiteral("10IpAddress")), QStringLiteral("10.1.1.9"));
        QCOMPARE(Contents().value(QStringLiteral("10Description")), QStringLiteral("eleventh"));
        QCOMPARE(count, qint16(11));
    }

    void addAfterGapFillsTheGap()
    {
        Fill({{"0IpAddress", "10.0.0.1"}, {"1IpAddress", "10.0.0.2"}, {"3IpAddress", "10.0.0.4"}});
        CSettingsStore store;
        qint16 count = 0;
        CIpAddressBook book(store, count);
        book.Load();
        QCOMPARE(book.Add({QStringLiteral("10.0.0.3"), QString()}), qint16(2));
        // From the next start on, the old entry 3 loads again behind it.
        qint16 nextCount = 0;
        CIpAddressBook next(store, nextCount);
        QCOMPARE(next.Load().size(), 4);
        QCOMPARE(nextCount, qint16(4));
    }

    void setDescription()
    {
        Fill(Entries(kThree));
        CSettingsStore store;
        qint16 count = 0;
        CIpAddressBook book(store, count);
        book.Load();
        book.SetDescription(1, QStringLiteral("rack 2"));
        QList<SIpBookEntry> expected = kThree;
        expected[1].description = QStringLiteral("rack 2");
        QCOMPARE(Contents(), Entries(expected));
    }

    void remove_data()
    {
        QTest::addColumn<QList<SIpBookEntry>>("entries");
        QTest::addColumn<int>("index");
        QTest::addColumn<QList<SIpBookEntry>>("expected");
        QTest::newRow("entry 0 of three") << kThree << 0 << kThree.mid(1);
        QTest::newRow("entry 1 of three")
            << kThree << 1 << QList<SIpBookEntry>{kThree[0], kThree[2]};
        QTest::newRow("entry 2 of three") << kThree << 2 << kThree.mid(0, 2);
        QTest::newRow("the only entry") << kThree.mid(0, 1) << 0 << QList<SIpBookEntry>();
        QTest::newRow("index past the end") << kThree << 3 << kThree;
        QTest::newRow("negative index") << kThree << -1 << kThree;
    }
    void remove()
    {
        QFETCH(QList<SIpBookEntry>, entries);
        QFETCH(int, index);
        QFETCH(QList<SIpBookEntry>, expected);
        Fill(Entries(entries));
        CSettingsStore store;
        qint16 count = 0;
        CIpAddressBook book(store, count);
        book.Load();
        book.Remove(static_cast<qint16>(index));
        // The entries moved down and the last index's keys are gone.
        QCOMPARE(Contents(), Entries(expected));
        QCOMPARE(count, qint16(expected.size()));
    }

    void rowKeys_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<int>("index");
        QTest::newRow("entry 4") << QStringLiteral("k_4_10.1.1.9") << 4;
        QTest::newRow("entry 12") << QStringLiteral("k_12_10.0.0.1") << 12;
        QTest::newRow("no prefix") << QStringLiteral("4_10.1.1.9") << -1;
        QTest::newRow("no index") << QStringLiteral("k__10.1.1.9") << -1;
        QTest::newRow("no separator") << QStringLiteral("k_410.1.1.9") << -1;
        QTest::newRow("index not a number") << QStringLiteral("k_x_10.1.1.9") << -1;
    }
    void rowKeys()
    {
        QFETCH(QString, key);
        QFETCH(int, index);
        QCOMPARE(CIpAddressBook::IndexFromKey(key), qint16(index));
        if (index >= 0)
            QCOMPARE(CIpAddressBook::RowKey(static_cast<qint16>(index),
                                            key.mid(key.lastIndexOf(QLatin1Char('_')) + 1)),
                     key);
    }

    void keyAfterRemoval_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<int>("removed");
        QTest::addColumn<QString>("expected");
        QTest::newRow("above moves down") << "k_2_10.0.0.3" << 0 << "k_1_10.0.0.3";
        QTest::newRow("just above") << "k_1_10.0.0.2" << 0 << "k_0_10.0.0.2";
        QTest::newRow("below stays") << "k_0_10.0.0.1" << 1 << "k_0_10.0.0.1";
        QTest::newRow("ten becomes nine") << "k_10_10.0.0.11" << 3 << "k_9_10.0.0.11";
    }
    void keyAfterRemoval()
    {
        QFETCH(QString, key);
        QFETCH(int, removed);
        QFETCH(QString, expected);
        QCOMPARE(CIpAddressBook::KeyAfterRemoval(key, static_cast<qint16>(removed)), expected);
    }

    void isDuplicate_data()
    {
        QTest::addColumn<QStringList>("keys");
        QTest::addColumn<QString>("address");
        QTest::addColumn<bool>("duplicate");
        QTest::newRow("same address") << QStringList{"k_0_10.0.0.1"} << "10.0.0.1" << true;
        QTest::newRow("same address, other index")
            << QStringList{"k_0_10.0.0.5", "k_7_10.0.0.1"} << "10.0.0.1" << true;
        QTest::newRow("10.0.0.11 is not 10.0.0.1")
            << QStringList{"k_0_10.0.0.1"} << "10.0.0.11" << false;
        QTest::newRow("10.0.0.1 is not 110.0.0.1")
            << QStringList{"k_0_110.0.0.1"} << "10.0.0.1" << false;
        QTest::newRow("empty book") << QStringList() << "10.0.0.1" << false;
    }
    void isDuplicate()
    {
        QFETCH(QStringList, keys);
        QFETCH(QString, address);
        QFETCH(bool, duplicate);
        QCOMPARE(CIpAddressBook::IsDuplicate(keys, address), duplicate);
    }

    void isDottedIPv4_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::newRow("plain") << "10.0.0.1" << true;
        QTest::newRow("limits") << "255.255.255.0" << true;
        QTest::newRow("zeros") << "0.0.0.0" << true;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("three parts") << "10.0.1" << false;
        QTest::newRow("five parts") << "10.0.0.1.5" << false;
        QTest::newRow("part above 255") << "10.0.0.256" << false;
        QTest::newRow("empty part") << "10..0.1" << false;
        QTest::newRow("letters") << "10.0.0.a" << false;
        QTest::newRow("sign") << "10.0.0.+1" << false;
        QTest::newRow("blank inside") << "10.0. 0.1" << false;
        QTest::newRow("leading zero") << "10.0.0.01" << false;
        QTest::newRow("host name") << "equipment.local" << false;
        QTest::newRow("non-ASCII digits") << QStringLiteral("10.0.0.١") << false;
    }
    void isDottedIPv4()
    {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        QCOMPARE(CIpAddressBook::IsDottedIPv4(text), valid);
    }

private:
    CTestSettingsFolder m_folder;
};

QTEST_GUILESS_MAIN(tst_CIpAddressBook)
#include "tst_CIpAddressBook.moc"
