// Measured-value reads per second on one simulated module, against the wire
// limit of the line: (command + reply bytes) x 11 bits / baud + turnaround,
// on a pseudo-terminal and over TCP on loopback (a serial device server).
// Runs tolvex-sim as its own process so the CPU time measured is the tool's.
// Then the CPU the link takes after the device hangs up, while it waits for
// the device to come back.
#include "BenchKit.h"
#include "link/BusLink.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace {

bool RunAt(bool bTcp, int nBaud, double dTurnaroundMs, double dSeconds)
{
    QProcess sim;
    QStringList arrArgs{QStringLiteral("--modules"),     QStringLiteral("1"),
                        QStringLiteral("--baud"),        QString::number(nBaud),
                        QStringLiteral("--line-timing"), QStringLiteral("--turnaround-ms"),
                        QString::number(dTurnaroundMs)};
    if (bTcp)
        arrArgs << QStringLiteral("--tcp") << QStringLiteral("127.0.0.1:0");
    const QString strDevice = StartSimulator(sim, arrArgs);
    if (strDevice.isEmpty())
        return false;

    CBusLink link;
    link.SetDeviceResolver([strDevice](int) { return strDevice; });
    ComSettings settings;
    settings.m_nBaud = nBaud;
    if (!link.OpenPort(settings)) {
        std::fprintf(stderr, "cannot open %s\n", qPrintable(strDevice));
        return false;
    }
    link.Command("S01;COF8;", 500);

    int nReads = 0, nFailed = 0;
    const double dCpuStart = CpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    const auto end = start + std::chrono::duration<double>(dSeconds);
    std::vector<double> arrMs;
    while (std::chrono::steady_clock::now() < end) {
        qint32 nValue = 0;
        const auto t0 = std::chrono::steady_clock::now();
        if (link.ReadMeasuredValue(1, nValue, 6, 500))
            ++nReads;
        else
            ++nFailed;
        arrMs.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0)
                .count());
    }
    std::sort(arrMs.begin(), arrMs.end());
    const double dElapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double dCpu = CpuSeconds() - dCpuStart;
    link.ClosePort();
    sim.terminate();
    sim.waitForFinished(5000);

    const int nBytes = 9 + 6; // "S01;MSV?;" and the six-byte reply
    const double dWireSeconds = nBytes * 11.0 / nBaud + dTurnaroundMs / 1000.0;
    const double dLimit = 1.0 / dWireSeconds;
    const double dRate = nReads / dElapsed;
    if (!arrMs.empty())
        std::printf(
            "  one read: min %.3f ms, median %.3f ms, 99th percentile %.3f ms, wire %.3f ms\n",
            arrMs.front(), arrMs[arrMs.size() / 2], arrMs[arrMs.size() * 99 / 100],
            1000.0 * dWireSeconds);
    std::printf("%s %7d baud 8E1, %.1f ms turnaround: %7.1f reads/s, wire limit %7.1f/s "
                "(%5.1f %%), %d failed, CPU %4.1f %% of one core\n",
                bTcp ? "tcp" : "pty", nBaud, dTurnaroundMs, dRate, dLimit, 100.0 * dRate / dLimit,
                nFailed, 100.0 * dCpu / dElapsed);
    return true;
}

double Ms(std::chrono::steady_clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

// The simulator stops (its pseudo-terminal's other end closes and its link
// goes, as an unplugged adapter hangs up and its name goes) while a read waits
// for its reply (bInFlight) or while the link only routes raw traffic, as the
// terminal page does.
bool HangUp(bool bInFlight)
{
    QTemporaryDir dir;
    const QString strDevice = dir.filePath(QStringLiteral("ttyBUS"));
    QProcess sim;
    if (StartSimulator(sim,
                       {QStringLiteral("--modules"), QStringLiteral("1"), QStringLiteral("--fault"),
                        QStringLiteral("delay=5000"), QStringLiteral("--link"), strDevice})
            .isEmpty())
        return false;
    CBusLink link;
    link.SetDeviceResolver([strDevice](int) { return strDevice; });
    if (!link.OpenPort(ComSettings()))
        return false;
    std::atomic<qint64> nLostAt{0};
    QObject::connect(
        &link, &CBusLink::PortLost, &link,
        [&] { nLostAt = std::chrono::steady_clock::now().time_since_epoch().count(); },
        Qt::DirectConnection);
    if (!bInFlight) {
        link.SetTerminalReceiver([](const QByteArray&) {});
        link.m_bTerminalShown = 1;
    }

    using Clock = std::chrono::steady_clock;
    Clock::time_point tKilled;
    std::thread killer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        tKilled = Clock::now();
        sim.terminate();
    });
    Clock::time_point tReadEnd;
    if (bInFlight) {
        // Every reply comes 5 s late: only the hang-up can end this read early.
        qint32 nValue = 0;
        link.ReadMeasuredValue(1, nValue, 6, 5000);
        tReadEnd = Clock::now();
    }
    killer.join();
    const double dReadMs = Ms(tReadEnd - tKilled);
    sim.waitForFinished(5000);
    const Clock::time_point tGiveUp = Clock::now() + std::chrono::seconds(3);
    while (nLostAt.load() == 0 && Clock::now() < tGiveUp)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (nLostAt.load() == 0) {
        std::printf("hang-up %s: not seen within 3 s\n", bInFlight ? "in a read" : "raw");
        return false;
    }
    const double dSeenMs = Ms(Clock::time_point(Clock::duration(nLostAt.load())) - tKilled);
    // The link tries to reopen the device once a second meanwhile.
    const double dCpuStart = CpuSeconds();
    const Clock::time_point tStart = Clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(3));
    const double dCpu =
        (CpuSeconds() - dCpuStart) / std::chrono::duration<double>(Clock::now() - tStart).count();
    if (bInFlight)
        std::printf("hang-up during a read: seen after %.1f ms, the read failed after %.1f ms "
                    "(time-out 5000 ms), CPU over the next 3 s of waiting for the device %.2f %% "
                    "of one core\n",
                    dSeenMs, dReadMs, 100.0 * dCpu);
    else
        std::printf("hang-up with raw traffic only: seen after %.1f ms, CPU over the next 3 s of "
                    "waiting for the device %.2f %% of one core\n",
                    dSeenMs, 100.0 * dCpu);
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const double dSeconds = argc > 1 ? QString::fromLocal8Bit(argv[1]).toDouble() : 5.0;
    bool bOk = true;
    for (const bool bTcp : {false, true}) {
        bOk = RunAt(bTcp, 19200, 1.0, dSeconds) && bOk;
        bOk = RunAt(bTcp, 115200, 1.0, dSeconds) && bOk;
    }
    bOk = HangUp(true) && bOk;
    bOk = HangUp(false) && bOk;
    return bOk ? 0 : 1;
}
