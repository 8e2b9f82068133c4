#include "console/CMessageLog.h"

#include <QTemporaryDir>
#include <QtTest>

class tst_CMessageLog final : public QObject {
    Q_OBJECT

private slots:
    // Every message is kept, in order and whole, and answered at once: OK, or No to a question.
    void messagesAreKeptInOrderAndAnswered()
    {
        QTemporaryDir folder;
        const QString path = folder.filePath("messages.log");
        QVERIFY(CMessageLog::Read(path).isEmpty());
        CMessageLog::Install(path);
        const SMessage shown[] = {
            {"Impossible to run Pelion\r\n(Application already running)", "Pelion",
             EMessageIcon::Critical, EMessageButtons::Ok},
            {"Entry \"x\" – ok?", "Pelion", EMessageIcon::Question, EMessageButtons::YesNo}};
        QCOMPARE(CMessageService::Show(shown[0]), EMessageResult::Ok);
        QCOMPARE(CMessageService::Show(shown[1]), EMessageResult::No);
        CMessageService::SetHandler({});
        const QList<SMessage> read = CMessageLog::Read(path);
        QCOMPARE(read.size(), 2);
        for (int i = 0; i < 2; ++i) {
            QVERIFY(read[i].text == shown[i].text && read[i].title == shown[i].title);
            QVERIFY(read[i].icon == shown[i].icon && read[i].buttons == shown[i].buttons);
        }
    }
};

QTEST_GUILESS_MAIN(tst_CMessageLog)
#include "tst_CMessageLog.moc"
