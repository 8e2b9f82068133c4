#include "common/ui/MWinForms.h"

#include <QWidget>
#include <QtTest/qtestspontaneevent.h>
#include <QtTest>

class tst_MWinForms final : public QObject {
    Q_OBJECT

private slots:
    void removeCloseMenuBlocksUserClose_data()
    {
        QTest::addColumn<bool>("withChild");
        QTest::newRow("empty window") << false;
        QTest::newRow("window with a control") << true;
    }
    void removeCloseMenuBlocksUserClose()
    {
        QFETCH(bool, withChild);
        QWidget window;
        if (withChild)
            new QWidget(&window);
        window.show();
        RemoveCloseMenu(&window);
        QVERIFY(!(window.windowFlags() & Qt::WindowCloseButtonHint));
        QVERIFY(window.isVisible());

        QCloseEvent userClose;
        QSpontaneKeyEvent::setSpontaneous(&userClose); // as the window manager sends it
        QCoreApplication::sendEvent(&window, &userClose);
        QVERIFY(window.isVisible());

        QVERIFY(window.close()); // the program itself still can
        QVERIFY(!window.isVisible());
    }
};

QTEST_MAIN(tst_MWinForms)
#include "tst_MWinForms.moc"
