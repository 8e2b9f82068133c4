#include "console/CMessageLog.h"

#include <QTemporaryDir>
#include <QtTest>

class tst_CMessageLog final : public QObject {
    Q_OBJECT

private slots:
    // Every message is kept, in order and whole, and answered at once.
    void messagesAreKeptInOrderAndAnswered_data()
    {
        QTest::addColumn<EMessageButtons>("buttons");
        QTest::addColumn<EMessageResult>("answer");
        QTest::newRow("OK box") << EMessageButtons::Ok << EMessageResult::Ok;
        QTest::newRow("question") << EMessageButtons::YesNo << EMessageResult::No;
    }
    void messagesAreKeptInOrderAndAnswered()
    {
        QFETCH(EMessageButtons, buttons);
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("messages.log"));
        QVERIFY(CMessageLog::Read(path).isEmpty()); // no log yet
        CMessageLog::Install(path);
        const SMessage shown[] = {{"Impossible to run Pelion\r\n(Application already running)",
                                   "Pelion", EMessageIcon::Critical, EMessageButtons::Ok},
                                  {"Entry \"x\" – ok?", "Pelion", EMessageIcon::Question, buttons}};
        QCOMPARE(CMessageService::Show(shown[0]), EMessageResult::Ok);
        QTEST(CMessageService::Show(shown[1]), "answer");
        CMessageService::SetHandler({});

        const QList<SMessage> read = CMessageLog::Read(path);
        QCOMPARE(read.size(), 2);
        for (int i = 0; i < 2; ++i) {
            QCOMPARE(read[i].text, shown[i].text);
            QCOMPARE(read[i].title, shown[i].title);
            QCOMPARE(read[i].icon, shown[i].icon);
            QCOMPARE(read[i].buttons, shown[i].buttons);
        }
    }
};

QTEST_GUILESS_MAIN(tst_CMessageLog)
#include "tst_CMessageLog.moc"
