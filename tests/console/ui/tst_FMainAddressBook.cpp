#include "console/settings/CSettingsStore.h"
#include "console/settings/MSettings.h"
#include "console/ui/FAddEditIpAdd.h"
#include "console/ui/FMain.h"
#include "console/ui/MLoadSettings.h"
#include "tests/console/EquipmentSimProcess.h"
#include "tests/console/EquipmentTestDoubles.h"
#include "tests/console/TestSettingsFolder.h"
#include "tests/console/settings/BookSection.h"
#include "tests/console/ui/MainTestKit.h"

#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTreeWidget>
#include <QtTest>

namespace {

const StoreMap kThree{{"0IpAddress", "10.0.0.1"}, {"0Description", "first"},
                      {"1IpAddress", "10.0.0.2"}, {"1Description", "second"},
                      {"2IpAddress", "10.0.0.3"}, {"2Description", "third"}};

// Rows as "key text description", in the list's order.
QStringList Rows(const FMain& window)
{
    QStringList rows;
    QTreeWidget* list = window.lvwIpAdd();
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = list->topLevelItem(i);
        rows.append(FMain::RowKey(item) + QLatin1Char(' ') + item->text(0) + QLatin1Char(' ')
                    + item->text(1));
    }
    return rows;
}

QTreeWidgetItem* RowOf(const FMain& window, const QString& address)
{
    const QList<QTreeWidgetItem*> found =
        window.lvwIpAdd()->findItems(address, Qt::MatchExactly, 0);
    return found.value(0);
}

void ClickRow(FMain& window, const QString& address)
{
    QTreeWidget* list = window.lvwIpAdd();
    const QRect area = list->visualItemRect(RowOf(window, address));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, area.center());
}

void ClickHeading(FMain& window, int column)
{
    QHeaderView* header = window.lvwIpAdd()->header();
    const int x = header->sectionViewportPosition(column - 1) + header->sectionSize(column - 1) / 2;
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(x, header->height() / 2));
}

// Fills the add or edit dialog and presses OK, or Cancel when address is null.
void AnswerDialog(const QString& address, const QString& description, QString* caption = nullptr)
{
    WhenModal([=](QWidget* modal) {
        auto* dialog = qobject_cast<FAddEditIpAdd*>(modal);
        QVERIFY(dialog);
        if (caption)
            *caption = dialog->windowTitle();
        if (address.isNull()) {
            QTest::mouseClick(dialog->cmdCancel(), Qt::LeftButton);
            return;
        }
        if (!dialog->txtIpAddr()->isReadOnly())
            QTest::keyClicks(dialog->txtIpAddr(), address);
        dialog->txtDescription()->setText(description);
        QTest::mouseClick(dialog->cmdOK(), Qt::LeftButton);
    });
}

} // namespace

class tst_FMainAddressBook final : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(m_settings.IsValid()); }

    void init()
    {
        m_settings.Clear();
        // LoadSettings takes the web root from the machine-wide store.
        QVERIFY(CSettingsStore().WriteWwwRoot(m_webRoot.Path()));
        gIpBookCount = 0;
        m_messages.Clear();
    }

    void loadFillsTheList()
    {
        Fill({{"0IpAddress", "10.0.0.1"},
              {"0Description", "a"},
              {"1IpAddress", "10.0.0.2"},
              {"3IpAddress", "10.0.0.4"},
              {"3Description", "d"}});
        FMain window(Options());
        LoadSettings(window);
        QCOMPARE(gIpBookCount, qint16(2));
        QCOMPARE(Rows(window), (QStringList{"k_0_10.0.0.1 10.0.0.1 a", "k_1_10.0.0.2 10.0.0.2 "}));
        QVERIFY(window.lvwIpAdd()->selectedItems().isEmpty());
        QCOMPARE(window.lvwIpAdd()->topLevelItem(0)->icon(0).cacheKey(),
                 window.Picture(QStringLiteral("IpAddress")).cacheKey());
        window.show();
        QDir().mkpath(QStringLiteral(PELION_TEST_ARTEFACTS));
        QVERIFY(window.grab().save(QStringLiteral(PELION_TEST_ARTEFACTS)
                                   + QStringLiteral("/console-main-window.png")));
    }

    void add_data()
    {
        QTest::addColumn<StoreMap>("stored");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("description");
        QTest::addColumn<QString>("key");
        QTest::newRow("into an empty book") << StoreMap() << "10.0.0.1"
                                            << "lab"
                                            << "k_0_10.0.0.1";
        QTest::newRow("after three") << kThree << "192.168.10.1"
                                     << ""
                                     << "k_3_192.168.10.1";
        QTest::newRow("blanks trimmed") << kThree << " 10.0.0.9 "
                                        << "spaced"
                                        << "k_3_10.0.0.9";
        QTest::newRow("10.0.0.11 beside 10.0.0.1") << kThree << "10.0.0.11"
                                                   << "near"
                                                   << "k_3_10.0.0.11";
    }
    void add()
    {
        QFETCH(StoreMap, stored);
        QFETCH(QString, typed);
        QFETCH(QString, description);
        QFETCH(QString, key);
        Fill(stored);
        FMain window(Options());
        LoadSettings(window);
        window.show();
        const int count = gIpBookCount;
        QString caption;
        AnswerDialog(typed, description, &caption);
        window.ToolButton(QStringLiteral("Add"))->trigger();

        QCOMPARE(caption, QStringLiteral("Add Ip Address"));
        QVERIFY(m_messages.Shown().isEmpty());
        const QString address = typed.trimmed();
        StoreMap expected = stored;
        expected.insert(QString::number(count) + QStringLiteral("IpAddress"), address);
        expected.insert(QString::number(count) + QStringLiteral("Description"), description);
        QCOMPARE(Contents(), expected);
        QCOMPARE(gIpBookCount, qint16(count + 1));
        QTreeWidgetItem* row = RowOf(window, address);
        QVERIFY(row);
        QCOMPARE(FMain::RowKey(row), key);
        QCOMPARE(row->text(1), description);
        QVERIFY(row->isSelected());
    }

    void addCancelledWritesNothing()
    {
        Fill(kThree);
        FMain window(Options());
        LoadSettings(window);
        window.show();
        AnswerDialog(QString(), QString());
        window.ToolButton(QStringLiteral("Add"))->trigger();
        QCOMPARE(Contents(), kThree);
        QCOMPARE(gIpBookCount, qint16(3));
        QCOMPARE(window.lvwIpAdd()->topLevelItemCount(), 3);
    }

    void duplicateIsRefused()
    {
        Fill(kThree);
        FMain window(Options());
        LoadSettings(window);
        window.show();
        AnswerDialog(QStringLiteral("10.0.0.1"), QStringLiteral("again"));
        window.ToolButton(QStringLiteral("Add"))->trigger();
        QCOMPARE(m_messages.Shown().size(), 1);
        QCOMPARE(m_messages.Shown().at(0).text, QStringLiteral("Entry already exisiting"));
        QCOMPARE(m_messages.Shown().at(0).title, QStringLiteral("Pelion"));
        QCOMPARE(m_messages.Shown().at(0).icon, EMessageIcon::Information);
        QCOMPARE(Contents(), kThree);
        QCOMPARE(gIpBookCount, qint16(3));
        QCOMPARE(window.lvwIpAdd()->topLevelItemCount(), 3);
    }

    void edit()
    {
        Fill(kThree);
        FMain window(Options());
        LoadSettings(window);
        window.show();
        ClickRow(window, QStringLiteral("10.0.0.2"));
        QString caption;
        AnswerDialog(QStringLiteral("ignored"), QStringLiteral("rack 7"), &caption);
        window.ToolButton(QStringLiteral("Edit"))->trigger();
        QCOMPARE(caption, QStringLiteral("Edit Ip Address"));
        StoreMap expected = kThree;
        expected.insert(QStringLiteral("1Description"), QStringLiteral("rack 7"));
        QCOMPARE(Contents(), expected);
        QCOMPARE(RowOf(window, QStringLiteral("10.0.0.2"))->text(1), QStringLiteral("rack 7"));
    }

    void remove_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<bool>("yes");
        QTest::addColumn<StoreMap>("expected");
        QTest::addColumn<QStringList>("rows");
        QTest::newRow("entry 0 of three")
            << "10.0.0.1" << true
            << StoreMap{{"0IpAddress", "10.0.0.2"},
                        {"0Description", "second"},
                        {"1IpAddress", "10.0.0.3"},
                        {"1Description", "third"}}
            << QStringList{"k_0_10.0.0.2 10.0.0.2 second", "k_1_10.0.0.3 10.0.0.3 third"};
        QTest::newRow("entry 1 of three")
            << "10.0.0.2" << true
            << StoreMap{{"0IpAddress", "10.0.0.1"},
                        {"0Description", "first"},
                        {"1IpAddress", "10.0.0.3"},
                        {"1Description", "third"}}
            << QStringList{"k_0_10.0.0.1 10.0.0.1 first", "k_1_10.0.0.3 10.0.0.3 third"};
        QTest::newRow("answered No")
            << "10.0.0.1" << false << kThree
            << QStringList{"k_0_10.0.0.1 10.0.0.1 first", "k_1_10.0.0.2 10.0.0.2 second",
                           "k_2_10.0.0.3 10.0.0.3 third"};
    }
    void remove()
    {
        QFETCH(QString, address);
        QFETCH(bool, yes);
        QFETCH(StoreMap, expected);
        QFETCH(QStringList, rows);
        Fill(kThree);
        FMain window(Options());
        LoadSettings(window);
        window.show();
        ClickRow(window, address);
        QVERIFY(window.ToolButton(QStringLiteral("Remove"))->isEnabled());
        m_messages.Answer(yes ? EMessageResult::Yes : EMessageResult::No);
        window.ToolButton(QStringLiteral("Remove"))->trigger();

        QCOMPARE(m_messages.Shown().size(), 1);
        const SMessage prompt = m_messages.Shown().at(0);
        QCOMPARE(prompt.text, QStringLiteral("Are you sure you want to remove entry ") + address
                                  + QStringLiteral(" ?"));
        QCOMPARE(prompt.title, QStringLiteral("Pelion"));
        QCOMPARE(prompt.icon, EMessageIcon::Question);
        QCOMPARE(prompt.buttons, EMessageButtons::YesNo);
        QCOMPARE(Contents(), expected);
        QCOMPARE(gIpBookCount, qint16(rows.size()));
        QCOMPARE(Rows(window), rows);
        QVERIFY(!window.ToolButton(QStringLiteral("Remove"))->isEnabled());
        QVERIFY(!window.ToolButton(QStringLiteral("Edit"))->isEnabled());
    }

    void editAfterRemovalHitsTheRightEntry()
    {
        Fill(kThree);
        FMain window(Options());
        LoadSettings(window);
        window.show();
        ClickRow(window, QStringLiteral("10.0.0.1"));
        window.ToolButton(QStringLiteral("Remove"))->trigger();
        // 10.0.0.3 now lives at index 1; its edit must not write index 2.
        ClickRow(window, QStringLiteral("10.0.0.3"));
        AnswerDialog(QStringLiteral("x"), QStringLiteral("moved"));
        window.ToolButton(QStringLiteral("Edit"))->trigger();
        QCOMPARE(Contents(), (StoreMap{{"0IpAddress", "10.0.0.2"},
                                       {"0Description", "second"},
                                       {"1IpAddress", "10.0.0.3"},
                                       {"1Description", "moved"}}));
        // And a second removal takes the right entry out.
        ClickRow(window, QStringLiteral("10.0.0.3"));
        window.ToolButton(QStringLiteral("Remove"))->trigger();
        QCOMPARE(Contents(), (StoreMap{{"0IpAddress", "10.0.0.2"}, {"0Description", "second"}}));
        QCOMPARE(Rows(window), QStringList{"k_0_10.0.0.2 10.0.0.2 second"});
    }

    void removeWithoutSelectionOnlyDisables()
    {
        Fill(kThree);
        FMain window(Options());
        LoadSettings(window);
        window.show();
        window.SetToolButtonEnabled(QStringLiteral("Remove"), true);
        window.SetToolButtonEnabled(QStringLiteral("Edit"), true);
        window.RemoveIpEntry();
        QVERIFY(m_messages.Shown().isEmpty());
        QCOMPARE(Contents(), kThree);
        QVERIFY(!window.ToolButton(QStringLiteral("Remove"))->isEnabled());
        QVERIFY(!window.ToolButton(QStringLiteral("Edit"))->isEnabled());
    }

    void rowClickEnablesRemoveAndEdit()
    {
        Fill(kThree);
        FMain window(Options());
        LoadSettings(window);
        window.SetToolButtonEnabled(QStringLiteral("Remove"), false);
        window.SetToolButtonEnabled(QStringLiteral("Edit"), false);
        window.show();
        ClickRow(window, QStringLiteral("10.0.0.2"));
        QVERIFY(window.ToolButton(QStringLiteral("Remove"))->isEnabled());
        QVERIFY(window.ToolButton(QStringLiteral("Edit"))->isEnabled());
    }

    void sortCycle()
    {
        Fill({{"0IpAddress", "10.0.0.9"},
              {"0Description", "b"},
              {"1IpAddress", "10.0.0.10"},
              {"1Description", "c"},
              {"2IpAddress", "10.0.0.2"},
              {"2Description", "a"}});
        FMain window(Options());
        LoadSettings(window);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const auto addresses = [&] {
            QStringList texts;
            for (int i = 0; i < window.lvwIpAdd()->topLevelItemCount(); ++i)
                texts.append(window.lvwIpAdd()->topLevelItem(i)->text(0));
            return texts;
        };
        const auto headings = [&] {
            return window.HeadingPictureKey(1) + QLatin1Char('/') + window.HeadingPictureKey(2);
        };
        // Addresses sort as text.
        QCOMPARE(addresses(), (QStringList{"10.0.0.10", "10.0.0.2", "10.0.0.9"}));
        QCOMPARE(headings(), QStringLiteral("Ascending/None"));
        QCOMPARE(window.SortColumn(), qint16(1));

        ClickHeading(window, 1);
        QCOMPARE(addresses(), (QStringList{"10.0.0.9", "10.0.0.2", "10.0.0.10"}));
        QCOMPARE(headings(), QStringLiteral("Descending/None"));
        ClickHeading(window, 1);
        QCOMPARE(addresses(), (QStringList{"10.0.0.10", "10.0.0.2", "10.0.0.9"}));
        QCOMPARE(headings(), QStringLiteral("Ascending/None"));
        ClickHeading(window, 1);
        ClickHeading(window, 2);
        QCOMPARE(addresses(), (QStringList{"10.0.0.2", "10.0.0.9", "10.0.0.10"}));
        QCOMPARE(headings(), QStringLiteral("None/Ascending"));
        QCOMPARE(window.SortColumn(), qint16(2));
        ClickHeading(window, 2);
        QCOMPARE(addresses(), (QStringList{"10.0.0.10", "10.0.0.9", "10.0.0.2"}));
        QCOMPARE(headings(), QStringLiteral("None/Descending"));
        // The pictures themselves.
        QCOMPARE(window.lvwIpAdd()->headerItem()->icon(1).cacheKey(),
                 window.Picture(QStringLiteral("Descending")).cacheKey());
        QCOMPARE(window.lvwIpAdd()->headerItem()->icon(0).cacheKey(),
                 window.Picture(QStringLiteral("None")).cacheKey());
        // A row added now takes its place in the order.
        AnswerDialog(QStringLiteral("10.0.0.5"), QStringLiteral("d"));
        window.ToolButton(QStringLiteral("Add"))->trigger();
        QCOMPARE(addresses(), (QStringList{"10.0.0.5", "10.0.0.10", "10.0.0.9", "10.0.0.2"}));
    }

private:
    SMainOptions Options()
    {
        SMainOptions options;
        options.helpPort = 0;
        options.endProgram = [] {};
        options.openUrl = [](const QUrl&) { return true; };
        options.trayAvailable = [] { return true; };
        // A double click reaches nothing beyond the machine.
        options.pinger = &m_pinger;
        options.pages = &m_pages;
        options.equipment.port = ClosedLoopbackPort(QStringLiteral("127.0.0.1"));
        options.equipment.rescueAddress = QStringLiteral("127.0.0.1");
        return options;
    }

    CTestSettingsFolder m_settings;
    CTestWebRoot m_webRoot;
    CMessageCapture m_messages;
    CScriptedPinger m_pinger{kIpGeneralFailure};
    CRecordingPages m_pages;
};

QTEST_MAIN(tst_FMainAddressBook)
#include "tst_FMainAddressBook.moc"
