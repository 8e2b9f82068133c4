#include "console/equipment/CEquipmentReply.h"
#include "console/equipment/CEquipmentRequest.h"
#include "console/equipment/MEquipmentUrls.h"

#include <QtTest>

Q_DECLARE_METATYPE(EStatusLine)
Q_DECLARE_METATYPE(EProbeVerdict)

// What the console sends an equipment and reads in its reply: bytes, no socket.
class tst_EquipmentProtocol final : public QObject {
    Q_OBJECT

private slots:
    // A login body is the escaped JSON array of the two texts, its length in
    // bytes. A page's address leaves port 80 out and percent-encodes the user.
    void requests_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("expected");
        const auto post = [](const char* path, const char* extra, const QByteArray& body) {
            return "POST http://10.1.2.3/Snmp." + QByteArray(path)
                   + " HTTP/1.1\r\nAccept: */*\r\nx-requested-with: XMLHttpRequest\r\n"
                     "Content-Type: application/json\r\n"
                   + extra + "Host: 10.1.2.3\r\nContent-Length: " + QByteArray::number(body.size())
                   + "\r\nConnection: Keep -Alive\r\nPragma: no -cache\r\n\r\n" + body;
        };
        QTest::newRow("probe") << CEquipmentRequest::Probe("10.1.2.3")
                               << post("Get", "", R"(["1.2.1.1.2.0"])");
        const char* const logins[][4] = {
            {"defaults", "SYSTEM", "KORVELAN", R"(["SYSTEM","KORVELAN"])"},
            {"a quote cannot end the string", "X\",\"Y", "C\\D", "[\"X\\\",\\\"Y\",\"C\\\\D\"]"},
            {"control characters as \\u00XX", "A\nB", "\t", "[\"A\\u000aB\",\"\\u0009\"]"},
            {"length in bytes", "\xc3\x84RGER", "X", "[\"\xc3\x84RGER\",\"X\"]"}};
        for (const auto& [name, user, password, body] : logins)
            QTest::addRow("login: %s", name)
                << CEquipmentRequest::Login("10.1.2.3", QString::fromUtf8(user),
                                            QString::fromUtf8(password))
                << post("Login", "Accept-Encoding: gzip, deflate\r\n", body);
        using namespace MEquipmentUrls;
        const auto page = [](const char* name, const QUrl& url, const char* expected) {
            QTest::newRow(name) << url.toString(QUrl::FullyEncoded).toUtf8()
                                << QByteArray(expected);
        };
        page("root page", RootPage("10.0.0.5"), "http://10.0.0.5");
        page("home page", HomePage("10.0.0.5"), "http://10.0.0.5/home.html");
        page("bridge, reserved characters", BridgePage("10.0.0.5", "A&B C#D/E+F=G\"H"),
             "http://10.0.0.5/orvaneBridge.asp?user=A%26B%20C%23D%2FE%2BF%3DG%22H");
        page("bridge, beyond ASCII", BridgePage("127.0.0.3", "\u00c4RGER", 81),
             "http://127.0.0.3:81/orvaneBridge.asp?user=%C3%84RGER");
    }
    void requests()
    {
        QFETCH(QByteArray, request);
        QTEST(request, "expected");
    }
    // Only the status line's code decides 404; else the quoted value of the
    // key "1.2.1.1.2.0", its last part compared with 19.
    void reply_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<EStatusLine>("line");
        QTest::addColumn<EProbeVerdict>("verdict");
        QTest::addColumn<QString>("version");
        const QByteArray ok = "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\n\r\n";
        const auto A = EStatusLine::Answered, I = EStatusLine::Incomplete,
                   N = EStatusLine::NotFound;
        const auto New = EProbeVerdict::NewerInterface, Old = EProbeVerdict::OlderInterface,
                   Bad = EProbeVerdict::BadVersion, Wait = EProbeVerdict::Waiting,
                   No = EProbeVerdict::NoService;
        const auto row = [](const char* name, const QByteArray& reply, EStatusLine line,
                            EProbeVerdict verdict, const char* version) {
            QTest::newRow(name) << reply << line << verdict << QString(version);
        };
        const auto oid = [&](const char* name, const char* value, EProbeVerdict verdict,
                             const char* version) {
            row(name, ok + "{\"1.2.1.1.2.0\":" + value + '}', A, verdict, version);
        };
        row("nothing yet", "", I, Wait, "");
        row("status line not ended", "HTTP/1.1 404 Not", I, Wait, "");
        row("404 in the status line", "HTTP/1.1 404 Not Found\r\n\r\n", N, No, "");
        row("404 without a reason", "HTTP/1.0 404\r\n", N, No, "");
        row("404 after the status line", "HTTP/1.1 401 No\r\n\r\ncode 404 here", A, Wait, "");
        row("code 4040", "HTTP/1.1 4040 Odd\r\n", A, Wait, "");
        row("404 in the body", ok + R"({"e":" 404 ","1.2.1.1.2.0":"4.0.19"})", A, New, "4.0.19");
        oid("404 in the version", R"("3.0 404 ")", Bad, "3.0 404 ");
        oid("last part 18", R"("2.0.18")", Old, "2.0.18");
        oid("last part 19", R"("2.0.19")", New, "2.0.19");
        oid("one part only", R"("21")", New, "21");
        oid("last part no number", R"("18.x")", Bad, "18.x");
        oid("empty last part", R"("20.1.")", Bad, "20.1.");
        oid("a last part too big", R"("1.99999999999999999999")", Bad, "1.99999999999999999999");
        oid("a value that is no string", "20", Bad, "20");
        oid("value, line feed", "\"20.1.19\"\n", New, "20.1.19");
        oid("value, more members", R"("20.1.19","1.2.1.1.3.0":"x")", New, "20.1.19");
        row("blanks around the colon", ok + "{ \"1.2.1.1.2.0\" :\t\"20.1.19\" }", A, New,
            "20.1.19");
        row("the identifier as a value", ok + R"({"a":["1.2.1.1.2.0"],"1.2.1.1.2.0":"2.18"})", A,
            Old, "2.18");
        row("no key: still waiting", ok + R"({"1.2.1.1.3.0":"20.1.19"})", A, Wait, "");
        row("endless status line", QByteArray(CEquipmentReply::kMaxReplySize + 10, 'x'),
            EStatusLine::TooLong, EProbeVerdict::TooLong, "");
        row("endless body", ok + QByteArray(100 * 1024, ' '), A, EProbeVerdict::TooLong, "");
    }
    // The reply whole, then byte by byte (a long one in 1 KiB pieces): a
    // verdict given on any part must be the final one.
    void reply()
    {
        QFETCH(QByteArray, reply);
        for (const qsizetype step :
             {qsizetype(1) << 30, qsizetype(reply.size() > 1024 ? 1024 : 1)}) {
            CEquipmentReply gathered;
            QList<SProbeVerdict> early;
            for (qsizetype from = 0; from < reply.size(); from += step) {
                gathered.Append(reply.mid(from, step));
                early.append(gathered.Examine());
            }
            const SProbeVerdict last = gathered.Examine();
            for (const SProbeVerdict& verdict : early)
                QVERIFY(verdict.verdict == EProbeVerdict::Waiting
                        || (verdict.verdict == last.verdict && verdict.version == last.version));
            QTEST(last.verdict, "verdict");
            QTEST(last.version, "version");
            QTEST(gathered.StatusLine(), "line");
            QCOMPARE(gathered.Text().size(), qMin(reply.size(), CEquipmentReply::kMaxReplySize));
        }
    }
};

QTEST_GUILESS_MAIN(tst_EquipmentProtocol)
#include "tst_EquipmentProtocol.moc"
