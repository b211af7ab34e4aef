// The terminal page under continuous receive at the 115200 baud 8E1 wire rate
// (10 473 bytes/s: text lines, GBK text and binary bytes) for a while, once in
// hexadecimal display without archiving and once in text display with timed
// archiving every 10 s. Measures the UI thread's event latency (a probe posted
// every 10 ms from another thread), bytes received against written, the
// resident memory every 10 s, and the CPU time.
// Usage: bench_terminal [seconds per run, default 600]
//
// Soak mode: bench_terminal soak [seconds] [hang-up every MIN-MAX seconds,
// default 180-300] [seed]: text display, timed archiving every 10 s, the
// pseudo-terminal behind a symbolic link hung up on that schedule and back
// 5-20 s later. Before each hang-up the line is drained, so every byte written
// while it was up must be received; at the end the archives (without the speed
// line each one ends with) and the text still kept must be the stream, byte
// for byte.
#include "BenchKit.h"
#include "RawPty.h"
#include "TestPageContext.h"
#include "terminal/ComAssistDialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <memory>
#include <mutex>
#include <random>
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

// Probes every 10 ms for nSeconds, with room to spare.
size_t ProbeCapacity(int nSeconds)
{
    return size_t(nSeconds) * 100 + 1000;
}

struct RunResult
{
    explicit RunResult(int nSeconds) : latencyMs(ProbeCapacity(nSeconds)) {}
    CPreparedSamples latencyMs;
    std::vector<double> arrRssMiB;
    qint64 nWritten = 0;
    quint32 nReceivedCount = 0;
    double dCpuSeconds = 0;
    int nArchives = 0;
};

RunResult Run(bool bHex, bool bArchive, int nSeconds)
{
    RunResult result(nSeconds);
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
                    result.latencyMs.Add((clock.nsecsElapsed() - nPosted) / 1e6);
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
        RunEventsFor(50);
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
    const std::vector<double> arrLatencyMs = r.latencyMs.Values();
    std::printf("  UI latency ms: p50 %.2f  p99 %.2f  max %.2f  (%zu probes)\n",
                Percentile(arrLatencyMs, 0.5), Percentile(arrLatencyMs, 0.99),
                Percentile(arrLatencyMs, 1.0), arrLatencyMs.size());
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

// The line behind a fixed path: a pseudo-terminal that can hang up and come
// back as a new one behind the same symbolic link.
class CHangingLine
{
public:
    explicit CHangingLine(const QString& strLink) : m_strLink(strLink) {}
    bool Up()
    {
        auto pPty = std::make_unique<CRawPty>();
        const QString strTemp = m_strLink + QStringLiteral(".new");
        QFile::remove(strTemp);
        if (!pPty->IsOpen() || !QFile::link(pPty->SlavePath(), strTemp) ||
            ::rename(QFile::encodeName(strTemp).constData(),
                     QFile::encodeName(m_strLink).constData()) != 0)
            return false;
        const std::lock_guard lock(m_mutex);
        m_pPty = std::move(pPty);
        return true;
    }
    void HangUp()
    {
        const std::lock_guard lock(m_mutex);
        QFile::remove(m_strLink);
        m_pPty.reset();
    }
    // Writes while the line is up; false when it is down.
    bool Write(const QByteArray& bytes)
    {
        const std::lock_guard lock(m_mutex);
        return m_pPty && m_pPty->Write(bytes);
    }

private:
    QString m_strLink;
    std::mutex m_mutex;
    std::unique_ptr<CRawPty> m_pPty;
};

// The lengths the speed text "%.2f KB/S" an archive ends with may have such
// that the rest is the stream from nPos on. Where the archived text ends in a
// digit and the stream goes on with the speed's first digit, two cuts fit:
// only the archives after it tell which one was right.
std::vector<qsizetype> SpeedTextLengths(const QByteArray& archive, const QByteArray& stream,
                                        qsizetype nPos)
{
    static const QByteArray kUnit = " KB/S";
    if (!archive.endsWith(kUnit))
        return archive == stream.mid(nPos, archive.size()) ? std::vector<qsizetype>{0}
                                                           : std::vector<qsizetype>{};
    std::vector<qsizetype> arrLengths;
    const qsizetype nDot = archive.size() - kUnit.size() - 3;
    for (qsizetype nStart = nDot - 1; nStart >= 0 && std::isdigit(uchar(archive[nStart]));
         --nStart) {
        if (archive.left(nStart) == stream.mid(nPos, nStart))
            arrLengths.push_back(archive.size() - nStart);
    }
    return arrLengths;
}

// Whether the archives from nFirst on, each without its speed text, and then
// the kept text are the stream from nPos on. nMatched gets the length of the
// stream matched on the longest way found.
bool ArchivesAreStream(const std::vector<QByteArray>& arrArchives, size_t nFirst,
                       const QByteArray& kept, const QByteArray& stream, qsizetype nPos,
                       qsizetype& nMatched)
{
    nMatched = std::max(nMatched, nPos);
    if (nFirst == arrArchives.size())
        return kept == stream.mid(nPos);
    const QByteArray& archive = arrArchives[nFirst];
    for (qsizetype nSpeed : SpeedTextLengths(archive, stream, nPos)) {
        if (ArchivesAreStream(arrArchives, nFirst + 1, kept, stream, nPos + archive.size() - nSpeed,
                              nMatched))
            return true;
    }
    return false;
}

int Soak(int nSeconds, int nUpMinS, int nUpMaxS, unsigned nSeed)
{
    QTemporaryDir dir;
    const QString strLink = dir.filePath(QStringLiteral("ttyTERM"));
    const QString strArchives = dir.filePath(QStringLiteral("archives"));
    QDir().mkpath(strArchives);
    CHangingLine line(strLink);
    if (!line.Up())
        return 1;
    CTestPageContext context;
    context.BusLink().SetDeviceResolver([strLink](int) { return strLink; });
    context.BusLink().m_comSettings.m_nBaud = 115200;
    CComAssistDialog page(context);
    page.SetWorkingDirectory(strArchives);
    page.resize(1100, 750);
    page.show();
    if (!context.IsPortOpen()) {
        std::fprintf(stderr, "port did not open\n");
        return 1;
    }
    page.findChild<QLineEdit*>(QStringLiteral("editArchiveInterval"))
        ->setText(QStringLiteral("10000"));
    page.findChild<QCheckBox*>(QStringLiteral("checkTimedArchive"))->click();

    // The writer: the wire rate while the line is up and writing is allowed.
    std::atomic<bool> bStop{false};
    std::atomic<bool> bWriting{true};
    std::atomic<qint64> nWritten{0};
    std::mutex writeMutex; // held around each write, so a hang-up waits for it
    // The stream goes to a file, not into this process's memory, whose
    // growth is measured.
    QFile streamFile(dir.filePath(QStringLiteral("stream")));
    if (!streamFile.open(QIODevice::WriteOnly))
        return 1;
    const QByteArray traffic = Traffic();
    std::thread writer([&] {
        qsizetype nPos = 0;
        while (!bStop.load()) {
            {
                const std::lock_guard lock(writeMutex);
                if (bWriting.load()) {
                    QByteArray chunk;
                    while (chunk.size() < kBytesPerSecond / 100) {
                        const qsizetype nTake = std::min<qsizetype>(
                            kBytesPerSecond / 100 - chunk.size(), traffic.size() - nPos);
                        chunk += traffic.mid(nPos, nTake);
                        nPos = (nPos + nTake) % traffic.size();
                    }
                    if (line.Write(chunk)) {
                        streamFile.write(chunk);
                        nWritten += chunk.size();
                    }
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    });

    QElapsedTimer clock;
    clock.start();
    CPreparedSamples latencyMs(ProbeCapacity(nSeconds));
    std::thread prober([&] {
        while (!bStop.load()) {
            const qint64 nPosted = clock.nsecsElapsed();
            QMetaObject::invokeMethod(
                &page,
                [&latencyMs, &clock, nPosted] {
                    latencyMs.Add((clock.nsecsElapsed() - nPosted) / 1e6);
                },
                Qt::QueuedConnection);
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    });
    const auto drain = [&] {
        QElapsedTimer t;
        t.start();
        while (qint64(page.Port().ReceivedBytes()) < nWritten.load() && t.elapsed() < 5000)
            RunEventsFor(20);
        return qint64(page.Port().ReceivedBytes()) == nWritten.load();
    };

    std::mt19937 rng(nSeed);
    const auto draw = [&rng](int nMin, int nMax) {
        return std::uniform_int_distribution<int>(nMin, nMax)(rng) * 1000LL;
    };
    const double dCpuStart = CpuSeconds();
    std::vector<double> arrRssMiB;
    std::vector<double> arrHeapMiB;
    qint64 nNextRss = 10000;
    qint64 nNextHangup = nUpMaxS > 0 ? draw(nUpMinS, nUpMaxS) : -1;
    int nHangups = 0;
    int nShortDrains = 0;
    int nNoReconnect = 0;
    while (clock.elapsed() < nSeconds * 1000LL) {
        RunEventsFor(100);
        if (clock.elapsed() >= nNextRss) {
            arrRssMiB.push_back(RssMiB());
            arrHeapMiB.push_back(HeapInUseMiB());
            nNextRss += 10000;
        }
        if (nNextHangup < 0 || clock.elapsed() < nNextHangup)
            continue;
        // Everything written so far arrives, then the adapter is pulled.
        {
            const std::lock_guard lock(writeMutex);
            bWriting = false;
        }
        nShortDrains += !drain();
        line.HangUp();
        ++nHangups;
        RunEventsFor(int(draw(5, 20)));
        const quint64 nReconnects = context.BusLink().ReconnectCount();
        if (!line.Up())
            return 1;
        QElapsedTimer back;
        back.start();
        while ((!context.IsPortOpen() || context.BusLink().ReconnectCount() == nReconnects) &&
               back.elapsed() < 30000)
            RunEventsFor(20);
        if (!context.IsPortOpen()) {
            // The link did not come back by itself: the user opens the port.
            ++nNoReconnect;
            context.OpenBusPort();
        }
        bWriting = true;
        nNextHangup = clock.elapsed() + draw(nUpMinS, nUpMaxS);
    }
    bStop = true;
    writer.join();
    prober.join();
    nShortDrains += !drain();
    const double dCpu = CpuSeconds() - dCpuStart;
    const double dWallS = clock.elapsed() / 1000.0;

    QFileInfoList arrFiles =
        QDir(strArchives).entryInfoList({QStringLiteral("*.txt")}, QDir::Files, QDir::Time);
    std::reverse(arrFiles.begin(), arrFiles.end()); // oldest first
    streamFile.close();
    streamFile.open(QIODevice::ReadOnly);
    const QByteArray stream = streamFile.readAll();
    // Each archive continues the stream where the one before it ended.
    std::vector<QByteArray> arrArchives;
    for (const QFileInfo& info : arrFiles) {
        QFile file(info.filePath());
        arrArchives.push_back(file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray());
    }
    const QByteArray kept = page.Port().ReceiveText();
    qsizetype nPos = 0;
    const bool bStreamEqual = ArchivesAreStream(arrArchives, 0, kept, stream, 0, nPos);
    const bool bBytesEqual = qint64(page.Port().ReceivedBytes()) == nWritten.load();
    if (!bStreamEqual) {
        dir.setAutoRemove(false);
        std::printf("  stream and archives kept in %s\n", qPrintable(dir.path()));
    }
    page.hide();

    std::printf("terminal soak, 115200 8E1, %.0f s, hang-ups every %d-%d s (seed %u): %d "
                "hang-ups, %d needed the port opened by hand, %d drains short\n",
                dWallS, nUpMinS, nUpMaxS, nSeed, nHangups, nNoReconnect, nShortDrains);
    std::printf("  bytes written while up %lld, received %u (%s)\n", (long long)nWritten.load(),
                page.Port().ReceivedBytes(), bBytesEqual ? "equal" : "DIFFERENT");
    std::printf("  %lld archives (%lld bytes of the stream) + %lld kept = the stream of %lld "
                "bytes: %s\n",
                (long long)arrFiles.size(), (long long)nPos, (long long)kept.size(),
                (long long)stream.size(),
                bStreamEqual ? "byte for byte"
                             : qPrintable(QStringLiteral("DIFFERENT after byte %1").arg(nPos)));
    const std::vector<double> arrLatencyMs = latencyMs.Values();
    std::printf("  UI latency ms: p50 %.2f  p99 %.2f  max %.2f; CPU %.1f %% of one core\n",
                Percentile(arrLatencyMs, 0.5), Percentile(arrLatencyMs, 0.99),
                Percentile(arrLatencyMs, 1.0), 100.0 * dCpu / dWallS);
    std::printf("  RSS MiB every 10 s:");
    for (double d : arrRssMiB)
        std::printf(" %.1f", d);
    std::printf("\n");
    if (arrRssMiB.size() > 6) {
        const auto [pMin, pMax] = std::minmax_element(arrRssMiB.begin() + 6, arrRssMiB.end());
        std::printf("  RSS after the first minute: %.1f .. %.1f MiB, at the end %.1f (growth "
                    "%+.2f, goal < 5)\n",
                    *pMin, *pMax, arrRssMiB.back(), arrRssMiB.back() - arrRssMiB[6]);
        std::printf(
            "  heap in use after the first minute: %.1f MiB, at the end %.1f (growth %+.2f)\n",
            arrHeapMiB[6], arrHeapMiB.back(), arrHeapMiB.back() - arrHeapMiB[6]);
    }
    std::fflush(stdout);
    return bBytesEqual && bStreamEqual && nNoReconnect == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc > 1 && QByteArray(argv[1]) == "soak") {
        const int nSeconds = argc > 2 ? std::max(10, atoi(argv[2])) : 300;
        const QStringList arrRange =
            QString::fromLocal8Bit(argc > 3 ? argv[3] : "180-300").split(QLatin1Char('-'));
        const unsigned nSeed = argc > 4 ? unsigned(atoi(argv[4])) : 1;
        return Soak(nSeconds, arrRange.value(0).toInt(), arrRange.value(1).toInt(), nSeed);
    }
    const int nSeconds = argc > 1 ? std::max(10, atoi(argv[1])) : 600;
    Report("hex display, no archiving", Run(true, false, nSeconds), nSeconds);
    Report("text display, archive every 10000 ms", Run(false, true, nSeconds), nSeconds);
    return 0;
}
