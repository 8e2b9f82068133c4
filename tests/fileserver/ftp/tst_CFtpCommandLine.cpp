#include "fileserver/ftp/CFtpCommandLine.h"

#include <QtTest>

namespace {

const QByteArray kTooLong = "<too long>";

} // namespace

class tst_CFtpCommandLine final : public QObject {
    Q_OBJECT

private slots:
    void framing_data()
    {
        QTest::addColumn<QList<QByteArray>>("arrivals");
        QTest::addColumn<QList<QByteArray>>("lines");
        const QByteArray iac = "\xFF";
        const QByteArray ip = "\xFF\xF4";
        const QByteArray longLine(CFtpCommandLine::kMaxLineLength, 'x');

        QTest::newRow("one line") << QList<QByteArray>{"PWD\r\n"} << QList<QByteArray>{"PWD"};
        QTest::newRow("LF alone ends a line")
            << QList<QByteArray>{"CWD sub\n"} << QList<QByteArray>{"CWD sub"};
        QTest::newRow("pipelined lines in one arrival")
            << QList<QByteArray>{"USER a\r\nPASS b\r\nPWD\r\n"}
            << QList<QByteArray>{"USER a", "PASS b", "PWD"};
        QTest::newRow("line split over arrivals")
            << QList<QByteArray>{"RE", "TR fi", "le\r", "\n"} << QList<QByteArray>{"RETR file"};
        QTest::newRow("incomplete line waits")
            << QList<QByteArray>{"PWD\r\nCWD"} << QList<QByteArray>{"PWD"};
        QTest::newRow("empty line") << QList<QByteArray>{"\r\n"} << QList<QByteArray>{""};
        QTest::newRow("CR inside a line stays")
            << QList<QByteArray>{"STOR a\rb\r\n"} << QList<QByteArray>{"STOR a\rb"};
        QTest::newRow("line at the limit")
            << QList<QByteArray>{longLine + "\r\n"} << QList<QByteArray>{longLine};
        QTest::newRow("line over the limit, then a good one")
            << QList<QByteArray>{longLine + "y\r\nPWD\r\n"} << QList<QByteArray>{kTooLong, "PWD"};
        QTest::newRow("over the limit over many arrivals")
            << QList<QByteArray>{longLine, longLine, "tail\r\n", "PWD\n"}
            << QList<QByteArray>{kTooLong, "PWD"};
        QTest::newRow("interrupt and synch before ABOR")
            << QList<QByteArray>{ip + iac + "\xF2" + "ABOR\r\n"} << QList<QByteArray>{"ABOR"};
        QTest::newRow("interrupt before ABOR, Data Mark sent as urgent")
            << QList<QByteArray>{ip + iac + "ABOR\r\n"} << QList<QByteArray>{"ABOR"};
        QTest::newRow("interrupt-only line is an abort")
            << QList<QByteArray>{ip + "\r\n"} << QList<QByteArray>{"ABOR"};
        QTest::newRow("interrupt split over arrivals")
            << QList<QByteArray>{iac, "\xF4", iac, "ABOR\r\n"} << QList<QByteArray>{"ABOR"};
        QTest::newRow("escaped 255 is data") << QList<QByteArray>{"STOR a" + iac + iac + "b\r\n"}
                                             << QList<QByteArray>{"STOR a" + iac + "b"};
        QTest::newRow("option negotiation removed")
            << QList<QByteArray>{iac + "\xFB\x01PWD\r\n"} << QList<QByteArray>{"PWD"};
        QTest::newRow("no-operation command is not an abort")
            << QList<QByteArray>{iac + "\xF1\r\n"} << QList<QByteArray>{""};
    }
    void framing()
    {
        QFETCH(QList<QByteArray>, arrivals);
        QFETCH(QList<QByteArray>, lines);
        CFtpCommandLine assembler;
        QList<QByteArray> got;
        for (const QByteArray& arrival : arrivals) {
            for (const CFtpCommandLine::SLine& line : assembler.Feed(arrival))
                got << (line.tooLong ? kTooLong : line.text);
        }
        QCOMPARE(got, lines);
    }

    void split_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QByteArray>("verb");
        QTest::addColumn<QByteArray>("argument");
        QTest::newRow("no argument") << QByteArray("PWD") << QByteArray("PWD") << QByteArray();
        QTest::newRow("argument") << QByteArray("CWD sub") << QByteArray("CWD")
                                  << QByteArray("sub");
        QTest::newRow("spaces inside stay")
            << QByteArray("STOR my file  ") << QByteArray("STOR") << QByteArray("my file  ");
        QTest::newRow("trailing space, empty argument")
            << QByteArray("PASS ") << QByteArray("PASS") << QByteArray();
        QTest::newRow("lower case kept")
            << QByteArray("user x") << QByteArray("user") << QByteArray("x");
    }
    void split()
    {
        QFETCH(QByteArray, line);
        QFETCH(QByteArray, verb);
        QFETCH(QByteArray, argument);
        const CFtpCommandLine::SCommand command = CFtpCommandLine::Split(line);
        QCOMPARE(command.verb, verb);
        QCOMPARE(command.argument, argument);
    }
};

QTEST_APPLESS_MAIN(tst_CFtpCommandLine)
#include "tst_CFtpCommandLine.moc"
