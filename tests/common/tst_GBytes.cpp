#include "common/GBytes.h"
#include "tests/common/RaisedNumber.h"

#include <QtTest>

#include <limits>

using namespace GBytes;

namespace {

constexpr quint32 kSubscript = 9;
constexpr quint32 kInvalidCall = 5;

// Bytes 0x34 0x12 0x78 0x56: the words 0x1234 and 0x5678, little-endian.
const QByteArray kLittle = QByteArray::fromHex("34127856");

} // namespace

class tst_GBytes final : public QObject {
    Q_OBJECT

private slots:
    // The text is padded to the array's size, the array never grows.
    void strToBytes_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("textSize");
        QTest::newRow("pads short text") << 8 << "hello" << QByteArray("hello\0\0\0", 8) << 8;
        QTest::newRow("fills an empty array") << 0 << "abc" << QByteArray("abc") << 3;
        QTest::newRow("never grows the array") << 4 << "abcdefgh" << QByteArray("abcd") << 8;
    }
    void strToBytes()
    {
        QFETCH(int, size);
        QFETCH(QString, text);
        QByteArray bytes(size, 'x');
        StrToBytes(bytes, text);
        QTEST(bytes, "bytes");
        QTEST(int(text.size()), "textSize");
    }

    void byteTexts()
    {
        const QString text = BytesToStr(QByteArray("A\0\0", 3));
        QCOMPARE(text, QString("A") + QChar(0) + QChar(0));
        QCOMPARE(StrToBytesV(QStringLiteral("a\u00e9")), QByteArray("a\xe9"));
        QCOMPARE(ByteZToStr(QByteArray("ab\0cd", 5)), QStringLiteral("ab"));
        QCOMPARE(ByteZToStr(QByteArray("abc")), QStringLiteral("abc"));
        QVERIFY(IsArrayEmpty(QVariant(5)));
        QVERIFY(IsArrayEmpty(QVariant(QByteArray())));
        QVERIFY(IsArrayEmpty(QVariant(QVariantList())));
        QVERIFY(!IsArrayEmpty(QVariant(QByteArray("a"))));
        QVERIFY(!IsArrayEmpty(QVariant(QVariantList{1})));
    }

    void littleEndian()
    {
        QCOMPARE(BytesToWord(kLittle), quint16{0x1234});
        QCOMPARE(BytesToWord(kLittle, 2), quint16{0x5678}); // last word of the array
        QCOMPARE(BytesToDWord(kLittle), quint32{0x56781234});
        QByteArray bytes(6, '\0');
        BytesFromDWord(0xA1B2C3D4u, bytes, 2); // ends at the array's end
        BytesFromWord(0xBEEF, bytes, 0);
        QCOMPARE(bytes, QByteArray::fromHex("EFBED4C3B2A1"));
        QCOMPARE(SwapEndian(0x11223344u), 0x44332211u);
    }

    void wordIndexOutOfRange_data()
    {
        QTest::addColumn<int>("width"); // 2 or 4 bytes
        QTest::addColumn<qsizetype>("index");
        QTest::newRow("word over the end") << 2 << qsizetype{3};
        QTest::newRow("word past the end") << 2 << qsizetype{4};
        QTest::newRow("word negative") << 2 << qsizetype{-1};
        QTest::newRow("dword over the end") << 4 << qsizetype{1};
        QTest::newRow("dword negative") << 4 << qsizetype{-1};
    }
    void wordIndexOutOfRange()
    {
        QFETCH(int, width);
        QFETCH(qsizetype, index);
        QByteArray bytes = kLittle;
        const auto read = [&] {
            if (width == 2)
                BytesToWord(bytes, index);
            else
                BytesToDWord(bytes, index);
        };
        const auto write = [&] {
            if (width == 2)
                BytesFromWord(1, bytes, index);
            else
                BytesFromDWord(1, bytes, index);
        };
        QCOMPARE(RaisedNumber(read), kSubscript);
        QCOMPARE(RaisedNumber(write), kSubscript);
        QCOMPARE(bytes, kLittle); // nothing written
        try {
            read();
        } catch (const CRaisedError& error) {
            QVERIFY(error.Source().endsWith(QLatin1String(".Runtime")));
            QCOMPARE(error.Description(), QStringLiteral("Subscript out of range"));
        }
    }

    // A length byte, then that many characters.
    void pascalString_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<qsizetype>("index");
        QTest::addColumn<QString>("text");
        QTest::addColumn<quint32>("error");
        QTest::newRow("at start") << QByteArray("\x03"
                                                "abcX")
                                  << qsizetype{0} << "abc" << 0u;
        QTest::newRow("fills the rest") << QByteArray("X\x02"
                                                      "ab")
                                        << qsizetype{1} << "ab" << 0u;
        QTest::newRow("empty at end") << QByteArray("ab\x00", 3) << qsizetype{2} << "" << 0u;
        QTest::newRow("length too long") << QByteArray("\x05"
                                                       "ab")
                                         << qsizetype{0} << "" << kSubscript;
        QTest::newRow("index at size") << QByteArray("ab") << qsizetype{2} << "" << kSubscript;
    }
    void pascalString()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(qsizetype, index);
        QString read;
        QTEST(RaisedNumber([&] { read = BytesToPStr(bytes, index); }), "error");
        QTEST(read, "text");
    }

    void parts_data()
    {
        QTest::addColumn<QString>("part"); // mid, left or right
        QTest::addColumn<qsizetype>("start");
        QTest::addColumn<qsizetype>("count");
        QTest::addColumn<QByteArray>("result");
        QTest::addColumn<quint32>("error");
        const struct {
            const char* name;
            const char* part;
            qsizetype start;
            qsizetype count;
            const char* result;
            quint32 error;
        } rows[] = {{"mid inside", "mid", 1, 2, "bc", 0},
                    {"mid to end", "mid", 2, -1, "cde", 0},
                    {"mid over end", "mid", 3, 9, "de", 0},
                    {"mid at end", "mid", 5, 1, "", 0},
                    {"mid negative start", "mid", -1, 1, "", kInvalidCall},
                    {"mid negative length", "mid", 0, -2, "", kInvalidCall},
                    {"left all", "left", 0, 9, "abcde", 0},
                    {"left none", "left", 0, 0, "", 0},
                    {"left negative", "left", 0, -1, "", kInvalidCall},
                    {"right two", "right", 0, 2, "de", 0},
                    {"right all", "right", 0, 9, "abcde", 0}};
        for (const auto& row : rows)
            QTest::newRow(row.name) << QString(row.part) << row.start << row.count
                                    << QByteArray(row.result) << row.error;
    }
    void parts()
    {
        QFETCH(QString, part);
        QFETCH(qsizetype, start);
        QFETCH(qsizetype, count);
        const QByteArray bytes("abcde");
        QByteArray got;
        QTEST(RaisedNumber([&] {
                  got = part == QLatin1String("mid")    ? MidBytes(bytes, start, count)
                        : part == QLatin1String("left") ? LeftBytes(bytes, count)
                                                        : RightBytes(bytes, count);
              }),
              "error");
        QTEST(got, "result");
    }

    void insertAndFill()
    {
        QByteArray bytes("ace");
        InsBytes(bytes, "b", 1);
        InsBytes(bytes, "f", LenBytes(bytes)); // at the end appends
        QCOMPARE(bytes, QByteArray("abcef"));
        QCOMPARE(RaisedNumber([&] { InsBytes(bytes, "x", 6); }), kSubscript);

        FillBytes(bytes, 'z', 3);
        QCOMPARE(bytes, QByteArray("abczz"));
        FillBytes(bytes, 0, 1, 2);
        QCOMPARE(bytes, QByteArray("a\0\0zz", 5));
        FillBytes(bytes, 'q', 5, 0); // empty range at the end
        QCOMPARE(RaisedNumber([&] { FillBytes(bytes, 'q', 4, 2); }), kSubscript);
        QCOMPARE(RaisedNumber([&] { FillBytes(bytes, 'q', 6); }), kSubscript);
        QCOMPARE(bytes, QByteArray("a\0\0zz", 5));
    }

    // Word and double word of the same value, both ways.
    void shifts_data()
    {
        QTest::addColumn<quint32>("value");
        QTest::addColumn<int>("count");
        QTest::addColumn<quint16>("wordLeft");
        QTest::addColumn<quint16>("wordRight");
        QTest::addColumn<quint32>("dwordLeft");
        QTest::addColumn<quint32>("dwordRight");
        const struct {
            quint32 value;
            int count;
            quint16 wordLeft, wordRight;
            quint32 dwordLeft, dwordRight;
        } rows[] = {{0x8001u, 0, 0x8001, 0x8001, 0x8001u, 0x8001u},
                    {0x8001u, 1, 0x0002, 0x4000, 0x10002u, 0x4000u},
                    {0xFFFFu, 15, 0x8000, 0x0001, 0x7FFF8000u, 0x1u},
                    {0xFFFFu, 16, 0, 0, 0xFFFF0000u, 0u},
                    {0xFFFFFFFFu, 31, 0, 0, 0x80000000u, 1u},
                    {0xFFFFFFFFu, 32, 0, 0, 0u, 0u}};
        for (const auto& row : rows)
            QTest::addRow("%x by %d", row.value, row.count)
                << row.value << row.count << row.wordLeft << row.wordRight << row.dwordLeft
                << row.dwordRight;
    }
    void shifts()
    {
        QFETCH(quint32, value);
        QFETCH(int, count);
        const auto word = static_cast<quint16>(value);
        QTEST(LShiftWord(word, count), "wordLeft");
        QTEST(RShiftWord(word, count), "wordRight");
        QTEST(LShiftDWord(value, count), "dwordLeft");
        QTEST(RShiftDWord(value, count), "dwordRight");
        QCOMPARE(RaisedNumber([&] { LShiftWord(word, -1); }), kInvalidCall);
        QCOMPARE(RaisedNumber([&] { RShiftDWord(value, -1); }), kInvalidCall);
    }

    void bits_data()
    {
        QTest::addColumn<quint32>("before");
        QTest::addColumn<int>("bit");
        QTest::addColumn<bool>("on");
        QTest::addColumn<quint32>("after");
        QTest::newRow("set 0") << 0u << 0 << true << 1u;
        QTest::newRow("set 15") << 0u << 15 << true << 0x8000u;
        QTest::newRow("clear 15") << 0xFFFFu << 15 << false << 0x7FFFu;
        QTest::newRow("set 31") << 0u << 31 << true << 0x80000000u;
        QTest::newRow("clear 31") << 0xFFFFFFFFu << 31 << false << 0x7FFFFFFFu;
        QTest::newRow("set what is set") << 4u << 2 << true << 4u;
        QTest::newRow("clear what is clear") << 4u << 1 << false << 4u;
    }
    void bits()
    {
        QFETCH(quint32, before);
        QFETCH(int, bit);
        QFETCH(bool, on);
        QFETCH(quint32, after);
        quint32 dword = before;
        SetBitDWord(dword, bit, on);
        QCOMPARE(dword, after);
        QCOMPARE(GetBit(dword, bit), on);
        if (bit < 16) {
            auto word = static_cast<quint16>(before);
            SetBitWord(word, bit, on);
            QCOMPARE(word, static_cast<quint16>(after));
        }
    }

    void outOfRangeRaises()
    {
        quint16 word = 0;
        quint32 dword = 0;
        QCOMPARE(RaisedNumber([&] { SetBitWord(word, 16, true); }), kSubscript);
        QCOMPARE(RaisedNumber([&] { SetBitDWord(dword, 32, true); }), kSubscript);
        QCOMPARE(RaisedNumber([&] { SetBitDWord(dword, -1, true); }), kSubscript);
        QCOMPARE(RaisedNumber([] { GetBit(1, 32); }), kSubscript);
        QCOMPARE(word, quint16{0});
        QCOMPARE(dword, 0u);
        QCOMPARE(RaisedNumber([] { Power2(32); }), kSubscript);
        QCOMPARE(RaisedNumber([] { Power2(-1); }), kSubscript);
    }

    void powersOfTwo()
    {
        QCOMPARE(Power2(0), 1);
        QCOMPARE(Power2(16), 65536);
        QCOMPARE(Power2(30), 0x40000000);
        QCOMPARE(Power2(31), std::numeric_limits<qint32>::min());
    }
};

QTEST_GUILESS_MAIN(tst_GBytes)
#include "tst_GBytes.moc"
