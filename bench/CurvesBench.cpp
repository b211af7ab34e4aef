// The curve pages under load.
//   realtime [SECONDS]: the real-time page polling one module of tolvex-sim
//     (its own process, line timing at 115200 8E1, 1 ms turnaround): CPU of
//     this process, repaints per second, and the UI thread's latency, as the
//     lateness of a 10 ms probe timer.
//   demo [SECONDS]: the same page as `tolvex --simulate` runs it: the
//     simulator in this process (modules 1, 3, 17) at the pace of 19200 8E1,
//     so the CPU is the demo's whole.
//   history [RECORDS]: a file of RECORDS records (10 million by default) on the
//     history page: load to first paint done, three times (the first load
//     in a process also pays for memory the process never had), then 1000
//     drag steps at zoom 1 and at whole-file zoom, each step painted at once.
#include "BenchContext.h"
#include "BenchKit.h"
#include "curves/HistoryDialog.h"
#include "curves/PlotDisplayDialog.h"
#include "sim/PtySimulator.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QMouseEvent>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

int RunRealTime(double dSeconds, bool bDemo)
{
    const int nBaud = bDemo ? 19200 : 115200;
    QProcess sim;
    SimOptions demoOptions;
    demoOptions.AtLinePace(nBaud);
    CPtySimulator demoSim(demoOptions);
    const QString strDevice =
        bDemo ? demoSim.Start()
              : StartSimulator(sim, {"--modules", "1", "--baud", QString::number(nBaud),
                                     "--line-timing", "--turnaround-ms", "1"});
    if (strDevice.isEmpty())
        return 1;
    CBenchContext context(strDevice);
    context.BusLink().m_comSettings.m_nBaud = nBaud;
    context.m_nCurAddress = 1;
    CPlotDisplayDialog page(context);
    page.SetRange(200000, -200000, 20);
    page.resize(1300, 600);

    std::vector<double> arrLateMs;
    QElapsedTimer probeClock;
    QTimer probe;
    probe.setInterval(10);
    qint64 nLastNs = 0;
    QObject::connect(&probe, &QTimer::timeout, [&] {
        const qint64 nNow = probeClock.nsecsElapsed();
        if (nLastNs)
            arrLateMs.push_back(std::max(0.0, (nNow - nLastNs) / 1e6 - 10.0));
        nLastNs = nNow;
    });

    page.show();
    // Settle: the set-up commands and the first values.
    QElapsedTimer settle;
    settle.start();
    while (page.ValueCount() < 10 && settle.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    const int nValuesStart = page.ValueCount();
    const int nPaintsStart = page.Plot().PaintCount();
    const double dCpuStart = CpuSeconds();
    probeClock.start();
    probe.start();
    QElapsedTimer elapsed;
    elapsed.start();
    QEventLoop loop;
    QTimer::singleShot(qint64(dSeconds * 1000), &loop, &QEventLoop::quit);
    loop.exec();
    const double dElapsed = elapsed.elapsed() / 1000.0;
    const double dCpu = CpuSeconds() - dCpuStart;
    const int nValues = page.ValueCount() - nValuesStart;
    const int nPaints = page.Plot().PaintCount() - nPaintsStart;
    probe.stop();
    page.hide();
    page.StopWorker();
    sim.terminate();
    sim.waitForFinished(5000);

    demoSim.Stop();
    std::printf("real-time page, %s%d 8E1, 1 ms turnaround, %.1f s:\n",
                bDemo ? "the demo's simulator in process, " : "", nBaud, dElapsed);
    std::printf("  values %.1f/s, repaints %.1f/s, CPU %.1f %% of one core\n", nValues / dElapsed,
                nPaints / dElapsed, 100.0 * dCpu / dElapsed);
    std::printf("  UI latency (10 ms probe lateness): median %.2f ms, p99 %.2f ms, max %.2f ms\n",
                Percentile(arrLateMs, 0.5), Percentile(arrLateMs, 0.99),
                Percentile(arrLateMs, 1.0));
    return 0;
}

void DragTo(QWidget& plot, int nX)
{
    QMouseEvent move(QEvent::MouseMove, QPointF(nX, 100), plot.mapToGlobal(QPointF(nX, 100)),
                     Qt::NoButton, Qt::RightButton, Qt::NoModifier);
    QApplication::sendEvent(&plot, &move);
}

std::vector<double> DragSteps(CHistoryDialog& page, int nSteps)
{
    C2dPlot& plot = page.Plot();
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(600, 100),
                      plot.mapToGlobal(QPointF(600, 100)), Qt::RightButton, Qt::RightButton,
                      Qt::NoModifier);
    QApplication::sendEvent(&plot, &press);
    std::vector<double> arrMs;
    int nX = 600;
    for (int i = 0; i < nSteps; ++i) {
        QElapsedTimer step;
        step.start();
        nX += (i / 100) % 2 ? 5 : -5;
        DragTo(plot, nX);
        plot.repaint();
        arrMs.push_back(step.nsecsElapsed() / 1e6);
    }
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(nX, 100),
                        plot.mapToGlobal(QPointF(nX, 100)), Qt::RightButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(&plot, &release);
    return arrMs;
}

int RunHistory(qint64 nRecords)
{
    QTemporaryDir dir;
    const QString strFile = dir.filePath("big.Dat");
    {
        QFile file(strFile);
        if (!file.open(QIODevice::WriteOnly))
            return 1;
        QByteArray chunk;
        for (qint64 i = 0; i < nRecords; ++i) {
            char record[WeightRecord::kSize];
            WeightRecord::Make(qint32((i * 7919) % 200001 - 100000), 1700000000000LL + i * 10)
                .ToBytes(record);
            chunk.append(record, sizeof record);
            if (chunk.size() >= (1 << 20)) {
                file.write(chunk);
                chunk.clear();
            }
        }
        file.write(chunk);
    }
    {
        // Warm the cache.
        QFile file(strFile);
        file.open(QIODevice::ReadOnly);
        while (!file.read(1 << 20).isEmpty()) {
        }
    }
    CBenchContext context;
    CHistoryDialog page(context);
    page.SetRange(100000, -100000, 20);
    page.resize(1300, 600);
    page.show();
    QCoreApplication::processEvents();

    std::vector<double> arrLoadMs;
    for (int i = 0; i < 3; ++i) {
        QElapsedTimer load;
        load.start();
        page.Load(strFile);
        page.Plot().repaint();
        arrLoadMs.push_back(load.nsecsElapsed() / 1e6);
    }

    const std::vector<double> arrZoom1 = DragSteps(page, 1000);
    page.SetZoom(1 << 30);
    const int nWholeZoom = page.Zoom();
    const std::vector<double> arrWhole = DragSteps(page, 1000);

    std::printf("history page, %lld records (%.0f MB), warm cache:\n", nRecords,
                nRecords * 12 / 1e6);
    std::printf("  load to first paint done: %.1f ms, again %.1f ms and %.1f ms\n", arrLoadMs[0],
                arrLoadMs[1], arrLoadMs[2]);
    std::printf("  1000 drag steps at zoom 1: median %.2f ms, p99 %.2f ms per painted step\n",
                Percentile(arrZoom1, 0.5), Percentile(arrZoom1, 0.99));
    std::printf("  1000 drag steps at zoom %d (whole file): median %.2f ms, p99 %.2f ms\n",
                nWholeZoom, Percentile(arrWhole, 0.5), Percentile(arrWhole, 0.99));
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QStringList arrArgs = app.arguments();
    const QString strMode = arrArgs.value(1, "realtime");
    if (strMode == "realtime" || strMode == "demo")
        return RunRealTime(arrArgs.value(2, "60").toDouble(), strMode == "demo");
    if (strMode == "history")
        return RunHistory(arrArgs.value(2, "10000000").toLongLong());
    std::fprintf(stderr, "usage: bench_curves realtime|demo [SECONDS] | history [RECORDS]\n");
    return 2;
}
