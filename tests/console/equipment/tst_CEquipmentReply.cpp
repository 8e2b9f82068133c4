#include "console/equipment/CEquipmentReply.h"

#include <QtTest>

Q_DECLARE_METATYPE(EProbeVerdict)
Q_DECLARE_METATYPE(EStatusLine)

namespace {

QByteArray Ok(const QByteArray& body)
{
    return "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: "
           + QByteArray::number(body.size()) + "\r\n\r\n" + body;
}

// The verdict after each piece; the first one that is not Waiting must be
// the final one: a reply examined too early must not decide wrongly.
SProbeVerdict FeedInPieces(const QByteArray& reply, const QList<qsizetype>& cuts,
                           QString* premature)
{
    CEquipmentReply gathered;
    qsizetype from = 0;
    SProbeVerdict first;
    for (const qsizetype cut : cuts) {
        gathered.Append(reply.mid(from, cut - from));
        from = cut;
        const SProbeVerdict now = gathered.Examine();
        if (first.verdict == EProbeVerdict::Waiting)
            first = now;
    }
    gathered.Append(reply.mid(from));
    const SProbeVerdict last = gathered.Examine();
    if (first.verdict != EProbeVerdict::Waiting
        && (first.verdict != last.verdict || first.version != last.version))
        *premature = QStringLiteral("decided %1 '%2' before the whole reply")
                         .arg(static_cast<int>(first.verdict))
                         .arg(first.version);
    return last;
}

} // namespace

class tst_CEquipmentReply final : public QObject {
    Q_OBJECT

private slots:
    // Each reply whole, in two pieces cut at every place, and byte by byte.
    void examine_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<EProbeVerdict>("verdict");
        QTest::addColumn<QString>("version");
        using V = EProbeVerdict;
        QTest::newRow("404 in the status line")
            << QByteArray("HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\n\r\nNot Found")
            << V::NoService << "";
        QTest::newRow("404 in a header only")
            << QByteArray("HTTP/1.1 200 OK\r\nX-Note: was 404 before\r\n\r\n"
                          R"({"1.2.1.1.2.0":"7.20"})")
            << V::NewerInterface << "7.20";
        QTest::newRow("no status line end yet")
            << QByteArray("HTTP/1.1 404 Not") << V::Waiting << "";
        // Bodies of a 200 reply.
        const struct {
            const char* name;
            const char* body;
            V verdict;
            const char* version;
        } rows[] = {
            {"404 in the body only", R"({"error":" 404 ","1.2.1.1.2.0":"4.0.19"})",
             V::NewerInterface, "4.0.19"},
            {"a version holding 404 between blanks", R"({"1.2.1.1.2.0":"3.0 404 "})", V::BadVersion,
             "3.0 404 "},
            {"last part 3 is below 19", R"({"1.2.1.1.2.0":"20.1.3"})", V::OlderInterface, "20.1.3"},
            {"last part 0 is below 19", R"({"1.2.1.1.2.0":"19.0"})", V::OlderInterface, "19.0"},
            {"last part no number", R"({"1.2.1.1.2.0":"18.x"})", V::BadVersion, "18.x"},
            {"last part 18", R"({"1.2.1.1.2.0":"2.0.18"})", V::OlderInterface, "2.0.18"},
            {"last part 19", R"({"1.2.1.1.2.0":"2.0.19"})", V::NewerInterface, "2.0.19"},
            {"one part only", R"({"1.2.1.1.2.0":"21"})", V::NewerInterface, "21"},
            {"value directly before the brace: 20.1.19 not 20.1.1", R"({"1.2.1.1.2.0":"20.1.19"})",
             V::NewerInterface, "20.1.19"},
            {"value followed by a line feed", "{\"1.2.1.1.2.0\":\"20.1.19\"\n}", V::NewerInterface,
             "20.1.19"},
            {"value followed by more members", R"({"1.2.1.1.2.0":"20.1.19","1.2.1.1.3.0":"x"})",
             V::NewerInterface, "20.1.19"},
            {"blanks around the colon", "{ \"1.2.1.1.2.0\" :\t\"20.1.19\" }", V::NewerInterface,
             "20.1.19"},
            {"the identifier as a value is passed over",
             R"({"asked":["1.2.1.1.2.0"],"1.2.1.1.2.0":"2.18"})", V::OlderInterface, "2.18"},
            {"empty last part", R"({"1.2.1.1.2.0":"20.1."})", V::BadVersion, "20.1."},
            {"a value that is no string", R"({"1.2.1.1.2.0":20})", V::BadVersion, "20"},
            {"a last part too big for a number", R"({"1.2.1.1.2.0":"1.99999999999999999999"})",
             V::BadVersion, "1.99999999999999999999"},
            {"no key: still waiting", R"({"1.2.1.1.3.0":"20.1.19"})", V::Waiting, ""}};
        for (const auto& row : rows)
            QTest::newRow(row.name) << Ok(row.body) << row.verdict << QString(row.version);
    }

    void examine()
    {
        QFETCH(QByteArray, reply);
        QFETCH(EProbeVerdict, verdict);
        QFETCH(QString, version);

        QList<QList<qsizetype>> cutLists{{}};
        QList<qsizetype> everyByte;
        for (qsizetype cut = 1; cut < reply.size(); ++cut) {
            cutLists.append(QList<qsizetype>{cut});
            everyByte.append(cut);
        }
        cutLists.append(everyByte);
        for (const QList<qsizetype>& cuts : cutLists) {
            QString premature;
            const SProbeVerdict result = FeedInPieces(reply, cuts, &premature);
            QVERIFY2(premature.isEmpty(), qPrintable(premature));
            QCOMPARE(result.verdict, verdict);
            QCOMPARE(result.version, version);
        }
    }

    void statusLine_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<EStatusLine>("state");
        const struct {
            const char* reply;
            EStatusLine state;
        } rows[] = {{"", EStatusLine::Incomplete},
                    {"HTTP/1.1 404", EStatusLine::Incomplete},
                    {"HTTP/1.1 404 Not Found\r\n", EStatusLine::NotFound},
                    {"HTTP/1.0 404\r\n", EStatusLine::NotFound},
                    {"HTTP/1.1 200 OK\r\n", EStatusLine::Answered},
                    {"HTTP/1.1 401 Unauthorized\r\n\r\ncode 404 here", EStatusLine::Answered},
                    {"HTTP/1.1 4040 Odd\r\n", EStatusLine::Answered},
                    {"garbage 404 garbage\n", EStatusLine::Answered}};
        for (const auto& row : rows)
            QTest::addRow("'%s'", QByteArray(row.reply).replace("\r\n", "|").constData())
                << QByteArray(row.reply) << row.state;
    }
    void statusLine()
    {
        QFETCH(QByteArray, reply);
        QFETCH(EStatusLine, state);
        CEquipmentReply gathered;
        gathered.Append(reply);
        QCOMPARE(gathered.StatusLine(), state);
    }

    void outgrownReplyEnds()
    {
        CEquipmentReply endlessLine;
        endlessLine.Append(QByteArray(CEquipmentReply::kMaxReplySize + 10, 'x'));
        QCOMPARE(endlessLine.StatusLine(), EStatusLine::TooLong);
        QCOMPARE(endlessLine.Examine().verdict, EProbeVerdict::TooLong);
        QCOMPARE(endlessLine.Text().size(), CEquipmentReply::kMaxReplySize);

        CEquipmentReply endlessBody;
        endlessBody.Append("HTTP/1.1 200 OK\r\n\r\n");
        for (int i = 0; i < 100; ++i)
            endlessBody.Append(QByteArray(1024, ' '));
        QCOMPARE(endlessBody.StatusLine(), EStatusLine::Answered);
        QCOMPARE(endlessBody.Examine().verdict, EProbeVerdict::TooLong);
    }
};

QTEST_GUILESS_MAIN(tst_CEquipmentReply)
#include "tst_CEquipmentReply.moc"
