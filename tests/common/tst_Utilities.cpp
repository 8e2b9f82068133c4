// The shared library as one table: each row is a call, or a few, and what they give back or raise.

#include "common/CRaisedError.h"
#include "common/GBytes.h"
#include "common/GUtility.h"
#include "common/MWinUtil.h"
#include "common/MWindowsError.h"
#include "common/ui/CTrayIcon.h"
#include "common/ui/MWinForms.h"
#include "tests/kit/TestFiles.h"

#include <QDBusConnection>
#include <QElapsedTimer>
#include <QPixmap>
#include <QWidget>
#include <QtTest/qtestspontaneevent.h>
#include <QtTest>

#include <climits>
#include <functional>
#include <type_traits>

using namespace GBytes;
using namespace GUtility;

using Call = std::function<QVariant()>;
Q_DECLARE_METATYPE(Call)

namespace {

// What a raised error shows of itself: its number and its source after the program name.
QString Raised(quint32 number, const QString& suffix)
{
    return QStringLiteral("raised %1 by %2").arg(number, 0, 16).arg(suffix);
}
QString Raised(EErrorUtility error)
{
    return Raised(kLibraryErrorBase | error, ".Utility");
}

// What a call gives back ("done" when nothing), or the error it raises.
template <typename F> QVariant Outcome(F call)
{
    try {
        if constexpr (std::is_void_v<decltype(call())>) {
            call();
            return QStringLiteral("done");
        } else {
            return QVariant::fromValue(call());
        }
    } catch (const CRaisedError& error) {
        const QString source = error.Source();
        return Raised(error.Number(),
                      source.startsWith(ProgramName()) ? source.mid(ProgramName().size()) : source);
    }
}
QString Described(const std::function<void()>& call)
{
    try {
        call();
    } catch (const CRaisedError& error) {
        return error.Description();
    }
    return QStringLiteral("nothing raised");
}
const auto List = [](const auto&... v) { return QVariantList{QVariant::fromValue(v)...}; };
template <typename F> void Row(const QString& name, const QVariant& expected, F call)
{
    QTest::newRow(qPrintable(name)) << Call([call] { return Outcome(call); }) << expected;
}
const auto TestIcon = [] { return QIcon(QPixmap(16, 16)); };

// A row of one call, named by the call itself; the outcome of a call among others.
#define ROW(call, expected) Row(QStringLiteral(#call), expected, [=] { return call; })
#define O(call) Outcome([=] { return call; })

// The desktop's notification server as the tray icon meets it: each call it takes, as a line.
class CNotificationServer final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    QStringList calls;
public slots:
    uint Notify(const QString&, uint replacesId, const QString&, const QString& summary,
                const QString& body, const QStringList&, const QVariantMap&, int expiry)
    {
        calls
            << QStringLiteral("notify %1 %2 %3 %4").arg(replacesId).arg(summary, body).arg(expiry);
        return ++m_last;
    }
    void CloseNotification(uint id) { calls << QStringLiteral("close %1").arg(id); }

private:
    uint m_last = 40;
};

} // namespace

class tst_Utilities final : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // A session bus of the test's own, for the desktop's notifications.
        m_bus.start(QStringLiteral("dbus-daemon"),
                    {"--session", "--nofork", "--nopidfile", "--print-address=1"});
        if (m_bus.waitForReadyRead(10000))
            m_busAddress = QString::fromLatin1(m_bus.readLine().trimmed());
        qputenv("DBUS_SESSION_BUS_ADDRESS", m_busAddress.toLatin1());
        QVERIFY(m_dir.isValid());
        const QString d = m_dir.path();
        QVERIFY(QDir().mkpath(d + "/sub") && QDir().mkpath(d + "/a/tool"));
        QVERIFY(TestFiles::Write(d + "/.hidden", "x") && TestFiles::Write(d + "/b/tool", "x")
                && TestFiles::Write(d + "/b/data", "x") && TestFiles::WriteScript(d + "/b/prog", "")
                && TestFiles::Write(d + "/a.rtf", "{\\rtf1 hi}")
                && TestFiles::Write(d + "/b.rtf", "{"));
        qputenv("PATH", QFile::encodeName(d + "/a:" + d + "/b/"));
        qputenv("PELT_A", "alpha");
        qputenv("PELT_EMPTY", "");
        qputenv("PELT_REF", "$PELT_A");
    }
    void cleanupTestCase()
    {
        m_bus.terminate();
        m_bus.waitForFinished(10000);
    }

    void edgeCases_data()
    {
        QTest::addColumn<Call>("call");
        QTest::addColumn<QVariant>("expected");
        const QString d = m_dir.path();
        const QString subscript = Raised(9, ".Runtime");
        const QString invalid = Raised(5, ".Runtime");
        const QString windows6 = Raised(0x80047148u + 6, ".Windows");
        for (const auto& [size, text, bytes, length] :
             {std::tuple{64, "hello", QByteArray("hello") + QByteArray(59, '\0'), 64},
              {0, "abc", QByteArray("abc"), 3},
              {4, "abcdefgh", QByteArray("abcd"), 8}})
            Row(QStringLiteral("StrToBytes of %1 into %2 bytes").arg(text).arg(size),
                QVariantList{bytes, length}, [size, text] {
                    QByteArray array(size, 'x');
                    QString s = QString::fromLatin1(text);
                    StrToBytes(array, s);
                    return List(array, s.size());
                });
        ROW(List(BytesToStr(QByteArray(64, 0)).size(), StrToBytesV("a\u00e9"),
                 ByteZToStr(QByteArray("ab\0cd", 5)), IsArrayEmpty(5), IsArrayEmpty(QByteArray()),
                 IsArrayEmpty(QByteArray("a"))),
            List(64, QByteArray("a\xe9"), QString("ab"), true, true, false));
        // Words are little-endian; nothing is read or written outside the array.
        const QByteArray le = QByteArray::fromHex("34127856");
        Row("words",
            QVariantList{0x1234, 0x5678, 0x56781234u, QByteArray::fromHex("EFBED4C3B2A1"),
                         0x44332211u},
            [le] {
                QByteArray bytes(6, '\0');
                BytesFromDWord(0xA1B2C3D4u, bytes, 2); // up to the array's end
                BytesFromWord(0xBEEF, bytes, 0);
                return List(BytesToWord(le), BytesToWord(le, 2), BytesToDWord(le), bytes,
                            SwapEndian(0x11223344u));
            });
        ROW(List(O(BytesToWord(le, 3)), O(BytesToWord(le, -1)), O(BytesToDWord(le, 1)),
                 Described([=] { BytesToWord(le, 3); })),
            List(subscript, subscript, subscript, QString("Subscript out of range")));
        Row("writes outside the array change nothing", List(subscript, subscript, subscript, le),
            [le] {
                QByteArray bytes = le;
                return List(Outcome([&] { BytesFromWord(1, bytes, 3); }),
                            Outcome([&] { BytesFromWord(1, bytes, -1); }),
                            Outcome([&] { BytesFromDWord(1, bytes, 1); }), bytes);
            });
        ROW(List(MidBytes("abcde", 3, 9), MidBytes("abcde", 5, 1), RightBytes("abcde", 9),
                 O(MidBytes("ab", -1)), O(LeftBytes("ab", -1)),
                 BytesToPStr(QByteArray::fromHex("58026162"), 1),
                 O(BytesToPStr(QByteArray::fromHex("056162")))),
            List(QByteArray("de"), QByteArray(), QByteArray("abcde"), invalid, invalid,
                 QString("ab"), subscript));
        Row("InsBytes and FillBytes", QVariantList{QByteArray("a\0\0ef", 5), subscript}, [] {
            QByteArray bytes("ace");
            InsBytes(bytes, "b", 1);
            InsBytes(bytes, "f", LenBytes(bytes)); // at the end appends
            FillBytes(bytes, 0, 1, 2);
            return List(bytes, Outcome([&] { FillBytes(bytes, 'q', 4, 2); }));
        });
        ROW(List(LShiftWord(0xFFFF, 16), RShiftWord(0xFFFF, 16), RShiftDWord(0xFFFF, 32),
                 LShiftDWord(0xFFFF, 16), O(RShiftDWord(1, -1)), Power2(31), O(Power2(32))),
            List(0, 0, 0, 0xFFFF0000u, invalid, INT_MIN, subscript));
        Row("bits", QVariantList{0x7FFFFFFFu, false, 0x8000, subscript}, [] {
            quint32 dword = 0xFFFFFFFFu;
            quint16 word = 0;
            SetBitDWord(dword, 31, false);
            SetBitWord(word, 15, true);
            return List(dword, GetBit(dword, 31), word,
                        Outcome([&] { SetBitWord(word, 16, true); }));
        });
        ROW(List(O(RaiseWindowsErrorIf(6)), O(RaiseWindowsErrorIf(0)),
                 Described([] { RaiseWindowsError(6); }), WindowsErrorText(28),
                 WindowsErrorText(999999), O(RaiseLibraryError(5, ".Utility", "bad")),
                 O(RaiseLibraryError(eeNoFile, ".Utility", "bad")), O(CharFromStr("ab", 2)),
                 Described([] { CharFromStr("ab", 2); })),
            QVariantList({windows6, "done", "The handle is invalid.", QString(strerror(28)), "",
                          invalid, Raised(eeNoFile), Raised(eeBadPosition),
                          "Position out of range: 2"}));
        // Formats never cut.
        ROW(List(FmtHex(0xFF, 4), FmtHex(0xABC), FmtInt(12345, 3), FmtInt(7, 3, false)),
            QVariantList({"00FF", "ABC", "12345", "7  "}));
        ROW(List(FmtStr("ab", 4, true), FmtStr("abcdef", 4), O(FmtInt(1, -1))),
            List(QString("  ab"), QString("abcdef"), Raised(eeBadWidth)));
        ROW(List(NormalizePath("/"), NormalizePath("a"), DenormalizePath("/"),
                 DenormalizePath("/tmp/a/"), GetExtPos("a.tar.gz"), GetExtPos("/x.d/name"),
                 GetExtPos(".config.bak"), GetExtPos("/home/u/.profile")),
            List(QString("/"), QString("a/"), QString("/"), QString("/tmp/a"), 5, -1, 7, -1));
        const QString path = QStringLiteral("/home/u/./x/../a.b.c");
        ROW(List(GetFileDir(path), GetFileBase(path), GetFileExt(path), GetFileBaseExt(path),
                 GetFileFullSpec(path)),
            QVariantList({"/home/u/", "a.b", ".c", "a.b.c", "/home/u/a.b.c"}));
        ROW(List(GetFullPath("x/../f.c"), O(GetFullPath(""))),
            List(QDir::currentPath() + "/f.c", Raised(eeEmptyPath)));
        Row("files",
            QVariantList{QByteArray("a\xe9\0\r\nz", 6), true, QByteArray("a\nb\n"),
                         Raised(eeNoFile), Raised(eeCantWrite), true, false, false, true, true,
                         false},
            [d] {
                const QString text = QStringLiteral("a\u00e9") + sNullChr + QStringLiteral("\r\nz");
                SaveFileStr(d + "/t.bin", text);
                SaveFileText(d + "/t.txt", "a\nb"); // ends with a line end
                return List(TestFiles::Read(d + "/t.bin"), GetFileText(d + "/t.bin") == text,
                            TestFiles::Read(d + "/t.txt"), O(GetFileText(d + "/none")),
                            O(SaveFileStr(d + "/none/x", "x")), IsRTF(d + "/a.rtf"),
                            IsRTF(d + "/b.rtf"), ExistFile(d + "/sub"), ExistFileDir(d + "/sub"),
                            Exists(d + "/.hid*"), Exists(d + "/none/*"));
            });
        Row("GetTempFile", QVariantList{0, d + "/", "pel", ".tmp", true, Raised(eeNoTempFile)},
            [d] {
                const QString file = GetTempFile("pel", d);
                return List(QFileInfo(file).size(), GetFileDir(file), GetFileBaseExt(file).left(3),
                            GetFileExt(file), GetTempFile("pel", d) != file,
                            O(GetTempFile("p", d + "/none")));
            });
        ROW(QStringList({SearchDirs("tool"), SearchForExe("prog"), SearchForExe("data")}),
            QStringList({d + "/b/tool", d + "/b/prog", ""}));
        // One pass: a value that names a variable stays as it is.
        ROW(ExpandEnvStr("[$PELT_A]%PELT_A%/${PELT_NONE}$PELT_REF$PELT_EMPTY. $PELT_Ax 5% $"),
            "[alpha]alpha/${PELT_NONE}$PELT_A. $PELT_Ax 5% $");
        ROW(List(FindString("a Cat", "cat", 0, esoIgnoreCase),
                 FindString("concat cat", "cat", 0, esoWholeWord),
                 FindString("cat_1 cat.", "cat", 0, esoWholeWord), FindString("cat cat", "cat", 1)),
            List(2, 7, 6, 4));
        ROW(List(FindString("cat", "cat", 9), FindString("cat", ""), O(FindString("a", "a", -1))),
            List(-1, -1, Raised(eeBadPosition)));
        Row("characters", QVariantList{">abC!", Raised(eeBadPosition)}, [] {
            QString s = QStringLiteral("abc");
            CharToStr(s, 2, QChar('C'));
            InsertChar(s, 3, QChar('!')); // at the end appends
            InsertChar(s, 0, QChar('>'));
            return List(s, Outcome([&] { InsertChar(s, 6, 'x'); }));
        });
        Row("lines", QStringList{"a", "b", "c", "", "d", "x "}, [] {
            QString text = QStringLiteral("a\r\nb\nc\r\rd");
            QStringList lines;
            while (!text.isEmpty())
                lines << GetNextLine(text);
            return lines << RTrimLine("x \r\n");
        });
        // Long words are cut, blanks dropped, empty lines kept.
        ROW(WordWrap("abcdefghij", 4) + WordWrap("ab  \r\ncd\n\nx", 2),
            QStringList({"abcd", "efgh", "ij", "ab", "cd", "", "x"}));
        Row("LineWrap width 0", Raised(eeBadWidth),
            [text = QString("x")]() mutable { return LineWrap(text, 0); });
        Row("CollectionReplace", QVariantList{20, 30, Raised(eeNoKey), Raised(eeBadPosition)}, [] {
            TKeyedCollection<int> items{{"one", 1}, {"two", 2}, {"three", 3}};
            CollectionReplace(items, 1, 20);
            CollectionReplace(items, QStringLiteral("THREE"), 30); // keys ignore case
            return List(items[1].second, items[2].second,
                        Outcome([&] { CollectionReplace(items, "four", 0); }),
                        Outcome([&] { CollectionReplace(items, 3, 0); }));
        });
        // As "hexdump -C" prints it, without its final offset line; both dumps agree.
        const QByteArray dumped("0123456789abcdef\x00\x1f\x7f\xff", 20);
        Row("HexDump",
            "00000000  30 31 32 33 34 35 36 37  38 39 61 62 63 64 65 66  |0123456789abcdef|\n"
            "00000010  00 1f 7f ff                                       |....|\n",
            [dumped] {
                return HexDumpS(QString::fromLatin1(dumped)) == HexDumpB(dumped) ? HexDump(dumped)
                                                                                 : "";
            });
        Row("GetRandom covers its range", QVariantList{true, 5, Raised(eeBadRange)}, [] {
            QSet<int> seen;
            for (int i = 0; i < 200; ++i)
                seen.insert(GetRandom(-2, 2));
            GetRandom(INT_MIN, INT_MAX); // the full range does not overflow
            return List(seen == QSet<int>{-2, -1, 0, 1, 2}, GetRandom(5, 5), O(GetRandom(2, 1)));
        });
        Row("GetWindowsVersion", List(4, 5, 1, 2, 3, 0, 6, 7, 0, 8, 0), [] {
            const int nt = kPlatformNT, other = kPlatformWindows;
            const int versions[][3] = {{3, 51, nt},    {4, 0, nt},    {4, 0, other}, {4, 10, other},
                                       {4, 90, other}, {4, 5, other}, {5, 0, nt},    {5, 1, nt},
                                       {5, 2, nt},     {6, 1, nt},    {10, 0, nt}};
            QVariantList seen;
            for (const auto& v : versions)
                seen << int(GetWindowsVersion(v[0], v[1], v[2]));
            return seen;
        });
        // A pending event ran during the pause; the pause lasted; the event ran in the end.
        for (const auto& [ms, noEvents, during] :
             {std::tuple{0, false, true}, {60, false, true}, {20, true, false}})
            Row(QStringLiteral("Pause %1 ms, events %2").arg(ms).arg(noEvents ? "off" : "on"),
                QVariantList{during, true, true}, [=] {
                    QObject context;
                    bool ran = false;
                    QTimer::singleShot(0, &context, [&ran] { ran = true; });
                    QElapsedTimer clock;
                    clock.start();
                    Pause(ms, noEvents);
                    const QVariantList seen{ran, clock.elapsed() >= ms - 1};
                    return seen + QVariantList{QTest::qWaitFor([&ran] { return ran; })};
                });
        // Create's refusals; the offscreen platform has no notification area.
        const QString windows13 = Raised(0x80047148u + 13, ".Windows");
        Row("tray icon: Create", List(windows6, windows13, windows13, QString("done"), true, false),
            [] {
                QWidget owner;
                CTrayIcon icon(ETrayForm::Console);
                const auto create = [&](QWidget* window, const QVariant& picture) {
                    return Outcome([&] { icon.Create(window, picture, "tip"); });
                };
                return QVariantList{}
                       << create(nullptr, TestIcon()) << create(&owner, QPixmap(16, 16))
                       << create(&owner, QVariant()) << create(&owner, TestIcon()) << icon.IsShown()
                       << icon.IsVisible();
            });
        for (const auto& [form, visible] :
             {std::pair{ETrayForm::Console, 127}, {ETrayForm::Server, 63}})
            Row(QStringLiteral("tray icon form %1: a long tip is cut, given to Create or later")
                    .arg(int(form)),
                List(QString(visible, 't'), QString(visible, 't')), [form] {
                    const QString tip(200, QLatin1Char('t'));
                    QWidget owner;
                    CTrayIcon created(form), set(form);
                    created.Create(&owner, TestIcon(), tip);
                    set.Create(&owner, TestIcon(), QStringLiteral("short"));
                    set.SetTip(tip);
                    return List(created.SystemIcon()->toolTip(), set.SystemIcon()->toolTip());
                });
        // A StatusNotifier host sends no double click: its single activation counts as one too.
        for (const bool notifier : {false, true})
            Row(QStringLiteral("tray icon activations, StatusNotifier host: %1").arg(notifier),
                QStringList{notifier ? "513 514 515" : "513 514", "515", "516 517", "519 520"},
                [notifier] {
                    QWidget owner;
                    CTrayIcon icon(ETrayForm::Server, nullptr, [notifier] { return notifier; });
                    icon.Create(&owner, TestIcon(), QStringLiteral("tip"));
                    QStringList seen;
                    QObject::connect(&icon, &CTrayIcon::TrayMessage,
                                     [&seen](std::uint32_t message, std::uint32_t) {
                                         seen.last() += QString::number(message) + ' ';
                                     });
                    for (const auto reason :
                         {QSystemTrayIcon::Trigger, QSystemTrayIcon::DoubleClick,
                          QSystemTrayIcon::Context, QSystemTrayIcon::MiddleClick}) {
                        seen << QString();
                        emit icon.SystemIcon()->activated(reason);
                        seen.last().chop(1);
                    }
                    return seen;
                });
        // A balloon is a notification; off withdraws it, a second off sends nothing.
        Row("tray icon: balloons as notifications",
            QStringList{"notify 0 Pelion one 0", "close 41", "notify 0 Pelion two 0"}, [this] {
                const QString name = QStringLiteral("notification-server");
                QDBusConnection bus = QDBusConnection::connectToBus(m_busAddress, name);
                CNotificationServer server;
                bus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &server,
                                   QDBusConnection::ExportAllSlots);
                bus.registerService(QStringLiteral("org.freedesktop.Notifications"));
                QWidget owner;
                CTrayIcon icon(ETrayForm::Console);
                icon.Create(&owner, TestIcon(), QStringLiteral("tip"));
                const auto calls = [&server](qsizetype count) {
                    return QTest::qWaitFor([&] { return server.calls.size() >= count; });
                };
                icon.BalloonMsgOn(QStringLiteral("Pelion"), QStringLiteral("one"), 3);
                if (calls(1)) {
                    icon.BalloonMsgOff();
                    if (calls(2)) {
                        icon.BalloonMsgOff();
                        icon.BalloonMsgOn(QStringLiteral("Pelion"), QStringLiteral("two"), 1);
                        static_cast<void>(calls(3));
                    }
                }
                bus.unregisterService(QStringLiteral("org.freedesktop.Notifications"));
                QDBusConnection::disconnectFromBus(name);
                return server.calls;
            });
        // Writes outside Create..Destroy and pictures of another type are ignored; Destroy twice.
        Row("tray icon: writes outside the shown state",
            QVariantList{QString(), false, 0u, int(QMetaType::QIcon), true, false, true, true,
                         "tip"},
            [] {
                QWidget owner;
                CTrayIcon icon(ETrayForm::Server);
                icon.SetTip(QStringLiteral("x"));
                icon.SetIcon(TestIcon());
                icon.Destroy();
                QVariantList seen = List(icon.Tip(), icon.Icon().isValid(), icon.Message());
                icon.Create(&owner, TestIcon(), QStringLiteral("tip"));
                icon.SetIcon(QPixmap(8, 8));
                const auto message = icon.Message();
                seen << icon.Icon().typeId() << (message != 0 && icon.ID() == message);
                icon.Destroy();
                seen << icon.IsShown() << (icon.SystemIcon() == nullptr)
                     << (icon.Message() == message);
                icon.Destroy();
                icon.SetTip(QStringLiteral("ignored"));
                return seen << icon.Tip();
            });
        // The close button goes, the user's close is refused, the program's is done.
        Row("RemoveCloseMenu", QVariantList{false, true, true}, [] {
            QWidget window;
            new QWidget(&window);
            window.show();
            RemoveCloseMenu(&window);
            RemoveCloseMenu(&window); // a second call changes nothing
            QCloseEvent userClose;
            QSpontaneKeyEvent::setSpontaneous(&userClose); // as the window manager sends it
            QCoreApplication::sendEvent(&window, &userClose);
            return QVariantList{window.windowFlags().testFlag(Qt::WindowCloseButtonHint),
                                window.isVisible()}
                   << window.close();
        });
    }
    void edgeCases()
    {
        QFETCH(Call, call);
        QFETCH(QVariant, expected);
        const QVariant actual = call();
        QVERIFY2(actual == expected, qPrintable(QDebug::toString(actual) + "\n   expected "
                                                + QDebug::toString(expected)));
    }

private:
    QTemporaryDir m_dir;
    QProcess m_bus;
    QString m_busAddress;
};

QTEST_MAIN(tst_Utilities)
#include "tst_Utilities.moc"
