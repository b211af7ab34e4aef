#include "TestPageContext.h"

#include <QTest>

#include <atomic>
#include <thread>

// The context's thread rules: status text and message boxes from a worker
// reach the UI thread, and a worker waiting on a box gives up on stop.
class PageContextTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void statusTextFromAWorkerArrivesOnTheUiThread()
    {
        CTestPageContext context;
        std::thread worker([&] { context.SetStatusText(QStringLiteral("当前值:5")); });
        worker.join();
        QVERIFY(context.StatusTexts().isEmpty()); // queued, not called on the worker
        QTRY_COMPARE(context.StatusTexts(), QStringList{QStringLiteral("当前值:5")});
    }

    void workerWaitsForTheBoxAndGivesUpOnStop()
    {
        CTestPageContext context;
        std::atomic<bool> bStop{false};
        std::atomic<int> nResult{-1};
        std::thread worker([&] {
            nResult = context.ShowMessageFromWorker(QStringLiteral("写文件错误,错误码:28"), bStop);
        });
        QTRY_COMPARE(context.Messages().size(), 1);
        worker.join();
        QCOMPARE(nResult.load(), 1);

        // The UI thread is busy (here: in this test, not turning its loop) and
        // the worker is asked to stop: it leaves without the box being closed.
        nResult = -1;
        std::thread blocked(
            [&] { nResult = context.ShowMessageFromWorker(QStringLiteral("x"), bStop); });
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        QCOMPARE(nResult.load(), -1);
        bStop = true;
        blocked.join();
        QCOMPARE(nResult.load(), 0);
    }

    void busReachesTheSimulator()
    {
        CTestPageContext context;
        QVERIFY(!context.Device().isEmpty());
        QVERIFY(context.OpenBusPort());
        QByteArray reply;
        bool bOk = false;
        std::thread worker([&] { bOk = context.Query("S03;ADR?;", reply, 3, 500); });
        worker.join();
        QVERIFY(bOk);
        QCOMPARE(reply, QByteArray("03\r\n"));
        QVERIFY(context.Simulator().Bus().FrameLog().contains("S03;ADR?;"));
    }
};

QTEST_MAIN(PageContextTest)
#include "PageContextTest.moc"
