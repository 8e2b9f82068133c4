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
        using Bytes = QList<QByteArray>;
        const auto row = [](const char* name, const Bytes& arrivals, const Bytes& lines) {
            QTest::newRow(name) << arrivals << lines;
        };
        row("LF alone ends a line", {"CWD sub\n"}, {"CWD sub"});
        row("line split over arrivals", {"RE", "TR fi", "le\r", "\n"}, {"RETR file"});
        row("incomplete line waits", {"PWD\r\nCWD"}, {"PWD"});
        row("empty line", {"\r\n"}, {""});
        row("CR inside a line stays", {"STOR a\rb\r\n"}, {"STOR a\rb"});
        row("line at the limit", {longLine + "\r\n"}, {longLine});
        row("line over the limit, then a good one", {longLine + "y\r\nPWD\r\n"}, {kTooLong, "PWD"});
        row("over the limit over many arrivals", {longLine, longLine, "tail\r\n", "PWD\n"},
            {kTooLong, "PWD"});
        row("interrupt and synch before ABOR", {ip + iac + "\xF2" + "ABOR\r\n"}, {"ABOR"});
        row("interrupt before ABOR, Data Mark sent as urgent", {ip + iac + "ABOR\r\n"}, {"ABOR"});
        row("interrupt-only line is an abort", {ip + "\r\n"}, {"ABOR"});
        row("interrupt split over arrivals", {iac, "\xF4", iac, "ABOR\r\n"}, {"ABOR"});
        row("escaped 255 is data", {"STOR a" + iac + iac + "b\r\n"}, {"STOR a" + iac + "b"});
        row("option negotiation removed", {iac + "\xFB\x01PWD\r\n"}, {"PWD"});
        row("no-operation command is not an abort", {iac + "\xF1\r\n"}, {""});
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
        const auto row = [](const char* line, const char* verb, const char* argument) {
            QTest::newRow(line) << QByteArray(line) << QByteArray(verb) << QByteArray(argument);
        };
        row("PWD", "PWD", "");
        row("STOR my file  ", "STOR", "my file  ");
        row("PASS ", "PASS", "");
        row("user x", "user", "x");
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
