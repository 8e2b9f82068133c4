#include "common/ui/MWinForms.h"

#include <QWidget>
#include <QtTest/qtestspontaneevent.h>
#include <QtTest>

class tst_MWinForms final : public QObject {
    Q_OBJECT

private slots:
    void removeCloseMenuBlocksUserClose_data()
    {
        QTest::addColumn<int>("children");
        QTest::newRow("window without children") << 0;
        QTest::newRow("window with children") << 2;
    }

    void removeCloseMenuBlocksUserClose()
    {
        QFETCH(int, children);
        QWidget window;
        for (int i = 0; i < children; ++i)
            new QWidget(&window);
        window.show();
        RemoveCloseMenu(&window);
        RemoveCloseMenu(&window); // a second call changes nothing
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
