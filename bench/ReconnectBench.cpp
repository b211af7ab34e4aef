// The UI thread while the adapter is gone: the real-time page polls a
// tolvex-sim bus (19200 8E1, line timing) behind a symbolic link; the
// simulator is killed as an unplugged adapter vanishes, and meanwhile the
// user reopens the port (as the serial dialog's OK does) and switches
// between the real-time and the parameter page every half second. A 5 ms
// timer measures how late the UI thread turns. Then the simulator comes
// back behind the same link: how long until the link has reopened it and
// replies flow again, and the CPU the tool takes while it waits.
#include "BenchContext.h"
#include "BenchKit.h"
#include "curves/PlotDisplayDialog.h"
#include "params/ParamSettingsDialog.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <vector>

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int nSeconds = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 10;
    QTemporaryDir dir;
    const QString strLink = dir.filePath(QStringLiteral("ttyBUS"));
    const QStringList arrSimArgs{"--modules",       "1", "--baud", "19200", "--line-timing",
                                 "--turnaround-ms", "1", "--link", strLink};
    QProcess sim;
    if (StartSimulator(sim, arrSimArgs).isEmpty())
        return 1;
    CBenchContext context(strLink);
    CBusLink& link = context.BusLink();
    context.m_nCurAddress = 1;
    std::atomic<int> nReconnects{0};
    QObject::connect(
        &link, &CBusLink::PortReconnected, &link, [&] { ++nReconnects; }, Qt::DirectConnection);
    if (!link.OpenBusPort())
        return 1;

    CPlotDisplayDialog realTime(context);
    CParamSettingsDialog params(context);
    // Each page is shown once before the probe starts: laying out a page
    // the first time is the UI's own work, whatever the bus does.
    params.show();
    QTest::qWait(500);
    params.hide();
    realTime.show();
    QTest::qWait(1000);

    CLatenessProbe probe;

    // Unplugged: the pseudo-terminal's other end closes under the link. (SIGTERM,
    // so that the simulator removes its symbolic link rather than leave it
    // naming a pseudo-terminal that another program may get next.)
    sim.terminate();
    sim.waitForFinished(5000);
    const double dCpuStart = CpuSeconds();
    QElapsedTimer gone;
    gone.start();
    bool bRealTimeShown = true;
    int nReopens = 0;
    while (gone.elapsed() < nSeconds * 1000) {
        QTest::qWait(500);
        link.OpenBusPort();
        ++nReopens;
        realTime.setVisible(!bRealTimeShown);
        params.setVisible(bRealTimeShown);
        bRealTimeShown = !bRealTimeShown;
    }
    const double dCpuShare = (CpuSeconds() - dCpuStart) / (gone.elapsed() / 1000.0);
    probe.Stop();

    const auto tLastBefore = link.LastReplyTime();
    QElapsedTimer back;
    back.start();
    if (StartSimulator(sim, arrSimArgs).isEmpty())
        return 1;
    while (link.LastReplyTime() == tLastBefore && back.elapsed() < 10000)
        QTest::qWait(5);
    const double dBackMs = back.elapsed();
    const bool bBack = link.LastReplyTime() != tLastBefore;

    std::printf("unplugged for %d s under the polling pages, %d reopens and tab switches: UI "
                "thread late by median %.2f ms, p99 %.2f ms, max %.2f ms; CPU %.2f %% of one "
                "core\n",
                nSeconds, nReopens, Percentile(probe.LateMs(), 0.5),
                Percentile(probe.LateMs(), 0.99), Percentile(probe.LateMs(), 1.0),
                100.0 * dCpuShare);
    std::printf("plugged in again: %s after %.0f ms (%d reconnection%s)\n",
                bBack ? "replies flow" : "NO REPLY", dBackMs, nReconnects.load(),
                nReconnects.load() == 1 ? "" : "s");
    realTime.StopWorker();
    params.StopWorker();
    link.ClosePort();
    sim.terminate();
    sim.waitForFinished(5000);
    return bBack ? 0 : 1;
}
