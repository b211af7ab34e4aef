#pragma once

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QStringList>
#include <QTimer>

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
