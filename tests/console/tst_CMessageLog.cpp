#include "console/CMessageLog.h"

#include <QTemporaryDir>
#include <QtTest>

class tst_CMessageLog final : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { CMessageService::SetHandler({}); }

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
        QFETCH(EMessageResult, answer);
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("messages.log"));
        CMessageLog::Install(path);

        const SMessage first{
            QStringLiteral("Impossible to run Pelion\r\n(Application already running)"),
            QStringLiteral("Pelion"), EMessageIcon::Critical, EMessageButtons::Ok};
        const SMessage second{QStringLiteral("Entry \"x\" – ok?"), QStringLiteral("Pelion"),
                              EMessageIcon::Question, buttons};
        QCOMPARE(CMessageService::Show(first), EMessageResult::Ok);
        QCOMPARE(CMessageService::Show(second), answer);

        const QList<SMessage> read = CMessageLog::Read(path);
        QCOMPARE(read.size(), 2);
        for (int i = 0; i < 2; ++i) {
            const SMessage& expected = i == 0 ? first : second;
            QCOMPARE(read[i].text, expected.text);
            QCOMPARE(read[i].title, expected.title);
            QCOMPARE(read[i].icon, expected.icon);
            QCOMPARE(read[i].buttons, expected.buttons);
        }
    }

    void aMissingLogHoldsNoMessages()
    {
        QTemporaryDir folder;
        QVERIFY(CMessageLog::Read(folder.filePath(QStringLiteral("none.log"))).isEmpty());
    }
};

QTEST_GUILESS_MAIN(tst_CMessageLog)
#include "tst_CMessageLog.moc"
