#include "console/equipment/CEquipmentReply.h"
#include "console/equipment/CEquipmentRequest.h"
#include "console/equipment/MEquipmentUrls.h"

#include <QtTest>

Q_DECLARE_METATYPE(EReplyState)
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
    // An HTTP/1.x reply however it is framed; only the status line's code
    // decides 404; else, once the body is complete, the quoted value of the
    // key "1.2.1.1.2.0", its last part's leading digits compared with 19.
    void reply_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<bool>("closes"); // the peer closes after the bytes
        QTest::addColumn<EReplyState>("state");
        QTest::addColumn<int>("code");
        QTest::addColumn<EProbeVerdict>("verdict");
        QTest::addColumn<QString>("version");
        const auto C = EReplyState::Complete, I = EReplyState::Incomplete,
                   M = EReplyState::Malformed, T = EReplyState::TooLong;
        const auto New = EProbeVerdict::NewerInterface, Old = EProbeVerdict::OlderInterface,
                   Bad = EProbeVerdict::BadVersion, Wait = EProbeVerdict::Waiting,
                   No = EProbeVerdict::NoService, None = EProbeVerdict::NoVersion;
        const auto row = [](const char* name, const QByteArray& reply, bool closes,
                            EReplyState state, int code, EProbeVerdict verdict,
                            const char* version) {
            QTest::newRow(name) << reply << closes << state << code << verdict << QString(version);
        };
        const auto sized = [](const QByteArray& body) {
            return "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: "
                   + QByteArray::number(body.size()) + "\r\n\r\n" + body;
        };
        const auto oid = [&](const char* name, const char* value, EProbeVerdict verdict,
                             const char* version) {
            row(name, sized(QByteArray("{\"1.2.1.1.2.0\":") + value + '}'), false, C, 200, verdict,
                version);
        };
        const QByteArray json = R"({"1.2.1.1.2.0":"20.1.19"})";
        const QByteArray chunkedHead = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
        row("nothing yet", "", false, I, 0, Wait, "");
        row("status line not ended", "HTTP/1.1 404 Not", false, I, 0, Wait, "");
        row("404 before its body", "HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\n", false, I, 404,
            No, "");
        row("404 without a reason", "HTTP/1.0 404\r\n\r\n", true, C, 404, No, "");
        row("404 after the status line", "HTTP/1.1 401 No\r\n\r\ncode 404 here", true, C, 401, None,
            "");
        row("code 4040", "HTTP/1.1 4040 Odd\r\n", false, M, 0, None, "");
        row("no HTTP reply", "SSH-2.0-x\r\n", false, M, 0, None, "");
        row("length, a kept connection's next reply ignored", sized(json) + "HTTP/1.1 404 X\r\n",
            false, C, 200, New, "20.1.19");
        row("length not yet reached", sized(json).chopped(1), false, I, 200, Wait, "");
        row("length cut short by the close", sized(json).chopped(1), true, M, 200, None, "");
        row("two lengths that differ",
            "HTTP/1.1 200 OK\r\nContent-Length: 3\r\nContent-Length: 4\r\n\r\nabcd", false, M, 200,
            None, "");
        row("HTTP/1.0 read to the close", "HTTP/1.0 200 OK\r\n\r\n" + json, true, C, 200, New,
            "20.1.19");
        row("HTTP/1.0 still open", "HTTP/1.0 200 OK\r\n\r\n" + json, false, I, 200, Wait, "");
        row("chunked in 3 bytes, extensions, a trailer",
            chunkedHead
                + "3;a=b\r\n{\"1\r\n3 ; x\r\n.2.\r\n14\r\n1.1.2.0\":\"4.0.19a\"}\r\n"
                  "0;end\r\nX-Check: 1\r\n\r\n",
            false, C, 200, New, "4.0.19a");
        row("chunked, LF only, a coding before it",
            "HTTP/1.1 200 OK\ntransfer-encoding: gzip, Chunked\n\n18\n" + json.left(22)
                + "\"}\n0\n\n",
            false, C, 200, Old, "20.1.1");
        row("chunked, trailer not yet ended", chunkedHead + "5\r\nabcde\r\n0\r\nX: 1\r\n", false, I,
            200, Wait, "");
        row("chunk longer than its size line", chunkedHead + "2\r\nabc\r\n0\r\n\r\n", false, M, 200,
            None, "");
        row("chunk shorter than its size line, closed", chunkedHead + "9\r\nabc\r\n0\r\n\r\n", true,
            M, 200, None, "");
        row("chunk size overflows", chunkedHead + "fffffffffffffffffff1\r\nabc\r\n", false, M, 200,
            None, "");
        row("chunk size no number", chunkedHead + "-1\r\nabc\r\n", false, M, 200, None, "");
        row("interim reply first",
            "HTTP/1.1 100 Continue\r\n\r\n" + sized(R"({"1.2.1.1.2.0":"2.18"})"), false, C, 200,
            Old, "2.18");
        row("complete, no key", sized(R"({"1.2.1.1.3.0":"20.1.19"})"), false, C, 200, None, "");
        row("404 in the body", sized(R"({"e":" 404 ","1.2.1.1.2.0":"4.0.19"})"), false, C, 200, New,
            "4.0.19");
        oid("last part 18", R"("2.0.18")", Old, "2.0.18");
        oid("last part 19", R"("2.0.19")", New, "2.0.19");
        oid("one part only", R"("21")", New, "21");
        oid("leading digits decide", R"("4.0.19a")", New, "4.0.19a");
        oid("blanks around", R"(" 4.0.18 ")", Old, " 4.0.18 ");
        oid("markup kept as text", R"("4.0.<b>19</b>")", Bad, "4.0.<b>19</b>");
        oid("empty last part", R"("20.1.")", Bad, "20.1.");
        oid("a last part too big", R"("1.99999999999999999999")", Bad, "1.99999999999999999999");
        oid("a value that is no string", "20", Bad, "20");
        oid("value, line feed", "\"20.1.19\"\n", New, "20.1.19");
        oid("value, more members", R"("20.1.19","1.2.1.1.3.0":"x")", New, "20.1.19");
        row("the identifier as a value", sized(R"({"a":["1.2.1.1.2.0"],"1.2.1.1.2.0":"2.18"})"),
            false, C, 200, Old, "2.18");
        row("header block over the cap",
            "HTTP/1.1 200 OK\r\nX: " + QByteArray(CEquipmentReply::kMaxReplySize, 'x'), false, T,
            200, EProbeVerdict::TooLong, "");
        row("endless chunked body", chunkedHead + QByteArray("1\r\n \r\n").repeated(20000), false,
            T, 200, EProbeVerdict::TooLong, "");
        row("endless body to the close", "HTTP/1.0 200 OK\r\n\r\n" + QByteArray(100 * 1024, ' '),
            false, T, 200, EProbeVerdict::TooLong, "");
    }
    // Fed in two pieces split at every point (a long reply at every 4093rd),
    // then byte by byte: the outcome is the same, and a verdict given on any
    // part is the final one.
    void reply()
    {
        QFETCH(QByteArray, reply);
        QFETCH(bool, closes);
        const qsizetype every = reply.size() > 2048 ? 4093 : 1;
        QList<QList<qsizetype>> feeds;
        for (qsizetype split = 0; split <= reply.size(); split += every)
            feeds.append({split, reply.size() - split});
        feeds.append(QList<qsizetype>(qMin<qsizetype>(reply.size(), 2048), 1)
                     << qMax<qsizetype>(reply.size() - 2048, 0));
        for (const QList<qsizetype>& pieces : feeds) {
            CEquipmentReply gathered;
            qsizetype from = 0;
            for (const qsizetype size : pieces) {
                gathered.Append(reply.mid(from, size));
                from += size;
                const SProbeVerdict early = gathered.Examine();
                if (early.verdict != EProbeVerdict::Waiting) {
                    QFETCH(EProbeVerdict, verdict);
                    QCOMPARE(early.verdict, verdict);
                }
            }
            if (closes)
                gathered.EndOfStream();
            const SProbeVerdict last = gathered.Examine();
            QTEST(last.verdict, "verdict");
            QTEST(last.version, "version");
            QTEST(gathered.State(), "state");
            QTEST(gathered.StatusCode(), "code");
            QVERIFY(gathered.Taken() <= CEquipmentReply::kMaxReplySize);
        }
    }
};

QTEST_GUILESS_MAIN(tst_EquipmentProtocol)
#include "tst_EquipmentProtocol.moc"
