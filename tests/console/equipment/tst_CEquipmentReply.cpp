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
    void examine_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<EProbeVerdict>("verdict");
        QTest::addColumn<QString>("version");
        const QByteArray notFound = "HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\n\r\nNot Found";
        QTest::newRow("404 in the status line") << notFound << EProbeVerdict::NoService << "";
        QTest::newRow("404 in the body only") << Ok(R"({"error":" 404 ","1.2.1.1.2.0":"4.0.19"})")
                                              << EProbeVerdict::NewerInterface << "4.0.19";
        QTest::newRow("404 in a header only")
            << QByteArray("HTTP/1.1 200 OK\r\nX-Note: was 404 before\r\n\r\n"
                          R"({"1.2.1.1.2.0":"7.20"})")
            << EProbeVerdict::NewerInterface << "7.20";
        QTest::newRow("a version holding 404 between blanks")
            << Ok(R"({"1.2.1.1.2.0":"3.0 404 "})") << EProbeVerdict::BadVersion << "3.0 404 ";
        QTest::newRow("version 20.1.3: last part 3 is below 19")
            << Ok(R"({"1.2.1.1.2.0":"20.1.3"})") << EProbeVerdict::OlderInterface << "20.1.3";
        QTest::newRow("version 19.0: last part 0 is below 19")
            << Ok(R"({"1.2.1.1.2.0":"19.0"})") << EProbeVerdict::OlderInterface << "19.0";
        QTest::newRow("version 18.x: last part is no number")
            << Ok(R"({"1.2.1.1.2.0":"18.x"})") << EProbeVerdict::BadVersion << "18.x";
        QTest::newRow("version 18.5")
            << Ok(R"({"1.2.1.1.2.0":"18.5"})") << EProbeVerdict::OlderInterface << "18.5";
        QTest::newRow("last part 18")
            << Ok(R"({"1.2.1.1.2.0":"2.0.18"})") << EProbeVerdict::OlderInterface << "2.0.18";
        QTest::newRow("last part 19")
            << Ok(R"({"1.2.1.1.2.0":"2.0.19"})") << EProbeVerdict::NewerInterface << "2.0.19";
        QTest::newRow("one part only")
            << Ok(R"({"1.2.1.1.2.0":"21"})") << EProbeVerdict::NewerInterface << "21";
        QTest::newRow("value followed directly by the brace: 20.1.19 not 20.1.1")
            << Ok(R"({"1.2.1.1.2.0":"20.1.19"})") << EProbeVerdict::NewerInterface << "20.1.19";
        QTest::newRow("value followed by a line feed")
            << Ok("{\"1.2.1.1.2.0\":\"20.1.19\"\n}") << EProbeVerdict::NewerInterface << "20.1.19";
        QTest::newRow("value followed by more members")
            << Ok(R"({"1.2.1.1.2.0":"20.1.19","1.2.1.1.3.0":"x"})") << EProbeVerdict::NewerInterface
            << "20.1.19";
        QTest::newRow("blanks around the colon") << Ok("{ \"1.2.1.1.2.0\" :\t\"20.1.19\" }")
                                                 << EProbeVerdict::NewerInterface << "20.1.19";
        QTest::newRow("the identifier as a value is passed over")
            << Ok(R"({"asked":["1.2.1.1.2.0"],"1.2.1.1.2.0":"2.18"})")
            << EProbeVerdict::OlderInterface << "2.18";
        QTest::newRow("empty last part")
            << Ok(R"({"1.2.1.1.2.0":"20.1."})") << EProbeVerdict::BadVersion << "20.1.";
        QTest::newRow("a value that is no string")
            << Ok(R"({"1.2.1.1.2.0":20})") << EProbeVerdict::BadVersion << "20";
        QTest::newRow("a last part too big for a number")
            << Ok(R"({"1.2.1.1.2.0":"1.99999999999999999999"})") << EProbeVerdict::BadVersion
            << "1.99999999999999999999";
        QTest::newRow("no key: still waiting")
            << Ok(R"({"1.2.1.1.3.0":"20.1.19"})") << EProbeVerdict::Waiting << "";
        QTest::newRow("no status line end yet")
            << QByteArray("HTTP/1.1 404 Not") << EProbeVerdict::Waiting << "";
    }

    void examine()
    {
        QFETCH(QByteArray, reply);
        QFETCH(EProbeVerdict, verdict);
        QFETCH(QString, version);

        QString premature;
        // Whole.
        SProbeVerdict result = FeedInPieces(reply, {}, &premature);
        QCOMPARE(result.verdict, verdict);
        QCOMPARE(result.version, version);
        // In two pieces, cut at every place.
        for (qsizetype cut = 1; cut < reply.size(); ++cut) {
            result = FeedInPieces(reply, {cut}, &premature);
            QVERIFY2(premature.isEmpty(), qPrintable(premature));
            QCOMPARE(result.verdict, verdict);
            QCOMPARE(result.version, version);
        }
        // Byte by byte.
        QList<qsizetype> everyByte;
        for (qsizetype cut = 1; cut < reply.size(); ++cut)
            everyByte.append(cut);
        result = FeedInPieces(reply, everyByte, &premature);
        QVERIFY2(premature.isEmpty(), qPrintable(premature));
        QCOMPARE(result.verdict, verdict);
        QCOMPARE(result.version, version);
    }

    void statusLine_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<EStatusLine>("state");
        QTest::newRow("nothing yet") << QByteArray() << EStatusLine::Incomplete;
        QTest::newRow("line not ended") << QByteArray("HTTP/1.1 404") << EStatusLine::Incomplete;
        QTest::newRow("404") << QByteArray("HTTP/1.1 404 Not Found\r\n") << EStatusLine::NotFound;
        QTest::newRow("404 without reason")
            << QByteArray("HTTP/1.0 404\r\n") << EStatusLine::NotFound;
        QTest::newRow("200") << QByteArray("HTTP/1.1 200 OK\r\n") << EStatusLine::Answered;
        QTest::newRow("401, 404 later on")
            << QByteArray("HTTP/1.1 401 Unauthorized\r\n\r\ncode 404 here")
            << EStatusLine::Answered;
        QTest::newRow("4040 is not 404")
            << QByteArray("HTTP/1.1 4040 Odd\r\n") << EStatusLine::Answered;
        QTest::newRow("no HTTP status line")
            << QByteArray("garbage 404 garbage\n") << EStatusLine::Answered;
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
