#include "console/equipment/CEquipmentReply.h"
#include "console/equipment/CEquipmentRequest.h"
#include "console/equipment/MEquipmentUrls.h"

#include <QtTest>

Q_DECLARE_METATYPE(EStatusLine)
Q_DECLARE_METATYPE(EProbeVerdict)

// What the console sends an equipment, what it reads in the reply and the
// pages it opens then: bytes in and out, no socket.
class tst_EquipmentProtocol final : public QObject {
    Q_OBJECT

private slots:
    // Byte for byte; a login body is the JSON array of the two texts,
    // escaped, its length counted in bytes (21 for the defaults). A page's
    // address leaves port 80 out and percent-encodes the bridge page's user.
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
            {"quote and backslash escaped", "A\"B", "C\\D", "[\"A\\\"B\",\"C\\\\D\"]"},
            {"a quote cannot end the string", "X\",\"Y", "Z", "[\"X\\\",\\\"Y\",\"Z\"]"},
            {"control characters as \\u00XX", "A\nB", "\t", "[\"A\\u000aB\",\"\\u0009\"]"},
            {"length in bytes", "\xc3\x84RGER", "X", "[\"\xc3\x84RGER\",\"X\"]"}};
        for (const auto& [name, user, password, body] : logins)
            QTest::addRow("login: %s", name)
                << CEquipmentRequest::Login("10.1.2.3", QString::fromUtf8(user),
                                            QString::fromUtf8(password))
                << post("Login", "Accept-Encoding: gzip, deflate\r\n", body);
        using namespace MEquipmentUrls;
        const char* const bridge = "/orvaneBridge.asp?user=";
        const struct {
            const char* name;
            QUrl url;
            QByteArray expected;
        } pages[] = {{"root", RootPage("10.0.0.5"), "http://10.0.0.5"},
                     {"home", HomePage("10.0.0.5"), "http://10.0.0.5/home.html"},
                     {"other port", HomePage("127.0.0.2", 8080), "http://127.0.0.2:8080/home.html"},
                     {"bridge", BridgePage("10.0.0.5", "SYSTEM"),
                      "http://10.0.0.5" + QByteArray(bridge) + "SYSTEM"},
                     {"bridge, reserved characters", BridgePage("10.0.0.5", "A&B C#D/E+F=G\"H"),
                      "http://10.0.0.5" + QByteArray(bridge) + "A%26B%20C%23D%2FE%2BF%3DG%22H"},
                     {"bridge, beyond ASCII", BridgePage("127.0.0.3", "\u00c4RGER", 81),
                      "http://127.0.0.3:81" + QByteArray(bridge) + "%C3%84RGER"}};
        for (const auto& [name, url, expected] : pages)
            QTest::addRow("page: %s", name)
                << url.toString(QUrl::FullyEncoded).toUtf8() << expected;
    }
    void requests()
    {
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, expected);
        QCOMPARE(request, expected);
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
        const auto oid = [&ok](const char* value) {
            return ok + "{\"1.2.1.1.2.0\":" + value + '}';
        };
        const EStatusLine A = EStatusLine::Answered, I = EStatusLine::Incomplete;
        const EProbeVerdict New = EProbeVerdict::NewerInterface,
                            Old = EProbeVerdict::OlderInterface, Bad = EProbeVerdict::BadVersion,
                            Wait = EProbeVerdict::Waiting;
        const struct {
            const char* name;
            QByteArray reply;
            EStatusLine line;
            EProbeVerdict verdict;
            const char* version;
        } rows[] = {
            {"nothing yet", "", I, Wait, ""},
            {"status line not ended", "HTTP/1.1 404 Not", I, Wait, ""},
            {"404 in the status line", "HTTP/1.1 404 Not Found\r\n\r\n", EStatusLine::NotFound,
             EProbeVerdict::NoService, ""},
            {"404 without a reason", "HTTP/1.0 404\r\n", EStatusLine::NotFound,
             EProbeVerdict::NoService, ""},
            {"404 after the status line", "HTTP/1.1 401 No\r\n\r\ncode 404 here", A, Wait, ""},
            {"code 4040", "HTTP/1.1 4040 Odd\r\n", A, Wait, ""},
            {"404 in no status line", "garbage 404 garbage\n", A, Wait, ""},
            {"404 in a header", "HTTP/1.1 200 OK\r\nX: 404 \r\n\r\n{\"1.2.1.1.2.0\":\"7.20\"}", A,
             New, "7.20"},
            {"404 in the body", ok + R"({"e":" 404 ","1.2.1.1.2.0":"4.0.19"})", A, New, "4.0.19"},
            {"404 in the version", oid(R"("3.0 404 ")"), A, Bad, "3.0 404 "},
            {"last part 3 is below 19", oid(R"("20.1.3")"), A, Old, "20.1.3"},
            {"last part 18", oid(R"("2.0.18")"), A, Old, "2.0.18"},
            {"last part 19", oid(R"("2.0.19")"), A, New, "2.0.19"},
            {"one part only", oid(R"("21")"), A, New, "21"},
            {"last part no number", oid(R"("18.x")"), A, Bad, "18.x"},
            {"empty last part", oid(R"("20.1.")"), A, Bad, "20.1."},
            {"a last part too big", oid(R"("1.99999999999999999999")"), A, Bad,
             "1.99999999999999999999"},
            {"a value that is no string", oid("20"), A, Bad, "20"},
            {"value before the brace: 20.1.19 not 20.1.1", oid(R"("20.1.19")"), A, New, "20.1.19"},
            {"value, line feed", oid("\"20.1.19\"\n"), A, New, "20.1.19"},
            {"value, more members", oid(R"("20.1.19","1.2.1.1.3.0":"x")"), A, New, "20.1.19"},
            {"blanks around the colon", ok + "{ \"1.2.1.1.2.0\" :\t\"20.1.19\" }", A, New,
             "20.1.19"},
            {"the identifier as a value", ok + R"({"a":["1.2.1.1.2.0"],"1.2.1.1.2.0":"2.18"})", A,
             Old, "2.18"},
            {"no key: still waiting", ok + R"({"1.2.1.1.3.0":"20.1.19"})", A, Wait, ""},
            {"endless status line", QByteArray(CEquipmentReply::kMaxReplySize + 10, 'x'),
             EStatusLine::TooLong, EProbeVerdict::TooLong, ""},
            {"endless body", ok + QByteArray(100 * 1024, ' '), A, EProbeVerdict::TooLong, ""}};
        for (const auto& row : rows)
            QTest::newRow(row.name) << row.reply << row.line << row.verdict << QString(row.version);
    }
    // The reply whole, cut once at every place and byte by byte (a long one
    // in 1 KiB pieces): a verdict given early must be the final one.
    void reply()
    {
        QFETCH(QByteArray, reply);
        QFETCH(EStatusLine, line);
        QFETCH(EProbeVerdict, verdict);
        QFETCH(QString, version);
        const qsizetype step = reply.size() > 1024 ? 1024 : 1;
        QList<QList<qsizetype>> cutLists{{}, {}};
        for (qsizetype cut = step; cut < reply.size(); cut += step) {
            cutLists[1].append(cut);
            if (step == 1)
                cutLists.append(QList<qsizetype>{cut});
        }
        for (const QList<qsizetype>& cuts : cutLists) {
            CEquipmentReply gathered;
            SProbeVerdict first;
            qsizetype from = 0;
            for (const qsizetype cut : cuts) {
                gathered.Append(reply.mid(from, cut - from));
                from = cut;
                if (first.verdict == EProbeVerdict::Waiting)
                    first = gathered.Examine();
            }
            gathered.Append(reply.mid(from));
            const SProbeVerdict last = gathered.Examine();
            QVERIFY(first.verdict == EProbeVerdict::Waiting
                    || (first.verdict == last.verdict && first.version == last.version));
            QCOMPARE(last.verdict, verdict);
            QCOMPARE(last.version, version);
            QCOMPARE(gathered.StatusLine(), line);
            QCOMPARE(gathered.Text().size(), qMin(reply.size(), CEquipmentReply::kMaxReplySize));
        }
    }
};

QTEST_GUILESS_MAIN(tst_EquipmentProtocol)
#include "tst_EquipmentProtocol.moc"
