// Patrol cycle times over all 32 addresses against tolvex-sim with line
// timing, beside the wire limit: 32 x ((9 command + 6 reply bytes) x 11 bits /
// baud + turnaround). Runs tolvex-sim as its own process so the CPU time
// measured is the tool's.
#include "BenchKit.h"
#include "link/BusLink.h"
#include "link/MeasuredValuePoll.h"
#include "link/StopFlag.h"
#include "multi/PatrolObserver.h"
#include "multi/PatrolSequence.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QStringList>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Times each cycle from its first read to its end, and counts failed reads.
class CCycleTimer : public CPatrolObserver
{
public:
    void OnAddress(int nAddress) override
    {
        if (nAddress == 0)
            m_tCycleStart = Clock::now();
    }
    void OnRead(int, bool bOk, qint32) override { m_nFailed += !bOk; }
    void OnCycle(int, qint64) override
    {
        m_arrMs.push_back(
            std::chrono::duration<double, std::milli>(Clock::now() - m_tCycleStart).count());
    }

    std::vector<double> m_arrMs;
    int m_nFailed = 0;

private:
    Clock::time_point m_tCycleStart;
};

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int nCycles = argc > 1 ? std::max(1, atoi(argv[1])) : 100;
    const int nBaud = 19200;
    const double dTurnaroundMs = 1.0;

    QStringList arrAll;
    for (int i = 0; i < CPatrolSequence::kAddresses; ++i)
        arrAll << QString::number(i);
    QProcess sim;
    const QString strDevice = StartSimulator(
        sim, {QStringLiteral("--modules"), arrAll.join(QLatin1Char(',')), QStringLiteral("--baud"),
              QString::number(nBaud), QStringLiteral("--line-timing"),
              QStringLiteral("--turnaround-ms"), QString::number(dTurnaroundMs)});
    if (strDevice.isEmpty())
        return 1;

    CBusLink link;
    link.SetDeviceResolver([strDevice](int) { return strDevice; });
    link.m_comSettings.m_nBaud = nBaud;
    if (!link.OpenBusPort()) {
        std::fprintf(stderr, "cannot open %s\n", qPrintable(strDevice));
        return 1;
    }

    std::atomic<bool> bStop{false};
    CStopFlag stop(bStop);
    CPatrolSequence sequence(link, stop);
    CCycleTimer timer;
    sequence.SetObserver(&timer);
    sequence.SetMaxAddress(CPatrolSequence::kAddresses - 1);
    sequence.SetTimeout(100);

    const double dCpuStart = CpuSeconds();
    const Clock::time_point tStart = Clock::now();
    sequence.Run(nCycles);
    const double dWall = std::chrono::duration<double>(Clock::now() - tStart).count();
    const double dCpu = CpuSeconds() - dCpuStart;
    link.ClosePort();
    sim.terminate();
    sim.waitForFinished(5000);

    std::vector<double> arrMs = timer.m_arrMs;
    if (arrMs.empty())
        return 1;
    std::sort(arrMs.begin(), arrMs.end());
    const double dWireMs =
        CPatrolSequence::kAddresses *
        ((9 + CMeasuredValuePoll::kReplyLen) * 11.0 * 1000.0 / nBaud + dTurnaroundMs);
    const double dMedian = arrMs[arrMs.size() / 2];
    const double dP95 = arrMs[std::min(arrMs.size() - 1, arrMs.size() * 95 / 100)];
    std::printf("%zu cycles of 32 reads, %d baud 8E1, %.1f ms turnaround, %d failed reads\n",
                arrMs.size(), nBaud, dTurnaroundMs, timer.m_nFailed);
    std::printf("cycle: median %.1f ms, p95 %.1f ms, max %.1f ms; wire limit %.1f ms; "
                "median/wire %.3f (goal <= 1.1)\n",
                dMedian, dP95, arrMs.back(), dWireMs, dMedian / dWireMs);
    std::printf("CPU %.1f %% of one core (set-up pass included)\n", 100.0 * dCpu / dWall);
    return dMedian <= 1.1 * dWireMs ? 0 : 1;
}
