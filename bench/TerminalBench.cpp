// The terminal page under continuous receive at the 115200 baud 8E1 wire rate
// (10 473 bytes/s: text lines, GBK text and binary bytes) for a while, once in
// hexadecimal display without archiving and once in text display with timed
// archiving every 10 s. Measures the UI thread's event latency (a probe posted
// every 10 ms from another thread), bytes received against written, the
// resident memory every 10 s, and the CPU time.
// Usage: bench_terminal [seconds per run, default 600]
#include "BenchKit.h"
#include "RawPty.h"
#include "TestPageContext.h"
#include "terminal/ComAssistDialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLineEdit>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

namespace {

constexpr int kBytesPerSecond = 115200 / 11; // 8E1: 11 bits a byte

double RssMiB()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toDouble() * sysconf(_SC_PAGESIZE) / (1024.0 * 1024.0) : 0;
}

// What a bus might carry: module replies, GBK text, binary measured values.
QByteArray Traffic()
{
    QByteArray traffic;
    for (int i = 0; i < 200; ++i) {
        traffic += QByteArray::number(i % 32).rightJustified(2, '0') + "\r\n";
        traffic += "+0012" + QByteArray::number(i % 1000).rightJustified(3, '0') + "\r\n";
        traffic += "\xD6\xD0\xCE\xC4\xB2\xE2\xCA\xD4 ADR " + QByteArray::number(i) + "\r\n";
        const char binary[] = {char(0x01), char(i), char(0x80 | i), char(0x01 ^ i ^ (0x80 | i)),
                               '\r',       '\n'};
        traffic += QByteArray(binary, sizeof binary);
    }
    return traffic;
}

struct RunResult
{
    std::vector<double> arrLatencyMs;
    std::vector<double> arrRssMiB;
    qint64 nWritten = 0;
    quint32 nReceivedCount = 0;
    double dCpuSeconds = 0;
    int nArchives = 0;
};

RunResult Run(bool bHex, bool bArchive, int nSeconds)
{
    RunResult result;
    CRawPty pty;
    QTemporaryDir dir;
    CTestPageContext context;
    const QString strDevice = pty.SlavePath();
    context.BusLink().SetDeviceResolver([strDevice](int) { return strDevice; });
    context.BusLink().m_comSettings.m_nBaud = 115200;
    CComAssistDialog page(context);
    page.SetWorkingDirectory(dir.path());
    page.resize(1100, 750);
    page.show();
    if (!context.IsPortOpen()) {
        std::fprintf(stderr, "port did not open\n");
        return result;
    }
    if (bHex)
        page.findChild<QRadioButton*>(QStringLiteral("radioHexDisplay"))->click();
    if (bArchive) {
        page.findChild<QLineEdit*>(QStringLiteral("editArchiveInterval"))
            ->setText(QStringLiteral("10000"));
        page.findChild<QCheckBox*>(QStringLiteral("checkTimedArchive"))->click();
    }

    // The line: 1/100 of a second's bytes every 10 ms, paced on the clock.
    std::atomic<bool> bStop{false};
    std::atomic<qint64> nWritten{0};
    const QByteArray traffic = Traffic();
    std::thread writer([&] {
        using Clock = std::chrono::steady_clock;
        const auto tStart = Clock::now();
        qsizetype nPos = 0;
        while (!bStop.load()) {
            const double dElapsed = std::chrono::duration<double>(Clock::now() - tStart).count();
            const qint64 nDue = qint64(dElapsed * kBytesPerSecond) - nWritten.load();
            if (nDue > 0) {
                QByteArray chunk;
                while (chunk.size() < nDue) {
                    const qsizetype nTake =
                        std::min<qsizetype>(nDue - chunk.size(), traffic.size() - nPos);
                    chunk += traffic.mid(nPos, nTake);
                    nPos = (nPos + nTake) % traffic.size();
                }
                if (!pty.Write(chunk))
                    break;
                nWritten += chunk.size();
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    });

    // The probe: posted every 10 ms from another thread, its delay measured on arrival.
    QElapsedTimer clock;
    clock.start();
    std::thread prober([&] {
        while (!bStop.load()) {
            const qint64 nPosted = clock.nsecsElapsed();
            QMetaObject::invokeMethod(
                &page,
                [&result, &clock, nPosted] {
                    result.arrLatencyMs.push_back((clock.nsecsElapsed() - nPosted) / 1e6);
                },
                Qt::QueuedConnection);
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    });

    QTimer rss;
    QObject::connect(&rss, &QTimer::timeout, [&] { result.arrRssMiB.push_back(RssMiB()); });
    rss.start(10000);
    const double dCpuStart = CpuSeconds();
    // A loop of its own: quitting the application would close the page, and
    // with it the port, while the last bytes are still on their way.
    QEventLoop loop;
    QTimer::singleShot(nSeconds * 1000, &loop, &QEventLoop::quit);
    loop.exec();
    bStop = true;
    writer.join();
    prober.join();
    // Let the last bytes arrive.
    QElapsedTimer drain;
    drain.start();
    while (page.Port().ReceivedBytes() < quint32(nWritten.load()) && drain.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    result.dCpuSeconds = CpuSeconds() - dCpuStart;
    result.nWritten = nWritten.load();
    result.nReceivedCount = page.Port().ReceivedBytes();
    result.nArchives =
        int(QDir(dir.path()).entryList({QStringLiteral("*.txt")}, QDir::Files).size());
    page.hide();
    return result;
}

void Report(const char* pszName, const RunResult& r, int nSeconds)
{
    std::printf("%s, %d s\n", pszName, nSeconds);
    std::printf("  UI latency ms: p50 %.2f  p99 %.2f  max %.2f  (%zu probes)\n",
                Percentile(r.arrLatencyMs, 0.5), Percentile(r.arrLatencyMs, 0.99),
                Percentile(r.arrLatencyMs, 1.0), r.arrLatencyMs.size());
    std::printf("  bytes written %lld, received %u (%s)\n", (long long)r.nWritten, r.nReceivedCount,
                qint64(r.nReceivedCount) == r.nWritten ? "equal" : "DIFFERENT");
    std::printf("  CPU %.1f s (%.1f %% of one core), archives %d\n", r.dCpuSeconds,
                100.0 * r.dCpuSeconds / nSeconds, r.nArchives);
    std::printf("  RSS MiB every 10 s:");
    for (double d : r.arrRssMiB)
        std::printf(" %.1f", d);
    std::printf("\n");
    if (r.arrRssMiB.size() > 6) {
        const auto [pMin, pMax] = std::minmax_element(r.arrRssMiB.begin() + 6, r.arrRssMiB.end());
        std::printf("  RSS after the first minute: %.1f .. %.1f MiB (spread %.1f)\n", *pMin, *pMax,
                    *pMax - *pMin);
    }
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int nSeconds = argc > 1 ? std::max(10, atoi(argv[1])) : 600;
    Report("hex display, no archiving", Run(true, false, nSeconds), nSeconds);
    Report("text display, archive every 10000 ms", Run(false, true, nSeconds), nSeconds);
    return 0;
}
