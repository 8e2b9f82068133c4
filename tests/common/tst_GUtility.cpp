#include "common/GUtility.h"
#include "tests/common/RaisedNumber.h"

#include <QtTest>

#include <climits>

using namespace GUtility;

namespace {

// The number a GUtility error is raised with.
constexpr quint32 Raised(EErrorUtility error)
{
    return 0x80040000u | error;
}

QByteArray ReadBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

void WriteBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

// Sets an environment variable for one test and puts the old value back.
class CEnvGuard final {
public:
    CEnvGuard(const char* name, const QByteArray& value)
        : m_name(name), m_wasSet(qEnvironmentVariableIsSet(name)), m_old(qgetenv(name))
    {
        qputenv(name, value);
    }
    ~CEnvGuard()
    {
        if (m_wasSet)
            qputenv(m_name, m_old);
        else
            qunsetenv(m_name);
    }
    CEnvGuard(const CEnvGuard&) = delete;
    CEnvGuard& operator=(const CEnvGuard&) = delete;

private:
    const char* m_name;
    bool m_wasSet;
    QByteArray m_old;
};

} // namespace

class tst_GUtility final : public QObject {
    Q_OBJECT

private slots:
    void errorNumberSourceAndText()
    {
        try {
            CharFromStr(QStringLiteral("ab"), 2);
            QFAIL("nothing raised");
        } catch (const CRaisedError& error) {
            QCOMPARE(error.Number(), 0x80040000u | 13003u);
            QVERIFY(error.Source().endsWith(QLatin1String(".Utility")));
            QVERIFY(error.Description().startsWith(QLatin1String("Position out of range")));
        }
    }

    void formats_data()
    {
        QTest::addColumn<QString>("got");
        QTest::addColumn<QString>("expected");
        QTest::newRow("hex leading zeros") << FmtHex(0xFF, 4) << "00FF";
        QTest::newRow("hex no width") << FmtHex(0xABC) << "ABC";
        QTest::newRow("hex all ones") << FmtHex(0xFFFFFFFFu, 4) << "FFFFFFFF";
        QTest::newRow("hex wider than width") << FmtHex(0x12345, 2) << "12345";
        QTest::newRow("int right") << FmtInt(-42, 5) << "  -42";
        QTest::newRow("int left") << FmtInt(7, 3, false) << "7  ";
        QTest::newRow("int exact width") << FmtInt(123, 3) << "123";
        QTest::newRow("int not cut") << FmtInt(12345, 3) << "12345";
        QTest::newRow("str left") << FmtStr(QStringLiteral("ab"), 4) << "ab  ";
        QTest::newRow("str right") << FmtStr(QStringLiteral("ab"), 4, true) << "  ab";
        QTest::newRow("str not cut") << FmtStr(QStringLiteral("abcdef"), 4) << "abcdef";
    }
    void formats()
    {
        QFETCH(QString, got);
        QFETCH(QString, expected);
        QCOMPARE(got, expected);
    }

    void negativeWidthRaises()
    {
        QCOMPARE(RaisedNumber([] { FmtInt(1, -1); }), Raised(eeBadWidth));
        QCOMPARE(RaisedNumber([] { FmtHex(1, -1); }), Raised(eeBadWidth));
    }

    void trailingSeparator_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("normalized");
        QTest::addColumn<QString>("denormalized");
        const char* const rows[][3] = {{"", "", ""},
                                       {"/", "/", "/"},
                                       {"/tmp/a", "/tmp/a/", "/tmp/a"},
                                       {"/tmp/a/", "/tmp/a/", "/tmp/a"},
                                       {"a", "a/", "a"}};
        for (const auto& row : rows)
            QTest::addRow("'%s'", row[0]) << QString(row[0]) << QString(row[1]) << QString(row[2]);
    }
    void trailingSeparator()
    {
        QFETCH(QString, path);
        QTEST(NormalizePath(path), "normalized");
        QTEST(DenormalizePath(path), "denormalized");
    }

    void extensionPosition_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<qsizetype>("pos");
        const struct {
            const char* path;
            qsizetype pos;
        } rows[] = {{"a.txt", 1},      {"a.tar.gz", 5},          {"README", -1},
                    {"/x.d/name", -1}, {"/home/u/.profile", -1}, {".config.bak", 7},
                    {"name.", 4}};
        for (const auto& row : rows)
            QTest::newRow(row.path) << QString(row.path) << row.pos;
    }
    void extensionPosition()
    {
        QFETCH(QString, path);
        QTEST(GetExtPos(path), "pos");
    }

    void pathParts_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("dir");
        QTest::addColumn<QString>("base");
        QTest::addColumn<QString>("ext");
        const char* const rows[][4] = {{"/home/u/notes.txt", "/home/u/", "notes", ".txt"},
                                       {"/home/u/./x/../a.b.c", "/home/u/", "a.b", ".c"},
                                       {"/home/u/.profile", "/home/u/", ".profile", ""},
                                       {"/home/u/", "/home/", "u", ""},
                                       {"/", "/", "", ""}};
        for (const auto& row : rows)
            QTest::newRow(row[0]) << QString(row[0]) << QString(row[1]) << QString(row[2])
                                  << QString(row[3]);
    }
    void pathParts()
    {
        QFETCH(QString, path);
        QFETCH(QString, base);
        QFETCH(QString, ext);
        QTEST(GetFileDir(path), "dir");
        QCOMPARE(GetFileBase(path), base);
        QCOMPARE(GetFileExt(path), ext);
        QCOMPARE(GetFileBaseExt(path), base + ext);
        QCOMPARE(GetFileFullSpec(path), GetFileDir(path) + base + ext);
    }

    void relativePathIsFromWorkingDirectory()
    {
        const QString cwd = QDir::currentPath();
        QCOMPARE(GetFullPath(QStringLiteral("sub/../f.c")), cwd + QStringLiteral("/f.c"));
        QCOMPARE(GetFileDir(QStringLiteral("f.c")), NormalizePath(cwd));
        QCOMPARE(RaisedNumber([] { GetFullPath(QString()); }), Raised(eeEmptyPath));
    }

    void fileTextRoundTrip()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath(QStringLiteral("t.bin"));
        const QString text = QStringLiteral("a\u00e9") + sNullChr + QStringLiteral("\r\nz");
        SaveFileStr(path, text);
        QCOMPARE(ReadBytes(path), QByteArray("a\xe9\0\r\nz", 6)); // Latin-1, as given
        QCOMPARE(GetFileText(path), text);
        SaveFileStr(path, QStringLiteral("x")); // replaces
        QCOMPARE(ReadBytes(path), QByteArray("x"));
    }

    void saveFileTextEndsWithLineEnd_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("adds one") << "a\nb" << QByteArray("a\nb\n");
        QTest::newRow("has one") << "a\n" << QByteArray("a\n");
        QTest::newRow("has CRLF") << "a\r\n" << QByteArray("a\r\n");
        QTest::newRow("empty") << "" << QByteArray();
    }
    void saveFileTextEndsWithLineEnd()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, bytes);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("t.txt"));
        SaveFileText(path, text);
        QCOMPARE(ReadBytes(path), bytes);
    }

    void fileErrorsRaise()
    {
        QTemporaryDir dir;
        const QString missing = dir.filePath(QStringLiteral("missing"));
        QCOMPARE(RaisedNumber([&] { GetFileText(missing); }), Raised(eeNoFile));
        QCOMPARE(
            RaisedNumber([&] { SaveFileStr(missing + QStringLiteral("/x"), QStringLiteral("x")); }),
            Raised(eeCantWrite));
    }

    void rtfDetection()
    {
        QTemporaryDir dir;
        const QString rtf = dir.filePath(QStringLiteral("a.rtf"));
        const QString shortFile = dir.filePath(QStringLiteral("b.rtf"));
        WriteBytes(rtf, "{\\rtf1\\ansi hello}");
        WriteBytes(shortFile, "{\\rt");
        QVERIFY(IsRTF(rtf));
        QVERIFY(!IsRTF(shortFile));
        QVERIFY(!IsRTF(dir.filePath(QStringLiteral("missing"))));
    }

    void existence()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("a.txt"));
        const QString sub = dir.filePath(QStringLiteral("sub"));
        WriteBytes(file, "x");
        WriteBytes(dir.filePath(QStringLiteral(".hidden")), "x");
        QVERIFY(QDir().mkdir(sub));

        QVERIFY(!ExistFile(sub));
        QVERIFY(ExistFileDir(sub) && ExistFileDir(file));
        QVERIFY(Exists(dir.filePath(QStringLiteral("*.txt"))));
        QVERIFY(Exists(dir.filePath(QStringLiteral("?.txt"))));
        QVERIFY(Exists(dir.filePath(QStringLiteral("s[tu]b"))));
        QVERIFY(Exists(dir.filePath(QStringLiteral(".hid*"))));
        QVERIFY(Exists(file)); // no wildcard: the name itself
        QVERIFY(!Exists(dir.filePath(QStringLiteral("*.log"))));
        QVERIFY(!Exists(dir.filePath(QStringLiteral("none/*"))));
    }

    void tempFiles()
    {
        QTemporaryDir dir;
        const QString first = GetTempFile(QStringLiteral("pel"), dir.path());
        const QString second = GetTempFile(QStringLiteral("pel"), dir.path());
        QVERIFY(first != second);
        QVERIFY(ExistFile(first));
        QCOMPARE(QFileInfo(first).size(), 0);
        QCOMPARE(GetFileDir(first), NormalizePath(dir.path()));
        QVERIFY(GetFileBaseExt(first).startsWith(QLatin1String("pel")));
        QCOMPARE(GetFileExt(first), QStringLiteral(".tmp"));
        QCOMPARE(RaisedNumber([&] {
                     GetTempFile(QStringLiteral("p"), dir.filePath(QStringLiteral("none")));
                 }),
                 Raised(eeNoTempFile));
    }

    void searchDirs()
    {
        QTemporaryDir dir;
        const QString a = dir.filePath(QStringLiteral("a"));
        const QString b = dir.filePath(QStringLiteral("b"));
        QVERIFY(QDir().mkdir(a) && QDir().mkdir(b));
        QVERIFY(QDir().mkdir(a + QStringLiteral("/tool"))); // a directory is no match
        WriteBytes(b + QStringLiteral("/tool"), "x");

        QCOMPARE(SearchDirs(QStringLiteral("tool"), {a, b}), b + QStringLiteral("/tool"));
        QCOMPARE(SearchDirs(QStringLiteral("other"), {a, b}), QString());
        QCOMPARE(SearchDirs(b + QStringLiteral("/tool"), {a}), b + QStringLiteral("/tool"));
        {
            const CEnvGuard path("PATH",
                                 QFile::encodeName(a + QLatin1Char(':') + b + QLatin1Char('/')));
            QCOMPARE(SearchDirs(QStringLiteral("tool")), b + QStringLiteral("/tool"));
        }
    }

    void executables()
    {
        QTemporaryDir dir;
        const QString program = dir.filePath(QStringLiteral("prog"));
        const QString data = dir.filePath(QStringLiteral("data"));
        WriteBytes(program, "#!/bin/sh\n");
        WriteBytes(data, "x");
        QVERIFY(QFile::setPermissions(program, QFile::permissions(program) | QFile::ExeOwner));

        QVERIFY(IsExe(program));
        QVERIFY(!IsExe(data));
        QVERIFY(!IsExe(dir.path())); // a directory is executable but no program

        const CEnvGuard path("PATH", QFile::encodeName(dir.path()));
        QCOMPARE(SearchForExe(QStringLiteral("prog")), program);
        QCOMPARE(SearchForExe(QStringLiteral("data")), QString());
        QCOMPARE(SearchForExe(program), program);
        QCOMPARE(SearchForExe(data), QString());
    }

    void expandEnvironment_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expanded");
        const char* const rows[][3] = {{"dollar", "[$PELT_A]", "[alpha]"},
                                       {"braces", "${PELT_A}x", "alphax"},
                                       {"percent", "%PELT_A%/x", "alpha/x"},
                                       {"name runs on", "$PELT_Ax", "$PELT_Ax"},
                                       {"unknown percent", "%PELT_NONE%", "%PELT_NONE%"},
                                       {"unknown braces", "${PELT_NONE}", "${PELT_NONE}"},
                                       {"empty value", "a$PELT_EMPTY.b", "a.b"},
                                       {"no second pass", "$PELT_REF", "$PELT_A"},
                                       {"lone signs", "100% $ 5%", "100% $ 5%"},
                                       {"several", "$PELT_A%PELT_A%", "alphaalpha"}};
        for (const auto& row : rows)
            QTest::newRow(row[0]) << QString(row[1]) << QString(row[2]);
    }
    void expandEnvironment()
    {
        QFETCH(QString, text);
        const CEnvGuard a("PELT_A", "alpha");
        const CEnvGuard empty("PELT_EMPTY", "");
        const CEnvGuard ref("PELT_REF", "$PELT_A");
        qunsetenv("PELT_NONE");
        qunsetenv("PELT_Ax");
        QTEST(ExpandEnvStr(text), "expanded");
    }

    void findString_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("find");
        QTest::addColumn<qsizetype>("from");
        QTest::addColumn<unsigned>("options");
        QTest::addColumn<qsizetype>("pos");
        const unsigned word = esoWholeWord;
        const unsigned caseless = esoIgnoreCase;
        const struct {
            const char* name;
            const char* text;
            const char* find;
            qsizetype from;
            unsigned options;
            qsizetype pos;
        } rows[] = {{"plain", "a cat", "cat", 0, 0, 2},
                    {"case differs", "a Cat", "cat", 0, 0, -1},
                    {"ignore case", "a Cat", "cat", 0, caseless, 2},
                    {"whole word skips part", "concat cat", "cat", 0, word, 7},
                    {"whole word at edges", "cat", "cat", 0, word, 0},
                    {"underscore joins", "cat_1 cat.", "cat", 0, word, 6},
                    {"both", "CATS Cat", "cat", 0, caseless | word, 5},
                    {"from", "cat cat", "cat", 1, 0, 4},
                    {"from past end", "cat", "cat", 9, 0, -1},
                    {"empty find", "cat", "", 0, 0, -1}};
        for (const auto& row : rows)
            QTest::newRow(row.name)
                << QString(row.text) << QString(row.find) << row.from << row.options << row.pos;
    }
    void findString()
    {
        QFETCH(QString, text);
        QFETCH(QString, find);
        QFETCH(qsizetype, from);
        QFETCH(unsigned, options);
        QTEST(FindString(text, find, from, static_cast<ESearchOptions>(options)), "pos");
    }

    void searchFromBeforeTheStartRaises()
    {
        QCOMPARE(RaisedNumber([] { FindString(QStringLiteral("a"), QStringLiteral("a"), -1); }),
                 Raised(eeBadPosition));
    }

    void characters()
    {
        QString s = QStringLiteral("abc");
        QCOMPARE(CharFromStr(s, 2), QChar('c'));
        CharToStr(s, 2, QChar('C'));
        InsertChar(s, 3, QChar('!')); // at the end appends
        InsertChar(s, 0, QChar('>'));
        QCOMPARE(s, QStringLiteral(">abC!"));
        QCOMPARE(RaisedNumber([&] { CharFromStr(s, 5); }), Raised(eeBadPosition));
        QCOMPARE(RaisedNumber([&] { CharToStr(s, -1, QChar('x')); }), Raised(eeBadPosition));
        QCOMPARE(RaisedNumber([&] { InsertChar(s, 6, QChar('x')); }), Raised(eeBadPosition));
        QCOMPARE(s, QStringLiteral(">abC!"));
    }

    void zeroEndedText()
    {
        QCOMPARE(StrZToStr(QStringLiteral("ab") + sNullChr + QStringLiteral("cd")),
                 QStringLiteral("ab"));
        QCOMPARE(StrZToStr(QStringLiteral("ab")), QStringLiteral("ab"));
    }

    void nextLines()
    {
        QString text = QStringLiteral("a\r\nb\nc\r\rd");
        QStringList lines;
        while (!text.isEmpty())
            lines << GetNextLine(text);
        QCOMPARE(lines, (QStringList{"a", "b", "c", "", "d"}));
        QCOMPARE(RTrimLine(QStringLiteral("x \r\n")), QStringLiteral("x "));
        QCOMPARE(RTrimLine(QStringLiteral("x\n\n")), QStringLiteral("x"));
        QCOMPARE(RTrimLine(QStringLiteral("x")), QStringLiteral("x"));
    }

    void wrap_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("width");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("fits exactly") << "abcd efgh" << 9 << QStringList{"abcd efgh"};
        QTest::newRow("one short") << "abcd efgh" << 8 << QStringList{"abcd", "efgh"};
        QTest::newRow("word ends at width") << "abcd efgh" << 4 << QStringList{"abcd", "efgh"};
        QTest::newRow("blank at width") << "ab cd ef" << 5 << QStringList{"ab cd", "ef"};
        QTest::newRow("long word cut") << "abcdefghij" << 4 << QStringList{"abcd", "efgh", "ij"};
        QTest::newRow("tabs break") << "a\tb" << 1 << QStringList{"a", "b"};
        QTest::newRow("blank runs dropped") << "ab   cd" << 3 << QStringList{"ab", "cd"};
        QTest::newRow("line end first") << "ab cd\nef" << 5 << QStringList{"ab cd", "ef"};
        QTest::newRow("line end after break") << "ab  \r\ncd" << 2 << QStringList{"ab", "cd"};
        QTest::newRow("empty lines kept") << "\n\nx" << 3 << QStringList{"", "", "x"};
        QTest::newRow("width 1") << "abc" << 1 << QStringList{"a", "b", "c"};
        QTest::newRow("empty") << "" << 5 << QStringList{};
    }
    void wrap()
    {
        QFETCH(QString, text);
        QFETCH(int, width);
        QTEST(WordWrap(text, width), "lines");
    }

    void lineWrapLeavesRest()
    {
        QString text = QStringLiteral("one two three");
        QCOMPARE(LineWrap(text, 7), QStringLiteral("one two"));
        QCOMPARE(text, QStringLiteral("three"));
        QCOMPARE(RaisedNumber([&] { LineWrap(text, 0); }), Raised(eeBadWidth));
        QCOMPARE(text, QStringLiteral("three"));
    }

    void collectionReplace()
    {
        TKeyedCollection<int> items{{"one", 1}, {"two", 2}, {"three", 3}};
        CollectionReplace(items, 1, 20);
        CollectionReplace(items, QStringLiteral("THREE"), 30); // keys ignore case
        const TKeyedCollection<int> expected{{"one", 1}, {"two", 20}, {"three", 30}};
        QCOMPARE(items, expected);
        QCOMPARE(RaisedNumber([&] { CollectionReplace(items, 3, 0); }), Raised(eeBadPosition));
        QCOMPARE(RaisedNumber([&] { CollectionReplace(items, QStringLiteral("four"), 0); }),
                 Raised(eeNoKey));
        QCOMPARE(items, expected);
    }

    void hexDump_data()
    {
        // Expected texts are what "hexdump -C" prints, without its final offset line.
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QString>("dump");
        QTest::newRow("empty") << QByteArray() << "";
        QTest::newRow("short") << QByteArray(
            "hello\n") << "00000000  68 65 6c 6c 6f 0a                                 |hello.|\n";
        QTest::newRow("one full line")
            << QByteArray("0123456789abcdef")
            << "00000000  30 31 32 33 34 35 36 37  38 39 61 62 63 64 65 66  |0123456789abcdef|\n";
        QTest::newRow("multi-line")
            << QByteArray("0123456789abcdefXYZ")
            << "00000000  30 31 32 33 34 35 36 37  38 39 61 62 63 64 65 66  |0123456789abcdef|\n"
               "00000010  58 59 5a                                          |XYZ|\n";
        QTest::newRow("unprintable")
            << QByteArray("\x00\x1f\x20\x7e\x7f\xff", 6)
            << "00000000  00 1f 20 7e 7f ff                                 |.. ~..|\n";
    }
    void hexDump()
    {
        QFETCH(QByteArray, data);
        QFETCH(QString, dump);
        QCOMPARE(HexDumpB(data), dump);
        QCOMPARE(HexDumpS(QString::fromLatin1(data)), dump);
    }

    void randomInRange()
    {
        QCOMPARE(GetRandom(5, 5), 5);
        QSet<int> seen;
        for (int i = 0; i < 200; ++i) {
            const int value = GetRandom(-2, 2);
            QVERIFY(value >= -2 && value <= 2);
            seen.insert(value);
        }
        QCOMPARE(seen.size(), 5);
        GetRandom(INT_MIN, INT_MAX); // the full range does not overflow
        QCOMPARE(RaisedNumber([] { GetRandom(2, 1); }), Raised(eeBadRange));
    }
};

QTEST_MAIN(tst_GUtility)
#include "tst_GUtility.moc"
