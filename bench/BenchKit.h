#pragma once

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QStringList>
#include <QTimer>

#include <malloc.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <vector>

// What the benches share: the process's CPU time, percentiles, and tolvex-sim
// started as a process of its own, so that the CPU measured is the tool's.

inline double CpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Runs the event loop for nMs milliseconds, asleep while nothing happens (a
// loop of processEvents calls would spin and count as the tool's CPU).
inline void RunEventsFor(int nMs)
{
    QEventLoop loop;
    QTimer::singleShot(nMs, &loop, &QEventLoop::quit);
    loop.exec();
}

// The value below which the fraction dP (0..1) of the values lie; 0 for none.
inline double Percentile(std::vector<double> arr, double dP)
{
    if (arr.empty())
        return 0.0;
    std::sort(arr.begin(), arr.end());
    return arr[std::min(arr.size() - 1, size_t(dP * double(arr.size())))];
}

// Samples kept in storage that is set up, and touched, when the run starts:
// a long run's own bookkeeping then does not show as growth of the resident
// memory it measures. Samples past the capacity are counted, not kept.
class CPreparedSamples
{
public:
    explicit CPreparedSamples(size_t nCapacity) : m_arr(nCapacity, 0.0) {}
    void Add(double d)
    {
        if (m_nCount < m_arr.size())
            m_arr[m_nCount++] = d;
        else
            ++m_nDropped;
    }
    std::vector<double> Values() const
    {
        return {m_arr.begin(), m_arr.begin() + std::ptrdiff_t(m_nCount)};
    }
    size_t Count() const { return m_nCount; }
    size_t Dropped() const { return m_nDropped; }

private:
    std::vector<double> m_arr;
    size_t m_nCount = 0;
    size_t m_nDropped = 0;
};

// The heap the program has allocated and not freed, in MiB: beside the
// resident size it tells memory in use from memory the allocator keeps.
inline double HeapInUseMiB()
{
    const struct mallinfo2 info = mallinfo2();
    return double(info.uordblks + info.hblkhd) / (1024.0 * 1024.0);
}

// Starts the tolvex-sim beside this program with arrArgs; its device, or empty
// (and a line on stderr) when it did not start.
inline QString StartSimulator(QProcess& sim, const QStringList& arrArgs)
{
    const QString strSim =
        QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("tolvex-sim"));
    sim.start(strSim, arrArgs);
    if (!sim.waitForStarted(5000) || !sim.waitForReadyRead(5000)) {
        std::fprintf(stderr, "cannot start %s\n", qPrintable(strSim));
        return QString();
    }
    return QString::fromLocal8Bit(sim.readLine()).trimmed();
}

// How late the calling thread's event loop turns against a 5 ms timer, from
// construction until Stop().
class CLatenessProbe
{
public:
    CLatenessProbe()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(5);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            if (m_tick.isValid())
                m_arrLateMs.push_back(std::max(0.0, m_tick.nsecsElapsed() / 1e6 - 5.0));
            m_tick.restart();
        });
        m_timer.start();
    }
    void Stop() { m_timer.stop(); }
    const std::vector<double>& LateMs() const { return m_arrLateMs; }

private:
    std::vector<double> m_arrLateMs;
    QElapsedTimer m_tick;
    QTimer m_timer;
};
