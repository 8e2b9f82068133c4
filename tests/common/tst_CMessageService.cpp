#include "common/messages/CMessageService.h"

#include <QApplication>
#include <QMessageBox>
#include <QScreen>
#include <QTimer>
#include <QtTest>

// The real box, on the offscreen platform: what it shows and how large it is.
class tst_CMessageService final : public QObject {
    Q_OBJECT

private slots:
    // Markup is shown, never obeyed; a text too long or too tall is cut and
    // marked, so that the box stays within the screen.
    void shows_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("shown");
        const QString markup = "4.0.<b>19</b> <font size=7>big</font> &amp;";
        QTest::newRow("markup as it is") << markup << markup;
        const qsizetype wordLines =
            CMessageService::kShownCharacters / CMessageService::kShownWordCharacters + 1;
        QStringList broken(wordLines, QString(CMessageService::kShownWordCharacters, 'x'));
        broken.last().truncate(CMessageService::kShownCharacters
                               % CMessageService::kShownWordCharacters);
        QTest::newRow("one word too long: broken, cut")
            << QString(60000, 'x') << broken.join('\n') + "...";
        const QString words = QString("word ").repeated(20000);
        QTest::newRow("words too many")
            << words << words.left(CMessageService::kShownCharacters) + "...";
        QStringList lines;
        for (int i = 0; i < 300; ++i)
            lines << QString::number(i);
        QTest::newRow("lines too many")
            << lines.join('\n') << lines.mid(0, CMessageService::kShownLines).join('\n') + "...";
    }
    void shows()
    {
        QFETCH(QString, text);
        Qt::TextFormat format = Qt::AutoText;
        QString shown;
        QSize size;
        QTimer poll;
        poll.setInterval(10);
        connect(&poll, &QTimer::timeout, this, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box || !box->isVisible())
                return;
            format = box->textFormat();
            shown = box->text();
            size = box->frameGeometry().size();
            box->accept();
        });
        poll.start();
        CMessageService::Show({text, QStringLiteral("Pelion"), EMessageIcon::Information});
        QCOMPARE(format, Qt::PlainText);
        QTEST(shown, "shown");
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        QVERIFY2(size.width() <= screen.width() && size.height() <= screen.height(),
                 qPrintable(QStringLiteral("%1x%2").arg(size.width()).arg(size.height())));
    }
    // A text from outside, as a message quotes it.
    void bounded_data()
    {
        QTest::addColumn<QString>("foreign");
        QTest::addColumn<QString>("quoted");
        const QString bound(CMessageService::kForeignTextBound, 'v');
        QTest::newRow("short") << "4.0.<b>19</b>"
                               << "4.0.<b>19</b>";
        QTest::newRow("at the bound") << bound << bound;
        QTest::newRow("one beyond") << bound + "w" << bound + "...";
        QTest::newRow("line breaks and controls")
            << "a\nb\r\x1b\x7f" << QString("a\uFFFDb\uFFFD\uFFFD\uFFFD");
        QTest::newRow("a pair not split at the bound")
            << bound.left(CMessageService::kForeignTextBound - 1)
                   + QString::fromUtf8("\xF0\x9F\x98\x80")
            << bound.left(CMessageService::kForeignTextBound - 1) + "...";
    }
    void bounded()
    {
        QFETCH(QString, foreign);
        QTEST(CMessageService::Bounded(foreign), "quoted");
    }
};

QTEST_MAIN(tst_CMessageService)
#include "tst_CMessageService.moc"
