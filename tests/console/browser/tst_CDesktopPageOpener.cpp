#include "console/browser/CDesktopPageOpener.h"

#include <QDesktopServices>
#include <QGuiApplication>
#include <QtTest>

// Stands in for the desktop's handler of "http" URLs: records what it gets.
class CUrlRecorder final : public QObject {
    Q_OBJECT

public:
    QList<QUrl> opened;

public slots:
    void Open(const QUrl& url) { opened.append(url); }
};

class tst_CDesktopPageOpener final : public QObject {
    Q_OBJECT

private slots:
    void init() { QDesktopServices::setUrlHandler(QStringLiteral("http"), &m_recorder, "Open"); }
    void cleanup() { QDesktopServices::unsetUrlHandler(QStringLiteral("http")); }

    void opensThroughTheDesktopHandler_data()
    {
        QTest::addColumn<QUrl>("url");
        QTest::newRow("home page") << QUrl(QStringLiteral("http://127.0.0.2/home.html"));
        QTest::newRow("bridge page, encoded user")
            << QUrl(QStringLiteral("http://127.0.0.2/orvaneBridge.asp?user=A%26B"));
    }

    void opensThroughTheDesktopHandler()
    {
        QFETCH(QUrl, url);
        m_recorder.opened.clear();
        CDesktopPageOpener::OpenEquipmentPage(url);
        QCOMPARE(m_recorder.opened, QList<QUrl>{url});
        QCOMPARE(m_recorder.opened.first().toString(QUrl::FullyEncoded),
                 url.toString(QUrl::FullyEncoded));
    }

private:
    CUrlRecorder m_recorder;
};

QTEST_MAIN(tst_CDesktopPageOpener)
#include "tst_CDesktopPageOpener.moc"
