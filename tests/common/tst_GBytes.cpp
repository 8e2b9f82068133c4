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

    void readsLittleEndian()
    {
        QCOMPARE(BytesToWord(kLittle), quint16{0x1234});
        QCOMPARE(BytesToWord(kLittle, 2), quint16{0x5678}); // last word of the array
        QCOMPARE(BytesToDWord(kLittle), quint32{0x56781234});
    }

    void writesLittleEndian()
    {
        QByteArray bytes(6, '\0');
        BytesFromDWord(0xA1B2C3D4u, bytes, 2); // ends at the array's end
        BytesFromWord(0xBEEF, bytes, 0);
        QCOMPARE(bytes, QByteArray::fromHex("EFBED4C3B2A1"));
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
        if (width == 2) {
            QCOMPARE(RaisedNumber([&] { BytesToWord(bytes, index); }), kSubscript);
            QCOMPARE(RaisedNumber([&] { BytesFromWord(1, bytes, index); }), kSubscript);
        } else {
            QCOMPARE(RaisedNumber([&] { BytesToDWord(bytes, index); }), kSubscript);
            QCOMPARE(RaisedNumber([&] { BytesFromDWord(1, bytes, index); }), kSubscript);
        }
        QCOMPARE(bytes, kLittle); // nothing written
    }

    void runtimeErrorSource()
    {
        try {
            BytesToWord(QByteArray(), 0);
            QFAIL("nothing raised");
        } catch (const CRaisedError& error) {
            QVERIFY(error.Source().endsWith(QLatin1String(".Runtime")));
            QCOMPARE(error.Description(), QStringLiteral("Subscript out of range"));
        }
    }

    void byteTexts()
    {
        QCOMPARE(StrToBytesV(QStringLiteral("a\u00e9")), QByteArray("a\xe9"));
        QCOMPARE(ByteZToStr(QByteArray("ab\0cd", 5)), QStringLiteral("ab"));
        QCOMPARE(ByteZToStr(QByteArray("abc")), QStringLiteral("abc"));
    }

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
        QFETCH(QString, text);
        QFETCH(quint32, error);
        QString read;
        QCOMPARE(RaisedNumber([&] { read = BytesToPStr(bytes, index); }), error);
        QCOMPARE(read, text);
    }

    void parts_data()
    {
        QTest::addColumn<QString>("part"); // mid, left or right
        QTest::addColumn<qsizetype>("start");
        QTest::addColumn<qsizetype>("count");
        QTest::addColumn<QByteArray>("result");
        QTest::addColumn<quint32>("error");
        QTest::newRow("mid inside")
            << "mid" << qsizetype{1} << qsizetype{2} << QByteArray("bc") << 0u;
        QTest::newRow("mid to end")
            << "mid" << qsizetype{2} << qsizetype{-1} << QByteArray("cde") << 0u;
        QTest::newRow("mid over end")
            << "mid" << qsizetype{3} << qsizetype{9} << QByteArray("de") << 0u;
        QTest::newRow("mid at end") << "mid" << qsizetype{5} << qsizetype{1} << QByteArray() << 0u;
        QTest::newRow("mid negative start")
            << "mid" << qsizetype{-1} << qsizetype{1} << QByteArray() << kInvalidCall;
        QTest::newRow("mid negative length")
            << "mid" << qsizetype{0} << qsizetype{-2} << QByteArray() << kInvalidCall;
        QTest::newRow("left all") << "left" << qsizetype{0} << qsizetype{9} << QByteArray("abcde")
                                  << 0u;
        QTest::newRow("left none") << "left" << qsizetype{0} << qsizetype{0} << QByteArray() << 0u;
        QTest::newRow("left negative")
            << "left" << qsizetype{0} << qsizetype{-1} << QByteArray() << kInvalidCall;
        QTest::newRow("right two")
            << "right" << qsizetype{0} << qsizetype{2} << QByteArray("de") << 0u;
        QTest::newRow("right all")
            << "right" << qsizetype{0} << qsizetype{9} << QByteArray("abcde") << 0u;
    }
    void parts()
    {
        QFETCH(QString, part);
        QFETCH(qsizetype, start);
        QFETCH(qsizetype, count);
        QFETCH(QByteArray, result);
        QFETCH(quint32, error);
        const QByteArray bytes("abcde");
        QByteArray got;
        QCOMPARE(RaisedNumber([&] {
                     if (part == QLatin1String("mid"))
                         got = MidBytes(bytes, start, count);
                     else if (part == QLatin1String("left"))
                         got = LeftBytes(bytes, count);
                     else
                         got = RightBytes(bytes, count);
                 }),
                 error);
        QCOMPARE(got, result);
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

    void halves_data()
    {
        QTest::addColumn<quint32>("dword");
        QTest::addColumn<quint16>("lo");
        QTest::addColumn<quint16>("hi");
        QTest::newRow("zero") << 0u << quint16{0} << quint16{0};
        QTest::newRow("mixed") << 0x12345678u << quint16{0x5678} << quint16{0x1234};
        QTest::newRow("top bit") << 0x80000001u << quint16{0x0001} << quint16{0x8000};
        QTest::newRow("all ones") << 0xFFFFFFFFu << quint16{0xFFFF} << quint16{0xFFFF};
    }
    void halves()
    {
        QFETCH(quint32, dword);
        QFETCH(quint16, lo);
        QFETCH(quint16, hi);
        QCOMPARE(LoWord(dword), lo);
        QCOMPARE(HiWord(dword), hi);
        QCOMPARE(MakeDWord(lo, hi), dword);
        QCOMPARE(LoByte(lo), quint8(lo & 0xFF));
        QCOMPARE(HiByte(lo), quint8(lo >> 8));
        QCOMPARE(MakeWord(LoByte(hi), HiByte(hi)), hi);
    }

    void shifts_data()
    {
        QTest::addColumn<quint32>("value");
        QTest::addColumn<int>("count");
        QTest::addColumn<quint16>("wordLeft");
        QTest::addColumn<quint16>("wordRight");
        QTest::addColumn<quint32>("dwordLeft");
        QTest::addColumn<quint32>("dwordRight");
        QTest::newRow("by 0") << 0x8001u << 0 << quint16{0x8001} << quint16{0x8001} << 0x8001u
                              << 0x8001u;
        QTest::newRow("by 1") << 0x8001u << 1 << quint16{0x0002} << quint16{0x4000} << 0x10002u
                              << 0x4000u;
        QTest::newRow("by 15") << 0xFFFFu << 15 << quint16{0x8000} << quint16{0x0001} << 0x7FFF8000u
                               << 0x1u;
        QTest::newRow("by 16: word empties")
            << 0xFFFFu << 16 << quint16{0} << quint16{0} << 0xFFFF0000u << 0u;
        QTest::newRow("by 31") << 0xFFFFFFFFu << 31 << quint16{0} << quint16{0} << 0x80000000u
                               << 1u;
        QTest::newRow("by 32: all out")
            << 0xFFFFFFFFu << 32 << quint16{0} << quint16{0} << 0u << 0u;
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
    }

    void negativeShiftRaises()
    {
        QCOMPARE(RaisedNumber([] { LShiftWord(1, -1); }), kInvalidCall);
        QCOMPARE(RaisedNumber([] { RShiftDWord(1, -1); }), kInvalidCall);
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

    void bitOutOfRange()
    {
        quint16 word = 0;
        quint32 dword = 0;
        QCOMPARE(RaisedNumber([&] { SetBitWord(word, 16, true); }), kSubscript);
        QCOMPARE(RaisedNumber([&] { SetBitDWord(dword, 32, true); }), kSubscript);
        QCOMPARE(RaisedNumber([&] { SetBitDWord(dword, -1, true); }), kSubscript);
        QCOMPARE(RaisedNumber([] { GetBit(1, 32); }), kSubscript);
        QCOMPARE(word, quint16{0});
        QCOMPARE(dword, 0u);
    }

    void swaps_data()
    {
        QTest::addColumn<quint32>("value");
        QTest::addColumn<quint16>("wordBytes"); // of the low word
        QTest::addColumn<quint32>("dwordWords");
        QTest::addColumn<quint32>("endian");
        QTest::newRow("distinct bytes")
            << 0x11223344u << quint16{0x4433} << 0x33441122u << 0x44332211u;
        QTest::newRow("zero") << 0u << quint16{0} << 0u << 0u;
        QTest::newRow("one end only")
            << 0x000000FFu << quint16{0xFF00} << 0x00FF0000u << 0xFF000000u;
    }
    void swaps()
    {
        QFETCH(quint32, value);
        QTEST(SwapWordBytes(LoWord(value)), "wordBytes");
        QTEST(SwapDWordWords(value), "dwordWords");
        QTEST(SwapEndian(value), "endian");
        QCOMPARE(SwapEndian(SwapEndian(value)), value);
    }

    void powersOfTwo_data()
    {
        QTest::addColumn<int>("i");
        QTest::addColumn<qint32>("power");
        QTest::newRow("0") << 0 << 1;
        QTest::newRow("1") << 1 << 2;
        QTest::newRow("16") << 16 << 65536;
        QTest::newRow("30") << 30 << 0x40000000;
        QTest::newRow("31 is negative") << 31 << std::numeric_limits<qint32>::min();
    }
    void powersOfTwo()
    {
        QFETCH(int, i);
        QTEST(Power2(i), "power");
    }

    void powerOutOfRange()
    {
        QCOMPARE(RaisedNumber([] { Power2(32); }), kSubscript);
        QCOMPARE(RaisedNumber([] { Power2(-1); }), kSubscript);
    }
};

QTEST_GUILESS_MAIN(tst_GBytes)
#include "tst_GBytes.moc"
