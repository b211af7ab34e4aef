#include "link/ReplyCollector.h"

#include <QTest>

using Verdict = CReplyCollector::Verdict;
using Reason = CReplyCollector::Reason;

Q_DECLARE_METATYPE(Verdict)
Q_DECLARE_METATYPE(Reason)

// The collector without a port or a clock: bytes and ticks are fed by hand.
class ReplyCollectorTest : public QObject
{
    Q_OBJECT

    // Ticks until a verdict other than KeepWaiting, at most a dozen.
    static Verdict TickOut(CReplyCollector& collector)
    {
        for (int i = 0; i < 12; ++i) {
            const Verdict verdict = collector.Tick();
            if (verdict != Verdict::KeepWaiting)
                return verdict;
        }
        return Verdict::KeepWaiting;
    }

private Q_SLOTS:
    void verdicts_data()
    {
        QTest::addColumn<int>("expected");
        QTest::addColumn<QList<QByteArray>>("blocks");
        QTest::addColumn<Verdict>("verdict");
        QTest::addColumn<Reason>("reason");
        QTest::addColumn<int>("ticks");
        QTest::addColumn<QByteArray>("reply");

        QTest::newRow("acknowledgement on arrival")
            << 3 << QList<QByteArray>{"0\r\n"} << Verdict::Complete << Reason::Count << 0
            << QByteArray("0\r\n");
        QTest::newRow("byte by byte")
            << 10 << QList<QByteArray>{"+", "0", "0", "1", "2", "3", "4", "5", "\r", "\n"}
            << Verdict::Complete << Reason::Count << 0 << QByteArray("+0012345\r\n");
        QTest::newRow("CR and LF apart") << 3 << QList<QByteArray>{"0\r", "\n"} << Verdict::Complete
                                         << Reason::Count << 0 << QByteArray("0\r\n");
        // The binary value need not end with CR LF: the count is enough on a tick.
        QTest::newRow("binary without CR LF")
            << 6 << QList<QByteArray>{QByteArray("\x01\x02\x04\x07xy", 6)} << Verdict::Complete
            << Reason::Count << 1 << QByteArray("\x01\x02\x04\x07xy", 6);
        QTest::newRow("longer than expected")
            << 3 << QList<QByteArray>{"480\r\n"} << Verdict::Complete << Reason::Count << 0
            << QByteArray("480\r\n");
        QTest::newRow("two replies are one text")
            << 3 << QList<QByteArray>{"1\r\n2\r\n"} << Verdict::Complete << Reason::Count << 0
            << QByteArray("1\r\n2\r\n");
        // A refusal shorter than a long reply: taken by its CR LF after all pauses.
        QTest::newRow("short refusal") << 10 << QList<QByteArray>{"?\r\n"} << Verdict::Complete
                                       << Reason::CrLf << 11 << QByteArray("?\r\n");
        QTest::newRow("short noise")
            << 3 << QList<QByteArray>{QByteArray("\x13\x37", 2)} << Verdict::Discard
            << Reason::Incomplete << 11 << QByteArray("\x13\x37", 2);
        QTest::newRow("short without CR LF")
            << 10 << QList<QByteArray>{"+00123"} << Verdict::Discard << Reason::Incomplete << 11
            << QByteArray("+00123");
        QTest::newRow("count reached by two bytes")
            << 2 << QList<QByteArray>{"ab"} << Verdict::Discard << Reason::Incomplete << 1
            << QByteArray("ab");
    }
    void verdicts()
    {
        QFETCH(int, expected);
        QFETCH(QList<QByteArray>, blocks);
        QFETCH(Verdict, verdict);
        QFETCH(Reason, reason);
        QFETCH(int, ticks);
        QFETCH(QByteArray, reply);

        CReplyCollector collector;
        collector.Start(expected);
        Verdict last = Verdict::KeepWaiting;
        for (qsizetype i = 0; i < blocks.size(); ++i) {
            QCOMPARE(last, Verdict::KeepWaiting); // nothing decided before the last block
            last = collector.Feed(blocks[i]);
        }
        if (last == Verdict::KeepWaiting) {
            QVERIFY(collector.IsTicking());
            last = TickOut(collector);
        }
        QCOMPARE(last, verdict);
        QCOMPARE(collector.LastReason(), reason);
        QCOMPARE(collector.Ticks(), ticks);
        QVERIFY(!collector.IsTicking());
        QCOMPARE(collector.Take(), reply);
        QCOMPARE(collector.Waiting(), QByteArray());
    }

    void pausesStartWithTheFirstByte()
    {
        CReplyCollector collector;
        collector.Start(3);
        // A silent line: ticks count nothing, however many come.
        for (int i = 0; i < 20; ++i)
            QCOMPARE(collector.Tick(), Verdict::KeepWaiting);
        QVERIFY(!collector.IsTicking());
        QCOMPARE(collector.Ticks(), 0);

        // Ten pauses after the first byte the rest may still come.
        QCOMPARE(collector.Feed("1"), Verdict::KeepWaiting);
        for (int i = 0; i < CReplyCollector::kPauseCount - 1; ++i)
            QCOMPARE(collector.Tick(), Verdict::KeepWaiting);
        QCOMPARE(collector.Feed("\r\n"), Verdict::Complete);
        QCOMPARE(collector.Take(), QByteArray("1\r\n"));
    }

    void startForgetsTheLastExchange()
    {
        CReplyCollector collector;
        collector.Start(10);
        QCOMPARE(collector.Feed("+001"), Verdict::KeepWaiting);
        collector.Tick();
        collector.Start(3);
        QVERIFY(!collector.IsTicking());
        QCOMPARE(collector.Ticks(), 0);
        QCOMPARE(collector.ExpectedLen(), 3);
        QCOMPARE(collector.Feed("0\r\n"), Verdict::Complete);
        QCOMPARE(collector.Take(), QByteArray("0\r\n"));
        // Take keeps the expected length for what comes next.
        QCOMPARE(collector.Feed("1\r\n"), Verdict::Complete);
    }

    void boundedByTheReplyBuffer()
    {
        CReplyCollector collector;
        collector.Start(33);
        QCOMPARE(collector.Feed(QByteArray(5000, 'x')), Verdict::KeepWaiting);
        QCOMPARE(collector.Waiting().size(), CReplyCollector::kMaxReplyLen);
        // The CR LF falls beyond the buffer; the count decides on the tick.
        QCOMPARE(collector.Feed("\r\n"), Verdict::KeepWaiting);
        QCOMPARE(collector.Tick(), Verdict::Complete);
        const QByteArray reply = collector.Take();
        QCOMPARE(reply.size(), CReplyCollector::kMaxReplyLen);
        QCOMPARE(reply.count('x'), CReplyCollector::kMaxReplyLen);
    }
};

QTEST_GUILESS_MAIN(ReplyCollectorTest)
#include "ReplyCollectorTest.moc"
