// The parameter sequences and the parameter page against the wire limit of
// a tolvex-sim bus at 19200 8E1 with 1 ms turnaround: a whole read, a whole
// save, a scan of 32 addresses with modules at 1, 3 and 17, and the page's
// polling rate with the UI thread's latency meanwhile. tolvex-sim runs as its
// own process so that the times are the tool's.
#include "BenchContext.h"
#include "BenchKit.h"
#include "module/ModuleCommand.h"
#include "module/ParameterTable.h"
#include "params/BusScanSequence.h"
#include "params/ParamSaveSequence.h"
#include "params/ParamSetReadSequence.h"
#include "params/ParamSettingsDialog.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

namespace {

constexpr int kBaud = 19200;
constexpr double kTurnaroundMs = 1.0;

double WireMs(qsizetype nBytes, int nExchanges)
{
    return nBytes * 11.0 * 1000.0 / kBaud + nExchanges * kTurnaroundMs;
}

template <class F> double TimedMs(F work)
{
    const auto t0 = std::chrono::steady_clock::now();
    std::thread worker(work);
    worker.join();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QProcess sim;
    const QString strDevice =
        StartSimulator(sim, {"--modules", "1,3,17", "--baud", QString::number(kBaud),
                             "--line-timing", "--turnaround-ms", QString::number(kTurnaroundMs)});
    if (strDevice.isEmpty())
        return 1;
    CBenchContext context(strDevice);
    CBusLink& link = context.BusLink();
    ComSettings settings;
    settings.m_nBaud = kBaud;
    link.m_comSettings = settings;
    if (!link.OpenBusPort()) {
        std::fprintf(stderr, "cannot open %s\n", qPrintable(strDevice));
        return 1;
    }

    // Read: COF8, unlock, 20 queries; bytes of the frames and of the replies.
    CSequenceSink sink;
    ModuleParamRecord record;
    CParamSetReadSequence::Result read;
    const double dReadMs =
        TimedMs([&] { read = CParamSetReadSequence(link, sink).Run(3, record); });
    qsizetype nReadBytes = 0;
    for (const char* psz : {"COF8", "SPW\"NiLOx\""})
        nReadBytes += CModuleCommand::Frame(3, psz).size() + 3;
    for (const CParameterTable::Parameter& step : CParameterTable::Parameters())
        nReadBytes += CModuleCommand::Query(3, step.m_pszMnemonic).m_text.size() + step.m_nReplyLen;
    const double dReadWire = WireMs(nReadBytes, 22);
    std::printf("read:  %6.1f ms for 22 exchanges, %lld bytes, wire limit %6.1f ms (%.2f x), %s\n",
                dReadMs, static_cast<long long>(nReadBytes), dReadWire, dReadMs / dReadWire,
                read.m_bComplete ? "complete" : "INCOMPLETE");

    // Save: the sixteen writes of the record just read, each acknowledged.
    link.Command(CModuleCommand::Unlock(3, 500).m_text, 500);
    CParamSaveSequence::Result save;
    const double dSaveMs = TimedMs([&] { save = CParamSaveSequence(link, sink).Run(3, record); });
    QByteArray field2, field3;
    CParamSaveSequence::SplitIdentification(record.m_strIdentification, field2, field3);
    qsizetype nSaveBytes = 0;
    for (const QByteArray& step : CParameterTable::SaveSteps()) {
        QByteArray frame;
        if (step == "GAN")
            frame = CModuleCommand::Gain(3, record.m_nGan).m_text;
        else if (step == "IDN")
            frame = CModuleCommand::WriteIdentification(3, field2, field3).m_text;
        else if (step == "TDD1")
            frame = CModuleCommand::Store(3, 1500).m_text;
        else
            frame =
                CModuleCommand::Set(3, step.constData(), *record.Field(step.constData())).m_text;
        nSaveBytes += frame.size() + 3;
    }
    const double dSaveWire = WireMs(nSaveBytes, 16);
    std::printf("save:  %6.1f ms for 16 exchanges, %lld bytes, wire limit %6.1f ms (%.2f x), "
                "%lld not acknowledged\n",
                dSaveMs, static_cast<long long>(nSaveBytes), dSaveWire, dSaveMs / dSaveWire,
                static_cast<long long>(save.m_arrNotAcknowledged.size()));

    // Scan: 29 silent addresses cost two 100 ms time-outs each.
    CBusScanSequence::Result scan;
    const double dScanMs = TimedMs([&] { scan = CBusScanSequence(link, sink).Run(); });
    std::printf("scan:  %6.0f ms for 32 addresses, %lld found, time-out floor %d ms\n", dScanMs,
                static_cast<long long>(scan.m_arrFound.size()), 29 * 2 * 100);

    // The page: a read of 3 by a grid click, then polling with recording on;
    // a 5 ms timer measures how late the UI thread turns meanwhile.
    CParamSettingsDialog page(context);
    page.show();
    QTemporaryDir dir;
    const QString strRecording = dir.filePath("bench.dat");
    CLatenessProbe probe;
    QTableWidget* pGrid = page.findChild<QTableWidget*>("gridBus");
    QTest::mouseClick(pGrid->viewport(), Qt::LeftButton, {},
                      pGrid->visualItemRect(pGrid->item(3, 0)).center());
    QElapsedTimer wait;
    wait.start();
    while (!page.IsModuleRead() && wait.elapsed() < 10000)
        QTest::qWait(5);
    page.StartRecording(strRecording);
    const double dSeconds = argc > 1 ? QString::fromLocal8Bit(argv[1]).toDouble() : 5.0;
    QElapsedTimer polling;
    polling.start();
    QTest::qWait(int(dSeconds * 1000));
    page.StopRecording();
    const double dPolled = polling.elapsed() / 1000.0;
    page.StopWorker();
    probe.Stop();
    const qint64 nReadings = QFileInfo(strRecording).size() / 12;
    const double dWirePerReading = WireMs(9 + 6, 1);
    std::printf("poll:  %6.1f readings/s on the page, wire limit %.1f/s; UI thread late by "
                "median %.2f ms, p99 %.2f ms, max %.2f ms\n",
                nReadings / dPolled, 1000.0 / dWirePerReading, Percentile(probe.LateMs(), 0.5),
                Percentile(probe.LateMs(), 0.99), Percentile(probe.LateMs(), 1.0));

    link.ClosePort();
    sim.terminate();
    sim.waitForFinished(5000);
    return read.m_bComplete ? 0 : 1;
}
