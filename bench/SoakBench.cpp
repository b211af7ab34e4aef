// A soak under faults: the multi-module and real-time pages (off screen) on a
// tolvex-sim bus at 19200 8E1 with line timing, each module answering in a
// value band of its own, a fraction of the replies faulted and the line hung
// up now and then. The bench acts as a user: the multi-module page patrols and
// records .sdat files; every few minutes the real-time page records a .Dat and
// .txt pair for a while; after a hang-up a page is entered again only when the
// link did not come back by itself. Every successful read the tool reports is
// then looked for in its file: there exactly once, in order.
//
//   bench_soak [--modules N] [--seconds S] [--faults P] [--seed N]
//              [--hangup-every A-B] [--realtime-every S] [--realtime-for S]
//              [--broker-restart-every S]
//
// With --broker-restart-every, remote monitoring publishes every reading to a
// mosquitto of its own on loopback, stopped for 5 s and started again that
// often; a durable subscriber collects what arrives, and each address's
// sequence numbers must come in order, a gap only where the queue dropped.
#include "BenchContext.h"
#include "BenchKit.h"
#include "TestBroker.h"
#include "curves/PlotDisplayDialog.h"
#include "link/ReadingTap.h"
#include "multi/32DisplayDialog.h"
#include "multi/PatrolWorker.h"
#include "recording/BoundedRead.h"
#include "recording/PatrolFileReader.h"
#include "recording/WeightRecord.h"
#include "remote/RemoteMonitor.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <array>
#include <chrono>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// The simulator's band per address (--band) and what it makes of it: module a
// reads 5000·a plus a load of 0..2000 and a little noise.
constexpr int kBandRaw = 400000;
constexpr qint32 kBandValue = 5000;
constexpr qint32 kLoadValue = 2000;
constexpr qint32 kSlack = 5;

bool InBand(int nAddress, qint32 nValue)
{
    return nValue >= nAddress * kBandValue - kSlack &&
           nValue <= nAddress * kBandValue + kLoadValue + kSlack;
}

qint64 RssKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return 0;
}

// Every reading the link's readers report, as they saw it.
class CReadingLog : public CReadingSink
{
public:
    struct Source
    {
        std::array<std::vector<qint32>, 32> m_arrValues; // successful reads per address
        std::map<QString, int> m_failed;                 // failed reads per reason
    };

    void OnReading(const MeasuredReading& reading) override
    {
        const std::lock_guard lock(m_mutex);
        Source& source = m_sources[reading.m_strSource];
        if (!reading.m_bOk) {
            ++source.m_failed[reading.m_strReason];
            return;
        }
        if (reading.m_nAddress >= 0 && reading.m_nAddress < 32)
            source.m_arrValues[size_t(reading.m_nAddress)].push_back(reading.m_nRaw);
        if (!InBand(reading.m_nAddress, reading.m_nRaw)) {
            ++m_nMisfiled;
            std::printf("MISFILED: %s read %d from address %d\n", qPrintable(reading.m_strSource),
                        reading.m_nRaw, reading.m_nAddress);
        }
        m_tLastOk = Clock::now();
        ++m_nOk;
    }
    void OnPatrolCycle(qint64, int) override {}

    // The successful reads of a source and address from index nFrom on.
    std::vector<qint32> Since(const QString& strSource, int nAddress, size_t nFrom) const
    {
        const std::lock_guard lock(m_mutex);
        const auto it = m_sources.find(strSource);
        if (it == m_sources.end())
            return {};
        const std::vector<qint32>& arr = it->second.m_arrValues[size_t(nAddress)];
        return std::vector<qint32>(arr.begin() + qint64(std::min(nFrom, arr.size())), arr.end());
    }
    size_t Count(const QString& strSource, int nAddress) const
    {
        const std::lock_guard lock(m_mutex);
        const auto it = m_sources.find(strSource);
        return it == m_sources.end() ? 0 : it->second.m_arrValues[size_t(nAddress)].size();
    }
    // Drops the values of a source once its files were checked, so that the
    // log does not count as the tool's growth.
    void Forget(const QString& strSource)
    {
        const std::lock_guard lock(m_mutex);
        for (std::vector<qint32>& arr : m_sources[strSource].m_arrValues)
            std::vector<qint32>().swap(arr);
    }
    std::map<QString, Source> Sources() const
    {
        const std::lock_guard lock(m_mutex);
        return m_sources;
    }
    Clock::time_point LastOk() const
    {
        const std::lock_guard lock(m_mutex);
        return m_tLastOk;
    }
    quint64 OkCount() const
    {
        const std::lock_guard lock(m_mutex);
        return m_nOk;
    }
    int Misfiled() const
    {
        const std::lock_guard lock(m_mutex);
        return m_nMisfiled;
    }

private:
    mutable std::mutex m_mutex;
    std::map<QString, Source> m_sources;
    Clock::time_point m_tLastOk = Clock::now();
    quint64 m_nOk = 0;
    int m_nMisfiled = 0;
};

// Hands every reading to two sinks: the bench's log and remote monitoring.
class CTeeSink : public CReadingSink
{
public:
    CTeeSink(std::shared_ptr<CReadingSink> pFirst, std::shared_ptr<CReadingSink> pSecond)
        : m_pFirst(std::move(pFirst)), m_pSecond(std::move(pSecond))
    {
    }
    void OnReading(const MeasuredReading& reading) override
    {
        m_pFirst->OnReading(reading);
        m_pSecond->OnReading(reading);
    }
    void OnPatrolCycle(qint64 nElapsedMs, int nMaxAddress) override
    {
        m_pFirst->OnPatrolCycle(nElapsedMs, nMaxAddress);
        m_pSecond->OnPatrolCycle(nElapsedMs, nMaxAddress);
    }

private:
    std::shared_ptr<CReadingSink> m_pFirst;
    std::shared_ptr<CReadingSink> m_pSecond;
};

struct Options
{
    int m_nModules = 8;
    int m_nSeconds = 300;
    QString m_strFaults = QStringLiteral("0.01");
    QString m_strSeed = QStringLiteral("1");
    QString m_strHangups = QStringLiteral("180-300");
    int m_nRealTimeEveryS = 150;
    int m_nRealTimeForS = 60;
    int m_nBrokerRestartS = 0; // 0: no remote monitoring
};

bool ParseOptions(const QStringList& arrArgs, Options& options)
{
    for (qsizetype i = 1; i + 1 < arrArgs.size(); i += 2) {
        const QString& strName = arrArgs[i];
        const QString& strValue = arrArgs[i + 1];
        if (strName == "--modules")
            options.m_nModules = std::clamp(strValue.toInt(), 1, 32);
        else if (strName == "--seconds")
            options.m_nSeconds = std::max(10, strValue.toInt());
        else if (strName == "--faults")
            options.m_strFaults = strValue;
        else if (strName == "--seed")
            options.m_strSeed = strValue;
        else if (strName == "--hangup-every")
            options.m_strHangups = strValue;
        else if (strName == "--realtime-every")
            options.m_nRealTimeEveryS = std::max(2, strValue.toInt());
        else if (strName == "--broker-restart-every")
            options.m_nBrokerRestartS = std::max(0, strValue.toInt());
        else if (strName == "--realtime-for")
            options.m_nRealTimeForS = std::max(1, strValue.toInt());
        else
            return false;
    }
    options.m_nRealTimeForS = std::min(options.m_nRealTimeForS, options.m_nRealTimeEveryS - 1);
    return arrArgs.size() % 2 == 1;
}

class CSoak
{
public:
    CSoak(const Options& options, const QString& strLink)
        : m_options(options), m_context(strLink), m_patrol(m_context), m_realTime(m_context)
    {
        m_context.BusLink().Readings().SetSink(m_pLog);
        CircleSettings settings = m_patrol.Settings();
        settings.m_nMaxAddress = options.m_nModules - 1;
        m_patrol.ApplySettings(settings);
        m_probe.setTimerType(Qt::PreciseTimer);
        m_probe.setInterval(kProbeMs);
        QObject::connect(&m_probe, &QTimer::timeout, [this] {
            if (m_tick.isValid()) {
                const double dLateMs = std::max(0.0, m_tick.nsecsElapsed() / 1e6 - kProbeMs);
                m_arrLateMs.push_back(dLateMs);
                m_nHangs += dLateMs > 2000.0;
            }
            m_tick.restart();
        });
    }

    // The simulator's "hang-up" and "back" lines.
    void OnSimulatorLine(const QByteArray& line)
    {
        if (line.startsWith("hang-up")) {
            m_bLineUp = false;
            ++m_nHangups;
        } else if (line.startsWith("back")) {
            m_bLineUp = true;
            m_tBack = Clock::now();
            m_bBackChecked = false;
        }
    }

    int Run()
    {
        if (m_options.m_nBrokerRestartS > 0 && !StartMonitoring())
            return 1;
        if (!m_context.BusLink().OpenBusPort())
            std::printf("the port did not open at the start\n");
        // Room for every probe up front: the bench's own memory stays flat.
        m_arrLateMs.reserve(size_t(m_options.m_nSeconds) * 1000 / kProbeMs + 1000);
        m_run.start();
        m_probe.start();
        m_dCpuStart = CpuSeconds();
        int nRealTime = 0;
        const int nPatrolS = m_options.m_nRealTimeEveryS - m_options.m_nRealTimeForS;
        while (!TimeUp()) {
            BeginPatrol();
            WaitSeconds(nPatrolS);
            EndPatrol();
            if (TimeUp())
                break;
            m_context.m_nCurAddress = nRealTime++ % m_options.m_nModules;
            BeginRealTime();
            WaitSeconds(m_options.m_nRealTimeForS);
            EndRealTime();
        }
        m_probe.stop();
        const double dWallS = m_run.elapsed() / 1000.0;
        const double dCpu = CpuSeconds() - m_dCpuStart;
        m_patrol.StopWorker();
        m_realTime.StopWorker();
        m_context.BusLink().ClosePort();
        const bool bMqttOk = m_options.m_nBrokerRestartS == 0 || ReportMonitoring();
        return Report(dWallS, dCpu, bMqttOk);
    }

private:
    static constexpr int kProbeMs = 50;

    bool TimeUp() const { return m_run.elapsed() >= qint64(m_options.m_nSeconds) * 1000; }

    QAbstractButton* Button(const char* pszName) const
    {
        return m_patrol.findChild<QAbstractButton*>(QLatin1String(pszName));
    }

    // Waits, as the user does, watching for stalls and lines that came back
    // without the link reopening them.
    void WaitSeconds(int nSeconds)
    {
        const qint64 nUntil = std::min<qint64>(m_run.elapsed() + nSeconds * 1000LL,
                                               qint64(m_options.m_nSeconds) * 1000);
        while (m_run.elapsed() < nUntil) {
            QTest::qWait(100);
            Tick();
        }
    }

    bool StartMonitoring()
    {
        if (CTestBroker::Program().isEmpty() || !m_broker.Start()) {
            std::printf("mosquitto did not start\n");
            return false;
        }
        m_subscriber.setStandardOutputFile(m_mqttDir.filePath(QStringLiteral("received")));
        m_subscriber.start(QStringLiteral("mosquitto_sub"),
                           {"-p", QString::number(m_broker.Port()), "-t", "soak/#", "-q", "1", "-c",
                            "-i", "soak-sub", "-F", "%t %p"});
        m_subscriber.waitForStarted();
        QTest::qWait(500);
        MqttSettings settings;
        settings.m_strHost = QStringLiteral("127.0.0.1");
        settings.m_nPort = m_broker.Port();
        settings.m_strPrefix = QStringLiteral("soak");
        settings.m_strClientId = QStringLiteral("soak-tool");
        m_monitor.Start(settings);
        CReadingTap& tap = m_context.BusLink().Readings();
        tap.SetSink(std::make_shared<CTeeSink>(m_pLog, tap.Sink()));
        m_tBrokerNext = Clock::now() + std::chrono::seconds(m_options.m_nBrokerRestartS);
        return true;
    }

    // Stopped for 5 s every so often, then started again on its port.
    void TickBroker()
    {
        if (m_options.m_nBrokerRestartS == 0 || Clock::now() < m_tBrokerNext)
            return;
        if (m_bBrokerUp) {
            m_broker.Stop();
            m_bBrokerUp = false;
            ++m_nBrokerRestarts;
            m_tBrokerNext = Clock::now() + std::chrono::seconds(5);
        } else {
            m_bBrokerUp = m_broker.Start();
            if (!m_bBrokerUp)
                std::printf("mosquitto did not start again\n");
            m_tBrokerNext = Clock::now() + std::chrono::seconds(m_options.m_nBrokerRestartS);
        }
    }

    bool ReportMonitoring()
    {
        if (!m_bBrokerUp)
            m_bBrokerUp = m_broker.Start();
        // The queue goes out once the publisher is connected again.
        QElapsedTimer reconnect;
        reconnect.start();
        while (m_monitor.GetStatus().m_state != CMqttPublisher::State::Connected &&
               reconnect.elapsed() < 30000)
            QTest::qWait(100);
        const quint64 nLeft = m_monitor.Stop(10000);
        const CMqttPublisher::Status status = m_monitor.GetStatus();
        QTest::qWait(2000);
        m_subscriber.terminate();
        m_subscriber.waitForFinished(5000);
        QFile file(m_mqttDir.filePath(QStringLiteral("received")));
        std::map<int, qint64> lastSeq;
        std::map<int, std::set<qint64>> seen;
        quint64 nMessages = 0;
        quint64 nGaps = 0;
        quint64 nRepeated = 0;
        quint64 nBackwards = 0;
        if (file.open(QIODevice::ReadOnly)) {
            while (!file.atEnd()) {
                const QByteArray line = file.readLine().trimmed();
                const qsizetype nBrace = line.indexOf('{');
                if (nBrace < 0 || !(line.contains("/value ") || line.contains("/error ")))
                    continue;
                const QJsonObject json = QJsonDocument::fromJson(line.mid(nBrace)).object();
                const int nAddress = json.value(QStringLiteral("addr")).toInt();
                const qint64 nSeq = json.value(QStringLiteral("seq")).toInteger();
                const qint64 nLast = lastSeq.count(nAddress) ? lastSeq[nAddress] : 0;
                ++nMessages;
                // QoS 1 delivers at least once: a repeat is allowed, a step back not.
                if (!seen[nAddress].insert(nSeq).second) {
                    ++nRepeated;
                    continue;
                }
                if (nSeq < nLast) {
                    ++nBackwards;
                    continue;
                }
                nGaps += quint64(nSeq - nLast - 1);
                lastSeq[nAddress] = nSeq;
            }
        }
        std::printf("remote monitoring: broker stopped and started %d times; %llu readings "
                    "received, %llu missing (the queue dropped %llu, %llu undelivered at the "
                    "end), %llu out of order, %llu repeated\n",
                    m_nBrokerRestarts, static_cast<unsigned long long>(nMessages),
                    static_cast<unsigned long long>(nGaps),
                    static_cast<unsigned long long>(status.m_nDropped),
                    static_cast<unsigned long long>(nLeft),
                    static_cast<unsigned long long>(nBackwards),
                    static_cast<unsigned long long>(nRepeated));
        return nBackwards == 0 && nGaps <= status.m_nDropped + nLeft;
    }

    void Tick()
    {
        TickBroker();
        const qint64 nElapsedMs = m_run.elapsed();
        const qint64 nRss = RssKiB();
        m_nRssMaxKiB = std::max(m_nRssMaxKiB, nRss);
        // Growth counts from minute 1, once both pages have been shown: the
        // first show of a page allocates what it keeps for good.
        if (m_nRssBaseKiB == 0 && m_nDatFiles > 0 && nElapsedMs >= 60000) {
            m_nRssBaseKiB = nRss;
            m_nRssBaseS = int(nElapsedMs / 1000);
        }
        m_nRssEndKiB = nRss;

        const Clock::time_point tNow = Clock::now();
        if (!m_bLineUp)
            return;
        // Back for 5 s and nothing read since: the user enters the page again.
        if (m_tBack && !m_bBackChecked && tNow - *m_tBack > std::chrono::seconds(5)) {
            m_bBackChecked = true;
            if (m_pLog->LastOk() < *m_tBack) {
                ++m_nReentries;
                std::printf("%.0f s: no read 5 s after the line came back: page entered again\n",
                            nElapsedMs / 1000.0);
                Reenter();
            }
        }
        // Up, settled, and no read for 5 s: a stall.
        const Clock::time_point tSettled = std::max(m_tStintStart, m_tBack.value_or(m_tStintStart));
        const bool bQuiet = tNow - m_pLog->LastOk() > std::chrono::seconds(5);
        if (bQuiet && tNow - tSettled > std::chrono::seconds(10) && !m_bStalled) {
            ++m_nStalls;
            std::printf("%.0f s: STALL, no read for 5 s while the line is up\n",
                        nElapsedMs / 1000.0);
        }
        m_bStalled = bQuiet;
    }

    void Reenter()
    {
        if (m_bRealTimeShown) {
            EndRealTime();
            BeginRealTime();
        } else {
            m_patrol.hide();
            QTest::qWait(200);
            m_patrol.show();
        }
    }

    void WaitUntilStopped(const std::function<bool()>& fnRunning)
    {
        QElapsedTimer wait;
        wait.start();
        while (fnRunning() && wait.elapsed() < 10000)
            QTest::qWait(10);
        if (fnRunning())
            std::printf("a worker did not stop within 10 s\n");
        // What the worker posted before it ended reaches the page.
        QTest::qWait(50);
    }

    void BeginPatrol()
    {
        m_tStintStart = Clock::now();
        m_patrol.show();
        QTest::qWait(200);
        // Stop the patrol, start recording, patrol again: every read of the
        // stint goes to the recording.
        Button("buttonPatrol")->click();
        WaitUntilStopped([this] { return m_patrol.Worker().IsRunning(); });
        Button("buttonSave")->click();
        for (int a = 0; a < m_options.m_nModules; ++a)
            m_arrPatrolMark[size_t(a)] = m_pLog->Count(QStringLiteral("patrol"), a);
        Button("buttonPatrol")->click();
    }

    void EndPatrol()
    {
        Button("buttonPatrol")->click();
        WaitUntilStopped([this] { return m_patrol.Worker().IsRunning(); });
        Button("buttonSave")->click();
        ++m_nSdatSets;
        for (int a = 0; a < m_options.m_nModules; ++a) {
            const std::vector<qint32> arrSeen =
                m_pLog->Since(QStringLiteral("patrol"), a, m_arrPatrolMark[size_t(a)]);
            const QString strPath = m_patrol.Recorder().FilePath(a);
            QList<qint32> arrValues;
            qsizetype nTorn = 0;
            if (const int nError = CPatrolFileReader::Read(strPath, arrValues, nTorn))
                Fault(QStringLiteral("%1: %2").arg(
                    strPath, CBoundedRead::ErrorText(nError, CPatrolFileReader::kMaxBytes)));
            if (nTorn != 0)
                Fault(QStringLiteral("%1: %2 bytes after the last whole value")
                          .arg(strPath)
                          .arg(nTorn));
            const std::vector<qint32> arrFile(arrValues.begin(), arrValues.end());
            Compare(strPath, arrSeen, arrFile);
            m_nRecordedValues += arrFile.size();
        }
        m_pLog->Forget(QStringLiteral("patrol"));
        m_patrol.hide();
    }

    void BeginRealTime()
    {
        m_tStintStart = Clock::now();
        m_strLastDataPath = m_realTime.DataPath();
        m_nRealTimeMark = m_pLog->Count(QStringLiteral("realtime"), m_context.m_nCurAddress);
        m_bRealTimeShown = true;
        m_realTime.show();
    }

    void EndRealTime()
    {
        m_realTime.hide();
        m_bRealTimeShown = false;
        WaitUntilStopped([this] { return m_realTime.IsRunning(); });
        const std::vector<qint32> arrSeen =
            m_pLog->Since(QStringLiteral("realtime"), m_context.m_nCurAddress, m_nRealTimeMark);
        const QString strData = m_realTime.DataPath();
        if (strData == m_strLastDataPath) {
            // The worker never started (the line was down): nothing to find.
            if (!arrSeen.empty())
                Fault(QStringLiteral("%1 reads and no recording").arg(arrSeen.size()));
            return;
        }
        ++m_nDatFiles;
        QFile data(strData);
        std::vector<qint32> arrData;
        if (data.open(QIODevice::ReadOnly)) {
            const QByteArray bytes = data.readAll();
            if (bytes.size() % WeightRecord::kSize != 0)
                Fault(QStringLiteral("%1: not whole records").arg(strData));
            for (qsizetype i = 0; i + WeightRecord::kSize <= bytes.size(); i += WeightRecord::kSize)
                arrData.push_back(WeightRecord::FromBytes(bytes.constData() + i).m_nValue);
        }
        QFile text(m_realTime.TextPath());
        std::vector<qint32> arrText;
        if (text.open(QIODevice::ReadOnly)) {
            for (const QByteArray& line : text.readAll().split('\n')) {
                if (!line.trimmed().isEmpty())
                    arrText.push_back(line.trimmed().split(' ').value(0).toInt());
            }
        }
        Compare(strData, arrSeen, arrData);
        Compare(text.fileName(), arrSeen, arrText);
        m_nRecordedValues += arrData.size();
        m_pLog->Forget(QStringLiteral("realtime"));
    }

    // What the readers saw against what the file holds.
    void Compare(const QString& strFile, const std::vector<qint32>& arrSeen,
                 const std::vector<qint32>& arrFile)
    {
        if (arrSeen == arrFile)
            return;
        size_t nFirst = 0;
        while (nFirst < arrSeen.size() && nFirst < arrFile.size() &&
               arrSeen[nFirst] == arrFile[nFirst])
            ++nFirst;
        Fault(QStringLiteral("%1: %2 values read, %3 in the file, first difference at %4")
                  .arg(strFile)
                  .arg(arrSeen.size())
                  .arg(arrFile.size())
                  .arg(nFirst));
    }

    void Fault(const QString& strText)
    {
        ++m_nRecordFaults;
        std::printf("RECORDING: %s\n", qPrintable(strText));
    }

    int Report(double dWallS, double dCpu, bool bMqttOk)
    {
        const double dGrowthMiB =
            m_nRssBaseKiB == 0 ? 0.0 : (m_nRssEndKiB - m_nRssBaseKiB) / 1024.0;
        std::printf("soak: %d modules, %.0f s, faults %s, seed %s, hang-ups every %s s\n",
                    m_options.m_nModules, dWallS, qPrintable(m_options.m_strFaults),
                    qPrintable(m_options.m_strSeed), qPrintable(m_options.m_strHangups));
        std::printf("line hung up %d times; pages entered again %d times; stalls %d\n", m_nHangups,
                    m_nReentries, m_nStalls);
        std::printf("successful reads %llu, %llu recorded in %d .sdat sets and %d .Dat/.txt "
                    "pairs; recording faults %d; misfiled values %d\n",
                    static_cast<unsigned long long>(m_pLog->OkCount()),
                    static_cast<unsigned long long>(m_nRecordedValues), m_nSdatSets, m_nDatFiles,
                    m_nRecordFaults, m_pLog->Misfiled());
        for (const auto& [strSource, source] : m_pLog->Sources()) {
            QString strFailed;
            for (const auto& [strReason, nCount] : source.m_failed)
                strFailed += QStringLiteral(" %1 %2,").arg(strReason).arg(nCount);
            std::printf("failed %s reads:%s\n", qPrintable(strSource),
                        strFailed.isEmpty() ? " none" : qPrintable(strFailed.chopped(1)));
        }
        std::printf("UI thread late by median %.2f ms, p99 %.2f ms, max %.1f ms; hangs (> 2 s) "
                    "%d\n",
                    Percentile(m_arrLateMs, 0.5), Percentile(m_arrLateMs, 0.99),
                    Percentile(m_arrLateMs, 1.0), m_nHangs);
        if (m_nRssBaseKiB == 0)
            std::printf("RSS %.1f MiB at the end, peak %.1f MiB (too short a run for its growth); ",
                        m_nRssEndKiB / 1024.0, m_nRssMaxKiB / 1024.0);
        else
            std::printf("RSS %.1f MiB at %d s, %.1f MiB at the end (growth %+.2f MiB, goal < 5), "
                        "peak %.1f MiB; ",
                        m_nRssBaseKiB / 1024.0, m_nRssBaseS, m_nRssEndKiB / 1024.0, dGrowthMiB,
                        m_nRssMaxKiB / 1024.0);
        std::printf("CPU %.1f %% of one core\n", 100.0 * dCpu / dWallS);
        const bool bOk = bMqttOk && m_nHangs == 0 && m_nStalls == 0 && m_nRecordFaults == 0 &&
                         m_pLog->Misfiled() == 0 && dGrowthMiB < 5.0;
        std::printf("%s\n", bOk ? "goals met" : "GOALS MISSED");
        return bOk ? 0 : 1;
    }

    Options m_options;
    CBenchContext m_context;
    C32DisplayDialog m_patrol;
    CPlotDisplayDialog m_realTime;
    std::shared_ptr<CReadingLog> m_pLog = std::make_shared<CReadingLog>();

    CTestBroker m_broker;
    bool m_bBrokerUp = true;
    int m_nBrokerRestarts = 0;
    Clock::time_point m_tBrokerNext;
    CRemoteMonitor m_monitor{m_context.BusLink()};
    QTemporaryDir m_mqttDir;
    QProcess m_subscriber;

    QElapsedTimer m_run;
    double m_dCpuStart = 0.0;
    QTimer m_probe;
    QElapsedTimer m_tick;
    std::vector<double> m_arrLateMs;
    int m_nHangs = 0;

    bool m_bLineUp = true;
    int m_nHangups = 0;
    std::optional<Clock::time_point> m_tBack;
    bool m_bBackChecked = true;
    int m_nReentries = 0;
    Clock::time_point m_tStintStart = Clock::now();
    bool m_bStalled = false;
    int m_nStalls = 0;

    std::array<size_t, 32> m_arrPatrolMark{};
    size_t m_nRealTimeMark = 0;
    bool m_bRealTimeShown = false;
    QString m_strLastDataPath;
    int m_nSdatSets = 0;
    int m_nDatFiles = 0;
    quint64 m_nRecordedValues = 0;
    int m_nRecordFaults = 0;

    qint64 m_nRssBaseKiB = 0;
    int m_nRssBaseS = 0;
    qint64 m_nRssEndKiB = 0;
    qint64 m_nRssMaxKiB = 0;
};

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Options options;
    if (!ParseOptions(app.arguments(), options)) {
        std::fprintf(stderr, "usage: bench_soak [--modules N] [--seconds S] [--faults P] [--seed "
                             "N] [--hangup-every A-B] [--realtime-every S] [--realtime-for S] "
                             "[--broker-restart-every S]\n");
        return 2;
    }
    // The patrol records into the working folder.
    QTemporaryDir dir;
    QDir::setCurrent(dir.path());
    const QString strLink = dir.filePath(QStringLiteral("ttyBUS"));
    QStringList arrModules;
    for (int a = 0; a < options.m_nModules; ++a)
        arrModules << QString::number(a);
    QStringList arrSimArgs{"--modules",
                           arrModules.join(','),
                           "--baud",
                           "19200",
                           "--line-timing",
                           "--turnaround-ms",
                           "1",
                           "--band",
                           QString::number(kBandRaw),
                           "--faults",
                           options.m_strFaults,
                           "--seed",
                           options.m_strSeed,
                           "--link",
                           strLink};
    if (options.m_strHangups != "0")
        arrSimArgs << "--hangup-every" << options.m_strHangups;
    QProcess sim;
    if (StartSimulator(sim, arrSimArgs).isEmpty())
        return 1;

    CSoak soak(options, strLink);
    QObject::connect(&sim, &QProcess::readyReadStandardOutput, [&] {
        while (sim.canReadLine())
            soak.OnSimulatorLine(sim.readLine());
    });
    const int nResult = soak.Run();
    sim.terminate();
    sim.waitForFinished(5000);
    std::printf("simulator: %s", sim.readAllStandardError().constData());
    std::fflush(stdout);
    return nResult;
}
