#include "GBytes.h"

#include <QtTest>

class tst_GBytes final : public QObject {
    Q_OBJECT

private slots:
    void strToBytesPadsShortText()
    {
        QByteArray bytes(64, 'x');
        QString text = QStringLiteral("hello");
        GBytes::StrToBytes(bytes, text);
        QCOMPARE(bytes.size(), 64);
        QCOMPARE(bytes.left(5), QByteArray("hello"));
        QCOMPARE(bytes.mid(5), QByteArray(59, '\0'));
        QCOMPARE(text.size(), 64); // the caller's text grew
    }

    void strToBytesFillsEmptyArray()
    {
        QByteArray bytes;
        QString text = QStringLiteral("abc");
        GBytes::StrToBytes(bytes, text);
        QCOMPARE(bytes, QByteArray("abc"));
        QCOMPARE(text, QStringLiteral("abc"));
    }

    void strToBytesNeverGrowsArray()
    {
        QByteArray bytes(4, '\0');
        QString text = QStringLiteral("abcdefgh");
        GBytes::StrToBytes(bytes, text);
        QCOMPARE(bytes, QByteArray("abcd"));
        QCOMPARE(text, QStringLiteral("abcdefgh"));
    }

    void bytesToStrKeepsZeros()
    {
        QByteArray bytes(64, '\0');
        bytes[0] = 'A';
        const QString text = GBytes::BytesToStr(bytes);
        QCOMPARE(text.size(), 64);
        QCOMPARE(text.at(0), QChar('A'));
        QCOMPARE(text.at(63), QChar(0));
    }

    void isArrayEmpty_data()
    {
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<bool>("empty");
        QTest::newRow("not an array") << QVariant(5) << true;
        QTest::newRow("empty bytes") << QVariant(QByteArray()) << true;
        QTest::newRow("bytes") << QVariant(QByteArray("a")) << false;
        QTest::newRow("empty list") << QVariant(QVariantList()) << true;
        QTest::newRow("list") << QVariant(QVariantList{1}) << false;
    }
    void isArrayEmpty()
    {
        QFETCH(QVariant, value);
        QFETCH(bool, empty);
        QCOMPARE(GBytes::IsArrayEmpty(value), empty);
    }
};

QTEST_GUILESS_MAIN(tst_GBytes)
#include "tst_GBytes.moc"
