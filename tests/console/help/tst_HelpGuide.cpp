#include "console/help/Wicklow.h"
#include "tests/console/help/HttpTestClient.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QtTest>

namespace {

QString GuideFolder()
{
    return QStringLiteral(PELION_BUILT_WWWROOT) + QStringLiteral("/help");
}

QStringList Pages()
{
    return QDir(GuideFolder()).entryList({QStringLiteral("*.html")}, QDir::Files, QDir::Name);
}

QString Read(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

} // namespace

// The guide as the build puts it beside the executables.
class tst_HelpGuide final : public QObject {
    Q_OBJECT

private slots:
    void buildCopiesTheGuide()
    {
        for (const QString& page : QDir(QStringLiteral(PELION_SOURCE_WWWROOT) + "/help")
                                       .entryList({QStringLiteral("*.html")}, QDir::Files)) {
            QCOMPARE(Read(GuideFolder() + "/" + page),
                     Read(QStringLiteral(PELION_SOURCE_WWWROOT) + "/help/" + page));
        }
        QVERIFY(Pages().contains(QStringLiteral("index.html")));
    }

    void pages_data()
    {
        QTest::addColumn<QString>("page");
        for (const QString& page : Pages())
            QTest::newRow(qPrintable(page)) << page;
    }
    void pages()
    {
        QFETCH(QString, page);
        const QString html = Read(GuideFolder() + "/" + page);
        QVERIFY(html.startsWith(QStringLiteral("<!DOCTYPE html>")));
        QVERIFY(html.contains(QRegularExpression(QStringLiteral("<title>[^<]+</title>"))));
        QVERIFY(html.contains(QStringLiteral("<meta charset=\"utf-8\">")));
        // Every link inside the guide leads to one of its files.
        const QRegularExpression link(QStringLiteral("(?:href|src)=\"([^\"#:]+)(?:#[^\"]*)?\""));
        for (auto it = link.globalMatch(html); it.hasNext();) {
            const QString target = it.next().captured(1);
            QVERIFY2(QFile::exists(GuideFolder() + "/" + target), qPrintable(target));
        }
        // Every page can be reached from the contents.
        QVERIFY(Read(GuideFolder() + "/index.html")
                    .contains(QStringLiteral("href=\"") + page + QStringLiteral("\"")));
    }

    void topicsForFieldEngineers_data()
    {
        QTest::addColumn<QString>("page");
        QTest::addColumn<QString>("mention");
        QTest::newRow("address book") << "addressbook.html"
                                      << "Entry already exisiting";
        QTest::newRow("route test") << "equipment.html"
                                    << "Target equipment unreachable.";
        QTest::newRow("probe") << "equipment.html"
                               << "/Snmp.Get";
        QTest::newRow("rescue") << "rescue.html"
                                << "172.20.253.14";
        QTest::newRow("peer files") << "dialup.html"
                                    << "/etc/ppp/peers/TarnDirectPPP";
        QTest::newRow("file server ports") << "fileserver.html"
                                           << "UDP 69";
        QTest::newRow("capabilities") << "fileserver.html"
                                      << "cap_net_bind_service";
        QTest::newRow("help port") << "troubleshooting.html"
                                   << "port 8133";
    }
    void topicsForFieldEngineers()
    {
        QFETCH(QString, page);
        QFETCH(QString, mention);
        QVERIFY(Read(GuideFolder() + "/" + page).contains(mention));
    }

    void servedWithTheirTypes_data()
    {
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<QByteArray>("type");
        QTest::newRow("contents") << QByteArray("/help/") << QByteArray("text/html; charset=utf-8");
        QTest::newRow("style") << QByteArray("/help/guide.css")
                               << QByteArray("text/css; charset=utf-8");
    }
    void servedWithTheirTypes()
    {
        QFETCH(QByteArray, path);
        QFETCH(QByteArray, type);
        Wicklow server;
        QCOMPARE(server.StartListening(QStringLiteral(PELION_BUILT_WWWROOT), 0), Wicklow::kOk);
        const SHttpResponse response =
            RawHttpRequest(quint16(server.BaseUrl().port()), RequestLine("GET", path));
        QCOMPARE(response.status, 200);
        QCOMPARE(response.headers.value("content-type"), type);
        QVERIFY(!response.body.isEmpty());
    }
};

QTEST_GUILESS_MAIN(tst_HelpGuide)
#include "tst_HelpGuide.moc"
