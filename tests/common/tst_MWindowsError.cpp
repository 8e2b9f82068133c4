#include "common/CRaisedError.h"
#include "common/MWindowsError.h"

#include <QtTest>

class tst_MWindowsError final : public QObject {
    Q_OBJECT

private slots:
    void raisesNumberSourceAndText_data()
    {
        QTest::addColumn<quint32>("code");
        QTest::addColumn<QString>("text");
        QTest::newRow("invalid handle") << 6u << "The handle is invalid.";
        QTest::newRow("invalid data") << 13u << "The data is invalid.";
        QTest::newRow("access denied") << 5u << "Access is denied.";
    }
    void raisesNumberSourceAndText()
    {
        QFETCH(quint32, code);
        QFETCH(QString, text);
        try {
            RaiseWindowsError(code);
            QFAIL("nothing raised");
        } catch (const CRaisedError& error) {
            QCOMPARE(error.Number(), 0x80047148u + code);
            QVERIFY(error.Source().endsWith(QLatin1String(".Windows")));
            QCOMPARE(error.Description(), text);
        }
    }

    void unknownCodeFallsBackToSystemText()
    {
        // errno 28 has a C library text but is not in the table.
        QCOMPARE(WindowsErrorText(28), QString::fromLocal8Bit(std::strerror(28)));
        QVERIFY(WindowsErrorText(999999).isEmpty());
    }

    void raiseIfZeroDoesNothing()
    {
        RaiseWindowsErrorIf(0);
        QVERIFY_THROWS_EXCEPTION(CRaisedError, RaiseWindowsErrorIf(6));
    }

    void libraryErrors_data()
    {
        QTest::addColumn<quint32>("number");
        QTest::addColumn<quint32>("raised");
        QTest::addColumn<QString>("suffix");
        QTest::newRow("runtime") << 5u << 5u << ".Runtime";
        QTest::newRow("utility") << 13001u << (13001u | 0x80040000u) << ".Utility";
    }
    void libraryErrors()
    {
        QFETCH(quint32, number);
        QFETCH(quint32, raised);
        QFETCH(QString, suffix);
        try {
            RaiseLibraryError(number, QStringLiteral(".Utility"), QStringLiteral("bad"));
            QFAIL("nothing raised");
        } catch (const CRaisedError& error) {
            QCOMPARE(error.Number(), raised);
            QVERIFY(error.Source().endsWith(suffix));
        }
    }
};

QTEST_GUILESS_MAIN(tst_MWindowsError)
#include "tst_MWindowsError.moc"
