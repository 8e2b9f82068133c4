#include "platform/sockets/CSendQueue.h"
#include "tests/kit/TestFiles.h"

#include <QTemporaryDir>
#include <QtTest>

#include <cstring>

namespace {

constexpr int kFileSize = 1000;
constexpr qint64 kReadPiece = 64; // per read call, as a system read may give less

// Files "a" and "b" and a queue reading them by descriptor from the test's copy of them.
struct SQueueOverFiles {
    QTemporaryDir folder;
    QMap<QString, std::shared_ptr<QFile>> files;
    QMap<int, QByteArray> contents;
    CSendQueue queue{[this](int descriptor, qint64 offset, char* into, qint64 length) {
        const QByteArray part = contents.value(descriptor).mid(offset, qMin(length, kReadPiece));
        std::memcpy(into, part.constData(), static_cast<size_t>(part.size()));
        return qint64(part.size());
    }};

    SQueueOverFiles()
    {
        const QByteArray pattern = TestFiles::Pattern(2 * kFileSize);
        for (const QString name : {"a", "b"}) {
            const QByteArray content = pattern.mid(name == "a" ? 0 : kFileSize, kFileSize);
            TestFiles::Write(folder.filePath(name), content);
            auto file = std::make_shared<QFile>(folder.filePath(name));
            file->open(QIODevice::ReadOnly);
            files[name] = file;
            contents[file->handle()] = content;
        }
    }
};

} // namespace

class tst_CSendQueue final : public QObject {
    Q_OBJECT

private slots:
    // Steps: "a:offset+length" a range of a (or b), "read" ReadRange, else bytes; "!": it fails.
    // The system takes at most `accept` bytes a call; `pieces` is what Next hands out.
    void piecesComeOutInOrder_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<int>("accept");
        QTest::addColumn<QStringList>("pieces");
        const auto row = [](const char* name, const char* steps, const char* pieces,
                            int accept = 1 << 20) {
            QTest::newRow(name) << QString(steps).split('|') << accept
                                << QString(pieces).split('|', Qt::SkipEmptyParts);
        };
        row("continuing ranges join", "a:0+256|a:256+256|a:512+88", "a:0+600");
        row("bytes, then a range", "xyz|a:0+100", "3 bytes|a:0+100");
        row("bytes after a range: bytes", "a:0+100|xyz|a:100+200", "103 bytes|a:100+200");
        row("range out of order: bytes before", "a:0+100|a:50+10", "100 bytes|a:50+10");
        row("another file's range does not join", "a:0+100|b:100+50", "100 bytes|b:100+50");
        row("read now: the range becomes bytes", "a:10+300|read", "300 bytes");
        row("empty appends add nothing", "|a:10+0", "");
        row("range partly taken", "0123456789|a:0+250", "10 bytes|a:0+250|a:100+150|a:200+50", 100);
        row("partly accepted bytes", "0123456789", "10 bytes|6 bytes|2 bytes", 4);
        row("range past the end: dropped", "ab|a:990+20|!x|a:990+20|!a:0+5|a:1000+1|!read",
            "2 bytes");
    }
    void piecesComeOutInOrder()
    {
        QFETCH(QStringList, steps);
        QFETCH(int, accept);
        QFETCH(QStringList, pieces);
        SQueueOverFiles over;
        CSendQueue& queue = over.queue;
        QByteArray expected;
        qsizetype rangeAt = 0; // where the queued range begins in expected
        for (QString step : steps) {
            const bool fails = step.startsWith('!');
            step.remove(0, fails ? 1 : 0);
            const QStringList range = step.mid(2).split('+');
            if (step == "read") {
                QCOMPARE(queue.ReadRange(), !fails);
            } else if (step.size() > 2 && step[1] == ':') {
                const auto& file = over.files[step.left(1)];
                QCOMPARE(queue.AppendRange(file, range[0].toInt(), range[1].toInt()), !fails);
                rangeAt = fails ? rangeAt : expected.size();
                if (!fails)
                    expected +=
                        over.contents[file->handle()].mid(range[0].toInt(), range[1].toInt());
            } else {
                QCOMPARE(queue.AppendBytes(step.toLatin1()), !fails);
                if (!fails)
                    rangeAt = (expected += step.toLatin1()).size();
            }
            if (fails) // the range the file no longer holds is dropped, nothing added
                expected.truncate(rangeAt);
        }
        QCOMPARE(queue.IsEmpty(), expected.isEmpty());
        QStringList got;
        QByteArray sent;
        for (CSendQueue::SPiece piece = queue.Next(); piece.length > 0; piece = queue.Next()) {
            const qint64 taken = qMin(piece.length, qint64(accept));
            const bool inA = piece.descriptor == over.files["a"]->handle();
            got << (piece.IsRange() ? QStringLiteral("%1:%2+%3")
                                          .arg(inA ? "a" : "b")
                                          .arg(piece.offset)
                                          .arg(piece.length)
                                    : QStringLiteral("%1 bytes").arg(piece.length));
            sent += piece.IsRange() ? over.contents[piece.descriptor].mid(piece.offset, taken)
                                    : QByteArray(piece.bytes, taken);
            queue.Accepted(taken);
            QCOMPARE(queue.PendingBytes(), qint64(expected.size() - sent.size()));
        }
        QCOMPARE(got, pieces);
        QCOMPARE(sent, expected);
    }

    // One confirmation answers every append before it, due only below the high-water mark.
    void confirmationWaitsBelowTheHighWaterMark_data()
    {
        QTest::addColumn<int>("queued");
        QTest::addColumn<int>("waitingElsewhere");
        QTest::addColumn<bool>("due");
        const int mark = int(CSendQueue::kHighWater);
        QTest::newRow("nothing appended") << 0 << 0 << false;
        QTest::newRow("one byte below") << mark - 1 << 0 << true;
        QTest::newRow("at the mark") << mark << 0 << false;
        QTest::newRow("below, but bytes wait elsewhere") << 100 << mark - 100 << false;
    }
    void confirmationWaitsBelowTheHighWaterMark()
    {
        QFETCH(int, queued);
        QFETCH(int, waitingElsewhere);
        QFETCH(bool, due);
        SQueueOverFiles over;
        CSendQueue& queue = over.queue;
        if (queued > 0) {
            queue.AppendBytes(QByteArray(queued - 1, 'x'));
            queue.AppendBytes("y");
        }
        QCOMPARE(queue.ConfirmationDue(waitingElsewhere), due);
        QCOMPARE(queue.TakeConfirmation(waitingElsewhere), due);
        if (due || queued == 0) {
            QVERIFY(!queue.TakeConfirmation(0)); // once for all appends before it
            return;
        }
        queue.Accepted(queued); // room again once the system has taken enough
        QVERIFY(queue.TakeConfirmation(0));
        queue.AppendBytes("z");
        queue.Clear();
        QCOMPARE(queue.PendingBytes(), qint64(0));
        QVERIFY(!queue.ConfirmationDue(0));
    }
};

QTEST_GUILESS_MAIN(tst_CSendQueue)
#include "tst_CSendQueue.moc"
