#include "link/BusLink.h"
#include "link/MeasuredValuePoll.h"
#include "link/WorkerThread.h"
#include "module/ModuleCommand.h"
#include "sim/PtySimulator.h"

#include <QTest>

#include <atomic>
#include <mutex>
#include <vector>

using Outcome = CMeasuredValuePoll::Outcome;

namespace {

// A run control that records every wait it is asked for and returns at once.
class CRecordingControl : public CRunControl
{
public:
    bool StopRequested() const override { return m_bStop.load(); }
    void Wait(int nMs) override { m_arrWaits.push_back(nMs); }

    std::atomic<bool> m_bStop{false};
    std::vector<int> m_arrWaits;
};

// Modules 1 and 3 behind a pseudo-terminal, the link opened on it.
struct CPollBus
{
    explicit CPollBus(const SimFaults& faults = SimFaults()) : m_sim(Options())
    {
        m_sim.SetFaults(faults);
        const QString strDevice = m_sim.Start();
        m_link.SetDeviceResolver([strDevice](int) { return strDevice; });
        m_link.m_comSettings.m_nParity = 'N'; // a pseudo-terminal has no parity
    }
    static SimOptions Options()
    {
        SimOptions options;
        options.m_arrAddresses = {1, 3};
        return options;
    }
    // Binary output, with check bytes as bChecksum says.
    void SetUp(int nAddress, bool bChecksum)
    {
        QVERIFY(m_link.Command(CModuleCommand::BinaryOutput(nAddress, 1000).m_text, 1000));
        if (bChecksum)
            QVERIFY(m_link.Command(CModuleCommand::ChecksumOn(nAddress, 1000).m_text, 1000));
    }

    CPtySimulator m_sim;
    CBusLink m_link;
    CRecordingControl m_control;
};

} // namespace

class PollTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void outcomes_data()
    {
        QTest::addColumn<int>("nAddress");
        QTest::addColumn<bool>("bModuleChecksum");
        QTest::addColumn<bool>("bCorrupt");
        QTest::addColumn<int>("nSharedWord"); // the link's m_bChecksum
        QTest::addColumn<int>("nPinned");     // -1: follow the shared word
        QTest::addColumn<Outcome>("outcome");
        QTest::newRow("checked") << 1 << true << false << 1 << -1 << Outcome::Value;
        QTest::newRow("unchecked") << 1 << false << false << 0 << -1 << Outcome::Value;
        QTest::newRow("corrupt, checked") << 3 << true << true << 0 << 1 << Outcome::BadCheckByte;
        QTest::newRow("corrupt, pinned off") << 3 << true << true << 1 << 0 << Outcome::Value;
        QTest::newRow("nobody there") << 2 << false << false << 0 << -1 << Outcome::NoReply;
    }

    void outcomes()
    {
        QFETCH(int, nAddress);
        QFETCH(bool, bModuleChecksum);
        QFETCH(bool, bCorrupt);
        QFETCH(int, nSharedWord);
        QFETCH(int, nPinned);
        QFETCH(Outcome, outcome);
        SimFaults faults;
        faults.m_bCorruptCheck = bCorrupt;
        CPollBus bus(faults);
        QVERIFY(bus.m_link.OpenBusPort());
        if (nAddress != 2)
            bus.SetUp(nAddress, bModuleChecksum);
        bus.m_link.m_bChecksum = nSharedWord;
        CMeasuredValuePoll poll(bus.m_link, bus.m_control);
        const std::optional<bool> pinned =
            nPinned < 0 ? std::nullopt : std::optional<bool>(nPinned != 0);
        qint32 nValue = 0;
        QCOMPARE(poll.Read(nAddress, 300, pinned, nValue), outcome);
        // Only a closed port costs a wait of the poll's own.
        QVERIFY(bus.m_control.m_arrWaits.empty());
    }

    // A closed port answers at once: every read waits its whole time-out
    // through the run control instead of coming round again at once.
    void closedPortWaitsEachReadsTimeout()
    {
        CPollBus bus;
        CMeasuredValuePoll poll(bus.m_link, bus.m_control);
        poll.SetTimeout(700);
        std::vector<Outcome> arrOutcomes;
        QCOMPARE(poll.Run(1, 3, [&](Outcome o, qint32) { arrOutcomes.push_back(o); }), 3);
        QCOMPARE(arrOutcomes, std::vector<Outcome>(3, Outcome::PortClosed));
        QCOMPARE(bus.m_control.m_arrWaits, std::vector<int>({700, 700, 700}));
        QVERIFY(bus.m_sim.Bus().FrameLog().isEmpty());
    }

    // The interval paces the start of each read; none after the last; a stop
    // ends the run before its next read.
    void intervalPacesAndStopEnds()
    {
        CPollBus bus;
        QVERIFY(bus.m_link.OpenBusPort());
        bus.SetUp(1, false);
        CMeasuredValuePoll poll(bus.m_link, bus.m_control);
        poll.SetInterval(5000);
        QCOMPARE(poll.Run(1, 3, [](Outcome o, qint32) { QCOMPARE(o, Outcome::Value); }), 3);
        QCOMPARE(bus.m_control.m_arrWaits.size(), size_t(2));
        for (int nMs : bus.m_control.m_arrWaits)
            QVERIFY2(nMs > 4000 && nMs <= 5000, qPrintable(QString::number(nMs)));
        int nSeen = 0;
        QCOMPARE(poll.Run(1, 0,
                          [&](Outcome, qint32) {
                              if (++nSeen == 4)
                                  bus.m_control.m_bStop = true;
                          }),
                 4);
    }

    // The worker's wait ends when a stop or a request comes, never only at its end.
    void workerWaitIsWokenByStopAndRequest()
    {
        std::atomic<int> nRequests{0};
        std::atomic<int> nRuns{0};
        CWorkerThread* pWorker = nullptr;
        CWorkerThread worker([&] {
            ++nRuns;
            while (!pWorker->StopRequested()) {
                if (pWorker->TakeRequest() != 0)
                    ++nRequests;
                pWorker->Wait(600000);
            }
        });
        pWorker = &worker;
        worker.Start();
        QTRY_COMPARE_WITH_TIMEOUT(nRuns.load(), 1, 10000);
        worker.PostRequest(7);
        QTRY_COMPARE_WITH_TIMEOUT(nRequests.load(), 1, 10000);
        worker.RequestStop();
        QTRY_VERIFY_WITH_TIMEOUT(!worker.IsRunning(), 10000);
        worker.Start();
        QTRY_COMPARE_WITH_TIMEOUT(nRuns.load(), 2, 10000);
        worker.StopAndJoin();
        QVERIFY(!worker.IsRunning());
    }

    // A start while the body is ending takes the stop back: the body runs again.
    void startWhileEndingRunsAgain()
    {
        std::atomic<int> nRuns{0};
        std::atomic<bool> bLeaving{false};
        std::atomic<bool> bRelease{false};
        CWorkerThread* pWorker = nullptr;
        CWorkerThread worker([&] {
            ++nRuns;
            while (!pWorker->StopRequested())
                pWorker->Wait(600000);
            bLeaving = true;
            while (!bRelease)
                QThread::msleep(1);
            bLeaving = false;
            bRelease = false;
        });
        pWorker = &worker;
        worker.Start();
        QTRY_COMPARE_WITH_TIMEOUT(nRuns.load(), 1, 10000);
        worker.RequestStop();
        QTRY_VERIFY_WITH_TIMEOUT(bLeaving.load(), 10000);
        worker.Start();
        bRelease = true;
        QTRY_COMPARE_WITH_TIMEOUT(nRuns.load(), 2, 10000);
        QVERIFY(worker.IsRunning());
        worker.RequestStop();
        QTRY_VERIFY_WITH_TIMEOUT(bLeaving.load(), 10000);
        bRelease = true;
        QTRY_VERIFY_WITH_TIMEOUT(!worker.IsRunning(), 10000);
        QCOMPARE(nRuns.load(), 2);
    }
};

QTEST_GUILESS_MAIN(PollTest)
#include "PollTest.moc"
