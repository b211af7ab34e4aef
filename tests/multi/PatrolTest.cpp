#include "link/BusLink.h"
#include "link/StopFlag.h"
#include "multi/CircleSettings.h"
#include "multi/PatrolObserver.h"
#include "multi/PatrolSequence.h"
#include "recording/PatrolRecorder.h"
#include "sim/PtySimulator.h"

#include "TestFiles.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <memory>
#include <mutex>
#include <random>
#include <thread>

namespace {

struct ReadResult
{
    int m_nAddress;
    bool m_bOk;
    qint32 m_nValue;
};

// Keeps what a patrol reported; thread-safe, so a test may look while it runs.
class CRecordingObserver : public CPatrolObserver
{
public:
    void OnRead(int nAddress, bool bOk, qint32 nValue) override
    {
        std::lock_guard lock(m_mutex);
        m_arrReads.push_back({nAddress, bOk, nValue});
        if (m_onRead)
            m_onRead(nAddress, bOk);
    }
    void OnCycle(int nCycle, qint64 nElapsedMs) override
    {
        std::lock_guard lock(m_mutex);
        m_arrCycleMs.push_back(nElapsedMs);
        if (m_onCycle)
            m_onCycle(nCycle);
    }
    std::vector<ReadResult> Reads() const
    {
        std::lock_guard lock(m_mutex);
        return m_arrReads;
    }
    std::vector<qint64> CycleMs() const
    {
        std::lock_guard lock(m_mutex);
        return m_arrCycleMs;
    }
    std::function<void(int, bool)> m_onRead;
    std::function<void(int)> m_onCycle;

private:
    mutable std::mutex m_mutex;
    std::vector<ReadResult> m_arrReads;
    std::vector<qint64> m_arrCycleMs;
};

// A patrol over a simulator on a pseudo-terminal, through the real serial port.
struct CPatrolBus
{
    explicit CPatrolBus(const SimOptions& options) : m_sim(options), m_sequence(m_link, m_stop)
    {
        m_strDevice = m_sim.Start();
        const QString strDevice = m_strDevice;
        m_link.SetDeviceResolver([strDevice](int) { return strDevice; });
        m_sequence.SetObserver(&m_observer);
        // A pseudo-terminal has no parity to set.
        m_link.m_comSettings.m_nParity = 'N';
    }
    bool Open() { return !m_strDevice.isEmpty() && m_link.OpenBusPort(); }
    QList<QByteArray> Frames() { return m_sim.Bus().FrameLog(); }

    CPtySimulator m_sim;
    QString m_strDevice;
    CBusLink m_link;
    std::atomic<bool> m_bStop{false};
    CStopFlag m_stop{m_bStop};
    CPatrolSequence m_sequence;
    CRecordingObserver m_observer;
};

SimOptions Modules(const QList<int>& arrAddresses)
{
    SimOptions options;
    options.m_arrAddresses = arrAddresses;
    return options;
}

// Module a reads about a * 10000 .. a * 10000 + 2000: ranges never overlap.
void SeparateValueRanges(CPtySimulator& sim)
{
    for (int nAddress : sim.Bus().Addresses())
        sim.Bus().SetExtraLoad(nAddress, nAddress * 800000);
}

bool InRangeOf(int nAddress, qint32 nValue)
{
    return nValue >= nAddress * 10000 - 10 && nValue <= nAddress * 10000 + 2010;
}

QList<QByteArray> Frames(std::initializer_list<const char*> arr)
{
    QList<QByteArray> frames;
    for (const char* psz : arr)
        frames.append(psz);
    return frames;
}

} // namespace

class PatrolTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void settingsAreClamped()
    {
        CircleSettings settings;
        QCOMPARE(settings.m_nTimeout, 100);
        QCOMPARE(settings.m_crGridFore, 0x0000FFu);
        QCOMPARE(settings.m_crGridBack, 0x00FFFFu);
        settings.m_nDecimals = 9;
        settings.m_nUnit = -1;
        settings.m_nMaxAddress = 40;
        settings.m_nTimeout = 10;
        const CircleSettings clamped = settings.Clamped();
        QCOMPARE(clamped.m_nDecimals, 6);
        QCOMPARE(clamped.m_nUnit, 0);
        QCOMPARE(clamped.m_nMaxAddress, 31);
        QCOMPARE(clamped.m_nTimeout, 50);
        QCOMPARE(CircleSettings::ClampTimeout(9000), 5000);
    }

    void initialSettingsPatrolOnlyAddressZero()
    {
        auto pBus = std::make_unique<CPatrolBus>(Modules({0, 1}));
        CPatrolBus& bus = *pBus;
        QVERIFY(bus.Open());
        QCOMPARE(bus.m_sequence.Run(3), 3);
        QCOMPARE(bus.Frames(),
                 Frames({"S00;COF8;", "S00;CSM1;", "S00;MSV?;", "S00;MSV?;", "S00;MSV?;"}));
        const auto reads = bus.m_observer.Reads();
        QCOMPARE(reads.size(), size_t(3));
        for (const ReadResult& read : reads)
            QVERIFY(read.m_nAddress == 0 && read.m_bOk);
        QCOMPARE(bus.m_observer.CycleMs().size(), size_t(3));
        QVERIFY(bus.m_sequence.ChecksumOn(0));
    }

    void highestAddress31ReadsAll32InOrder()
    {
        QList<int> arrAll;
        for (int i = 0; i < 32; ++i)
            arrAll.append(i);
        auto pBus = std::make_unique<CPatrolBus>(Modules(arrAll));
        CPatrolBus& bus = *pBus;
        QVERIFY(bus.Open());
        bus.m_sequence.SetMaxAddress(31);
        QCOMPARE(bus.m_sequence.Run(2), 2);
        QList<QByteArray> expected;
        for (int i = 0; i < 32; ++i)
            expected << QStringLiteral("S%1;COF8;").arg(i, 2, 10, QChar('0')).toLatin1()
                     << QStringLiteral("S%1;CSM1;").arg(i, 2, 10, QChar('0')).toLatin1();
        for (int n = 0; n < 2; ++n)
            for (int i = 0; i < 32; ++i)
                expected << QStringLiteral("S%1;MSV?;").arg(i, 2, 10, QChar('0')).toLatin1();
        QCOMPARE(bus.Frames(), expected);
        const auto reads = bus.m_observer.Reads();
        QCOMPARE(reads.size(), size_t(64));
        for (size_t i = 0; i < reads.size(); ++i)
            QVERIFY(reads[i].m_nAddress == int(i % 32) && reads[i].m_bOk);
    }

    void absentModuleCostsOneTimeoutAndBlanks()
    {
        auto pBus = std::make_unique<CPatrolBus>(Modules({0, 2}));
        CPatrolBus& bus = *pBus;
        QVERIFY(bus.Open());
        bus.m_sequence.SetMaxAddress(2);
        bus.m_sequence.SetTimeout(200);
        bus.m_sim.Bus().ClearFrameLog();
        QCOMPARE(bus.m_sequence.Run(2), 2);
        // One read of the absent address per cycle, no second attempt.
        QCOMPARE(bus.Frames().count("S01;MSV?;"), 2);
        const auto reads = bus.m_observer.Reads();
        QCOMPARE(reads.size(), size_t(6));
        QVERIFY(reads[0].m_bOk && !reads[1].m_bOk && reads[2].m_bOk);
        for (qint64 nMs : bus.m_observer.CycleMs())
            QVERIFY2(nMs >= 200, qPrintable(QString::number(nMs)));
    }

    // The highest address raised during a patrol: each new address gets its
    // set-up pair before its first read, and the acknowledgements coming after
    // measured-value reads are taken at once under a short time-out.
    void raisedHighestAddressIsSetUpFirst()
    {
        auto pBus = std::make_unique<CPatrolBus>(Modules({0, 1, 2}));
        CPatrolBus& bus = *pBus;
        QVERIFY(bus.Open());
        bus.m_sequence.SetTimeout(50);
        bus.m_observer.m_onCycle = [&](int nCycle) {
            if (nCycle == 1)
                bus.m_sequence.SetMaxAddress(2);
        };
        QCOMPARE(bus.m_sequence.Run(3), 3);
        QCOMPARE(bus.Frames(),
                 Frames({"S00;COF8;", "S00;CSM1;", "S00;MSV?;", "S00;MSV?;", "S01;COF8;",
                         "S01;CSM1;", "S01;MSV?;", "S02;COF8;", "S02;CSM1;", "S02;MSV?;",
                         "S00;MSV?;", "S01;MSV?;", "S02;MSV?;"}));
        QVERIFY(bus.m_sequence.ChecksumOn(1) && bus.m_sequence.ChecksumOn(2));
        for (const ReadResult& read : bus.m_observer.Reads())
            QVERIFY(read.m_bOk);
    }

    void stopEndsWithinOneTransaction()
    {
        auto pBus = std::make_unique<CPatrolBus>(Modules({0, 1, 2, 3}));
        CPatrolBus& bus = *pBus;
        QVERIFY(bus.Open());
        bus.m_sequence.SetMaxAddress(5); // two absent: some reads wait their time-out
        std::thread worker([&] { bus.m_sequence.Run(0); });
        QTRY_VERIFY_WITH_TIMEOUT(bus.m_observer.CycleMs().size() >= 2, 20000);
        bus.m_bStop = true;
        const qsizetype nFramesAtStop = bus.Frames().size();
        worker.join();
        QVERIFY(bus.Frames().size() <= nFramesAtStop + 1);
    }

    void closedPortIsNotPolledInASpin()
    {
        auto pBus = std::make_unique<CPatrolBus>(Modules({0}));
        CPatrolBus& bus = *pBus;
        bus.m_sequence.SetTimeout(100);
        std::thread worker([&] { bus.m_sequence.Run(0); });
        QTest::qWait(1500);
        bus.m_bStop = true;
        worker.join();
        // 1.5 s at one read per 100 ms at most, the set-up pass included.
        const auto reads = bus.m_observer.Reads();
        QVERIFY2(reads.size() <= 16, qPrintable(QString::number(reads.size())));
        for (const ReadResult& read : reads)
            QVERIFY(!read.m_bOk);
        QVERIFY(bus.Frames().isEmpty());
    }

    // A port opened while the patrol runs: the module is set up before its
    // first read reaches it.
    void portOpenedDuringThePatrolSetsUpFirst()
    {
        auto pBus = std::make_unique<CPatrolBus>(Modules({0}));
        CPatrolBus& bus = *pBus;
        bus.m_sequence.SetTimeout(50);
        std::thread worker([&] { bus.m_sequence.Run(0); });
        QTest::qWait(300);
        QVERIFY(bus.Open());
        QTRY_VERIFY_WITH_TIMEOUT(bus.Frames().size() >= 4, 10000);
        bus.m_bStop = true;
        worker.join();
        const QList<QByteArray> frames = bus.Frames();
        QCOMPARE(frames.mid(0, 3), Frames({"S00;COF8;", "S00;CSM1;", "S00;MSV?;"}));
        QVERIFY(bus.m_sequence.ChecksumOn(0));
    }

    // Check bytes are tested where this run's CSM1 was acknowledged, whatever
    // the link's shared checksum word says, and that word is left alone.
    void checkByteTestedWhereChecksumWasAcknowledged()
    {
        auto pBus = std::make_unique<CPatrolBus>(Modules({0}));
        CPatrolBus& bus = *pBus;
        QVERIFY(bus.Open());
        QTemporaryDir dir;
        CPatrolRecorder recorder;
        bus.m_sequence.SetRecorder(&recorder);

        // Set-up replies all lost, then every check byte bad: a stale 1 in the
        // shared word must not blank the module.
        SimFaults lost;
        lost.m_nDropEvery = 1;
        bus.m_sim.SetFaults(lost);
        bus.m_link.m_bChecksum = 1;
        bool bSwitched = false;
        CRecordingObserver observer;
        struct CSwitching : CPatrolObserver
        {
            CPtySimulator* m_pSim;
            bool* m_pSwitched;
            CRecordingObserver* m_pInner;
            void OnAddress(int) override
            {
                if (*m_pSwitched)
                    return;
                SimFaults corrupt;
                corrupt.m_bCorruptCheck = true;
                m_pSim->SetFaults(corrupt);
                *m_pSwitched = true;
            }
            void OnRead(int a, bool b, qint32 v) override { m_pInner->OnRead(a, b, v); }
            void OnCycle(int n, qint64 ms) override { m_pInner->OnCycle(n, ms); }
        } switching;
        switching.m_pSim = &bus.m_sim;
        switching.m_pSwitched = &bSwitched;
        switching.m_pInner = &observer;
        bus.m_sequence.SetObserver(&switching);
        QCOMPARE(bus.m_sequence.Run(3), 3);
        QVERIFY(!bus.m_sequence.ChecksumOn(0));
        for (const ReadResult& read : observer.Reads())
            QVERIFY(read.m_bOk);
        QCOMPARE(bus.m_link.m_bChecksum.load(), 1);

        // Acknowledged this time, shared word 0: every bad check byte fails
        // and nothing is recorded.
        bus.m_link.m_bChecksum = 0;
        CRecordingObserver second;
        bus.m_sequence.SetObserver(&second);
        SimFaults corrupt;
        corrupt.m_bCorruptCheck = true;
        bus.m_sim.SetFaults(corrupt);
        QVERIFY(recorder.Start(dir.path(), 0));
        QCOMPARE(bus.m_sequence.Run(3), 3);
        recorder.Stop();
        QVERIFY(bus.m_sequence.ChecksumOn(0));
        QCOMPARE(second.Reads().size(), size_t(3));
        for (const ReadResult& read : second.Reads())
            QVERIFY(!read.m_bOk);
        QCOMPARE(QFile(recorder.FilePath(0)).size(), 0);
        QCOMPARE(bus.m_link.m_bChecksum.load(), 0);
    }

    // Replies held back past the time-out, on and off at random: a late
    // reply is never taken as the answer of the next address. The reply comes
    // 5 ms after the time-out, so it has most of the quiet wait as margin
    // against a loaded machine (at 15 ms it once came too late under ASan
    // beside two fuzzers).
    void lateRepliesNeverLandUnderAnotherAddress()
    {
        auto pBus = std::make_unique<CPatrolBus>(Modules({0, 1, 2, 3}));
        CPatrolBus& bus = *pBus;
        SeparateValueRanges(bus.m_sim);
        QVERIFY(bus.Open());
        bus.m_sequence.SetMaxAddress(3);
        const int nTimeoutMs = 60;
        static_assert(CPatrolSequence::kQuietMs > 20);
        bus.m_sequence.SetTimeout(nTimeoutMs);
        std::atomic<bool> bDone{false};
        std::thread toggler([&] {
            std::mt19937 rng(7);
            for (bool bLate = true; !bDone; bLate = !bLate) {
                SimFaults faults;
                faults.m_nDelayMs = bLate ? nTimeoutMs + 5 : 0;
                bus.m_sim.SetFaults(faults);
                std::this_thread::sleep_for(std::chrono::milliseconds(5 + rng() % 30));
            }
        });
        bus.m_sequence.Run(100);
        bDone = true;
        toggler.join();
        int nOk = 0, nFailed = 0;
        for (const ReadResult& read : bus.m_observer.Reads()) {
            if (!read.m_bOk) {
                ++nFailed;
                continue;
            }
            ++nOk;
            QVERIFY2(
                InRangeOf(read.m_nAddress, read.m_nValue),
                qPrintable(QStringLiteral("AD%1 read %2").arg(read.m_nAddress).arg(read.m_nValue)));
        }
        QVERIFY2(nOk > 0 && nFailed > 0,
                 qPrintable(QStringLiteral("%1 good, %2 failed").arg(nOk).arg(nFailed)));
    }

    // Lost replies and bad check bytes among eight modules over some hundred
    // cycles: every cycle completes, and each file holds exactly the
    // successful reads reported for its address.
    void faultyBusRecordsExactlyTheGoodReads()
    {
        QList<int> arrEight{0, 1, 2, 3, 4, 5, 6, 7};
        SimOptions options = Modules(arrEight);
        options.m_faults.m_dDropProbability = 0.01;
        auto pBus = std::make_unique<CPatrolBus>(options);
        CPatrolBus& bus = *pBus;
        SeparateValueRanges(bus.m_sim);
        QVERIFY(bus.Open());
        QTemporaryDir dir;
        CPatrolRecorder recorder;
        bus.m_sequence.SetRecorder(&recorder);
        bus.m_sequence.SetMaxAddress(7);
        bus.m_sequence.SetTimeout(50);
        QVERIFY(recorder.Start(dir.path(), 7));
        std::atomic<bool> bDone{false};
        std::thread corrupter([&] {
            std::mt19937 rng(11);
            while (!bDone) {
                SimFaults faults;
                faults.m_dDropProbability = 0.01;
                faults.m_bCorruptCheck = rng() % 10 == 0;
                bus.m_sim.SetFaults(faults);
                std::this_thread::sleep_for(std::chrono::milliseconds(3 + rng() % 5));
            }
        });
        const int nCycles = 300;
        const int nCompleted = bus.m_sequence.Run(nCycles);
        bDone = true;
        corrupter.join();
        recorder.Stop();
        QCOMPARE(nCompleted, nCycles);

        QList<qint32> arrGood[8];
        int nFailed = 0;
        const auto reads = bus.m_observer.Reads();
        QCOMPARE(reads.size(), size_t(8 * nCycles));
        for (const ReadResult& read : reads) {
            if (read.m_bOk) {
                arrGood[read.m_nAddress].append(read.m_nValue);
                QVERIFY(InRangeOf(read.m_nAddress, read.m_nValue));
            } else {
                ++nFailed;
            }
        }
        QVERIFY(nFailed > 0);
        for (int i = 0; i < 8; ++i)
            QCOMPARE(PatrolFileValues(recorder.FilePath(i)), arrGood[i]);
    }

    void tenGoodCyclesOfAddress3Give40Bytes()
    {
        auto pBus = std::make_unique<CPatrolBus>(Modules({3}));
        CPatrolBus& bus = *pBus;
        QVERIFY(bus.Open());
        QTemporaryDir dir;
        CPatrolRecorder recorder;
        bus.m_sequence.SetRecorder(&recorder);
        bus.m_sequence.SetMaxAddress(3);
        bus.m_sequence.SetTimeout(50);
        const QDateTime tStart(QDate(2026, 3, 4), QTime(5, 6));
        QVERIFY(recorder.Start(dir.path(), 3, tStart));
        QCOMPARE(bus.m_sequence.Run(10), 10);
        recorder.Stop();
        QCOMPARE(QFileInfo(recorder.FilePath(3)).fileName(), QStringLiteral("AD3_202634_56.sdat"));
        QCOMPARE(QFile(recorder.FilePath(3)).size(), 40);
        QList<qint32> arrReported;
        for (const ReadResult& read : bus.m_observer.Reads())
            if (read.m_nAddress == 3 && read.m_bOk)
                arrReported.append(read.m_nValue);
        QCOMPARE(PatrolFileValues(recorder.FilePath(3)), arrReported);
        QCOMPARE(QFile(recorder.FilePath(0)).size(), 0); // absent modules: empty files
    }

    // Recording switched on and off from another thread while a fast patrol
    // appends: never a write to a closed file (the sanitizer builds watch).
    void startAndStopDuringAFastPatrol()
    {
        auto pBus = std::make_unique<CPatrolBus>(Modules({0, 1}));
        CPatrolBus& bus = *pBus;
        QVERIFY(bus.Open());
        QTemporaryDir dir;
        CPatrolRecorder recorder;
        bus.m_sequence.SetRecorder(&recorder);
        bus.m_sequence.SetMaxAddress(1);
        std::thread worker([&] { bus.m_sequence.Run(0); });
        const QDateTime tStart(QDate(2026, 1, 1), QTime(0, 0));
        for (int i = 0; i < 40; ++i) {
            recorder.Start(dir.path(), 1, tStart);
            std::this_thread::sleep_for(std::chrono::milliseconds(3));
            recorder.Stop();
        }
        bus.m_bStop = true;
        worker.join();
        QVERIFY(!recorder.IsRecording());
        // Every file holds whole values only.
        const QFileInfoList files = QDir(dir.path()).entryInfoList(QDir::Files);
        QCOMPARE(files.size(), 80);
        for (const QFileInfo& info : files)
            QCOMPARE(info.size() % 4, 0);
    }
};

QTEST_GUILESS_MAIN(PatrolTest)
#include "PatrolTest.moc"
