#include "cli/PatrolCliCommand.h"

#include "cli/CliCommands.h"
#include "cli/CliOptions.h"
#include "link/StopFlag.h"
#include "multi/CircleSettings.h"
#include "multi/PatrolObserver.h"
#include "multi/PatrolSequence.h"
#include "recording/PatrolRecorder.h"

#include <QDir>
#include <QTemporaryFile>
#include <QTextStream>

#include <array>
#include <climits>
#include <optional>

namespace {

constexpr int kDefaultTimeoutMs = 100;

// Prints each completed cycle and counts the reads of completed cycles.
class CCycleReport : public CPatrolObserver
{
public:
    CCycleReport(QTextStream& out, int nLast) : m_out(out), m_nLast(nLast) {}

    void OnRead(int nAddress, bool bOk, qint32 nValue) override
    {
        m_arrCycle[nAddress] = bOk ? std::optional<qint32>(nValue) : std::nullopt;
    }

    void OnCycle(int nCycle, qint64 nElapsedMs) override
    {
        m_out << nCycle << ' ' << nElapsedMs;
        for (int i = 0; i <= m_nLast; ++i) {
            const std::optional<qint32>& value = m_arrCycle[i];
            if (value)
                m_out << ' ' << *value;
            else
                m_out << " -";
            ++m_arrReads[i];
            if (value)
                m_arrAnswered[i] = true;
            else
                ++m_arrFailed[i];
            m_arrCycle[i].reset();
        }
        m_out << '\n';
        m_out.flush();
    }

    // "AD%d: %d of %d reads failed" for each address that answered and missed
    // reads; true when some module answered and none of those missed one.
    bool Summarise(QTextStream& err) const
    {
        bool bAnyAnswered = false;
        bool bAllRead = true;
        for (int i = 0; i <= m_nLast; ++i) {
            if (!m_arrAnswered[i])
                continue;
            bAnyAnswered = true;
            if (m_arrFailed[i] == 0)
                continue;
            bAllRead = false;
            err << "AD" << i << ": " << m_arrFailed[i] << " of " << m_arrReads[i]
                << " reads failed\n";
        }
        if (!bAnyAnswered)
            err << "no module answered\n";
        return bAnyAnswered && bAllRead;
    }

private:
    QTextStream& m_out;
    int m_nLast;
    std::array<std::optional<qint32>, CPatrolSequence::kAddresses> m_arrCycle{};
    std::array<int, CPatrolSequence::kAddresses> m_arrReads{};
    std::array<int, CPatrolSequence::kAddresses> m_arrFailed{};
    std::array<bool, CPatrolSequence::kAddresses> m_arrAnswered{};
};

} // namespace

CPatrolCliCommand::CPatrolCliCommand(CBusLink& link, QTextStream& out, QTextStream& err,
                                     const std::atomic<bool>& bStop)
    : m_link(link), m_out(out), m_err(err), m_bStop(bStop)
{
}

int CPatrolCliCommand::Usage(const QString& strError)
{
    m_err << CliOptions::UsageErrorLine(strError);
    return CCliCommands::kUsageError;
}

bool CPatrolCliCommand::PrepareFolder(const QString& strFolder)
{
    if (!QDir().mkpath(strFolder)) {
        m_err << "tolvex-cli: cannot create the folder " << strFolder << "\n";
        return false;
    }
    QTemporaryFile probe(QDir(strFolder).filePath(QStringLiteral(".tolvex-XXXXXX")));
    if (!probe.open()) {
        m_err << "tolvex-cli: cannot write in " << strFolder << ": " << probe.errorString() << "\n";
        return false;
    }
    return true;
}

int CPatrolCliCommand::Run(const QStringList& arrArgs)
{
    QStringList arrRest = arrArgs;
    std::optional<QString> strFolder;
    if (!TakeOptionText(arrRest, QStringLiteral("--record"), strFolder) ||
        (strFolder && strFolder->isEmpty()))
        return Usage(QStringLiteral("--record needs a folder"));
    CCommandArgs args(arrRest);
    QString strError;
    int nLast = -1;
    int nCycles = 1;
    int nTimeoutMs = kDefaultTimeoutMs;
    QStringList arrPositional;
    if (!args.TakeInt({QStringLiteral("--last")}, 0, CircleSettings::kLastAddress, nLast,
                      strError) ||
        !args.TakeInt({QStringLiteral("-n")}, 0, INT_MAX, nCycles, strError) ||
        !args.TakeInt({QStringLiteral("--timeout")}, CircleSettings::kMinTimeoutMs,
                      CircleSettings::kMaxTimeoutMs, nTimeoutMs, strError) ||
        !args.TakePositional(0, arrPositional, strError))
        return Usage(strError);
    if (nLast < 0)
        return Usage(QStringLiteral("patrol needs --last N, the highest address (0 to 31)"));
    if (strFolder && !PrepareFolder(*strFolder))
        return CCliCommands::kUsageError;

    CPatrolRecorder recorder;
    bool bRecordFailed = false;
    recorder.SetFailureReporter([&](const CPatrolRecorder::Failure& failure) {
        bRecordFailed = true;
        m_err << "AD" << failure.m_nAddress << ": cannot write " << failure.m_strPath << ": "
              << failure.m_strReason << "\n";
        m_err.flush();
    });
    if (strFolder)
        recorder.Start(*strFolder, nLast);

    CCycleReport report(m_out, nLast);
    CStopFlag stop(m_bStop);
    CPatrolSequence sequence(m_link, stop);
    sequence.SetMaxAddress(nLast);
    sequence.SetTimeout(nTimeoutMs);
    sequence.SetObserver(&report);
    sequence.Poll().SetSource(QStringLiteral("cli"));
    if (strFolder)
        sequence.SetRecorder(&recorder);
    sequence.Run(nCycles);
    recorder.Stop();

    const bool bAllAnswered = report.Summarise(m_err);
    return bAllAnswered && !bRecordFailed ? CCliCommands::kOk : CCliCommands::kFailed;
}
