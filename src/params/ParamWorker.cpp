#include "params/ParamWorker.h"

#include "link/BusLink.h"
#include "module/ModuleCommand.h"
#include "params/AddressChangeSequence.h"
#include "params/BusScanSequence.h"
#include "params/GrossNetSequence.h"
#include "params/ParamSaveSequence.h"
#include "params/ParamSetReadSequence.h"
#include "params/TareSequence.h"
#include "recording/WeightRecord.h"
#include "uikit/PageContext.h"

#include <QDateTime>

namespace {

// Hands a sequence's reports on to the worker's signals.
class CSignalSink : public CSequenceSink
{
public:
    explicit CSignalSink(CParamWorker& worker) : m_worker(worker) {}

    void SetCellText(int nAddress, const QString& strText) override
    {
        Q_EMIT m_worker.CellText(nAddress, strText);
    }
    void ShowProgress(const QString& strText) override { Q_EMIT m_worker.ProgressShown(strText); }
    void ClearProgress() override { Q_EMIT m_worker.ProgressCleared(); }
    void OnValue(const char* pszMnemonic, qint32 nValue) override
    {
        Q_EMIT m_worker.ValueRead(QByteArray(pszMnemonic), nValue);
    }
    void OnIdentification(const QByteArray& text) override
    {
        Q_EMIT m_worker.IdentificationRead(text);
    }

private:
    CParamWorker& m_worker;
};

} // namespace

CParamWorker::CParamWorker(CPageContext& context, QObject* parent)
    : QObject(parent), m_context(context)
{
}

CParamWorker::~CParamWorker()
{
    Shutdown();
}

bool CParamWorker::PostRequest(const ParamRequest& request)
{
    if (!m_context.IsPortOpen())
        return false;
    std::lock_guard lock(m_lifeMutex);
    if (m_bShutdown)
        return false;
    m_nRequest = request.Pack();
    m_bStop = false;
    if (!m_bRunning) {
        if (m_thread.joinable())
            m_thread.join(); // it has left its loop already
        m_bRunning = true;
        m_thread = std::thread(&CParamWorker::Run, this);
    }
    return true;
}

bool CParamWorker::PostSave(const ParamRequest& request, const ModuleParamRecord& record)
{
    if (!m_context.IsPortOpen())
        return false;
    {
        std::lock_guard lock(m_saveMutex);
        m_saveRecord = record;
    }
    return PostRequest(request);
}

void CParamWorker::Shutdown()
{
    {
        std::lock_guard lock(m_lifeMutex);
        m_bShutdown = true;
        m_bStop = true;
    }
    if (m_thread.joinable())
        m_thread.join();
    StopRecording();
}

void CParamWorker::SetStatistics(const CWeightReading::Statistics& statistics)
{
    std::lock_guard lock(m_statisticsMutex);
    m_statistics = statistics;
}

bool CParamWorker::StartRecording(const QString& strPath, int& nError)
{
    std::lock_guard lock(m_recordMutex);
    m_bRecording = false;
    m_recording.Close();
    if (!m_recording.CreateOrTruncate(strPath)) {
        nError = m_recording.Error();
        return false;
    }
    m_bRecording = true;
    return true;
}

void CParamWorker::StopRecording()
{
    std::lock_guard lock(m_recordMutex);
    m_bRecording = false;
    m_recording.Close();
}

bool CParamWorker::IsRecording() const
{
    std::lock_guard lock(m_recordMutex);
    return m_bRecording;
}

void CParamWorker::Run()
{
    // The unlock pair when the worker starts; the answers are not looked at.
    const int nAddress = m_nPollAddress;
    for (const ModuleRequest& request :
         {CModuleCommand::BinaryOutput(nAddress, CModuleCommand::kShortTimeoutMs),
          CModuleCommand::Unlock(nAddress, CModuleCommand::kShortTimeoutMs)})
        m_context.Command(request.m_text, request.m_nTimeoutMs);
    for (;;) {
        while (!m_bStop)
            Step();
        // A request posted while the loop was ending cleared the stop flag
        // under this lock: it is carried out, not lost.
        std::lock_guard lock(m_lifeMutex);
        if (m_bStop) {
            m_bRunning = false;
            return;
        }
    }
}

void CParamWorker::Step()
{
    ParamRequest request;
    if (!ParamRequest::Unpack(m_nRequest.exchange(0), request)) {
        WeightReading(m_nPollAddress);
        return;
    }
    Carry(request);
}

void CParamWorker::Carry(const ParamRequest& request)
{
    switch (request.m_nGroup) {
    case 0:
        if (request.m_nKind == ParamRequest::kGross || request.m_nKind == ParamRequest::kNet) {
            CGrossNetSequence(m_context.BusLink())
                .Run(request.m_nAddress, request.m_nKind == ParamRequest::kNet);
        } else if (request.m_nKind == ParamRequest::kTare) {
            const CTareSequence::Result result =
                CTareSequence(m_context.BusLink()).Run(request.m_nAddress);
            if (result.m_bHasTare)
                Q_EMIT TareRead(result.m_nTare);
        } else {
            WeightReading(request.m_nAddress);
        }
        break;
    case 1:
        if (request.m_nKind == ParamRequest::kScan) {
            Scan();
        } else if (request.m_nKind == ParamRequest::kChangeAddress) {
            ChangeAddress(request.m_nAddress, request.m_nNewAddress);
        } else if (request.m_nKind == ParamRequest::kRead ||
                   request.m_nKind == ParamRequest::kUnlockAndRead) {
            if (request.m_nKind == ParamRequest::kUnlockAndRead)
                for (const ModuleRequest& unlock :
                     {CModuleCommand::BinaryOutput(request.m_nAddress,
                                                   CModuleCommand::kShortTimeoutMs),
                      CModuleCommand::Unlock(request.m_nAddress, CModuleCommand::kShortTimeoutMs)})
                    m_context.Command(unlock.m_text, unlock.m_nTimeoutMs);
            ReadParameters(request.m_nAddress);
        }
        break;
    case 2:
        if (request.m_nKind == ParamRequest::kSave)
            Save(request.m_nAddress);
        break;
    default:
        break; // calibration and linearisation requests are not carried by this page yet
    }
}

void CParamWorker::Pause(int nMs)
{
    const auto tEnd = std::chrono::steady_clock::now() + std::chrono::milliseconds(nMs);
    while (!m_bStop && m_nRequest.load() == 0 && std::chrono::steady_clock::now() < tEnd)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

void CParamWorker::Message(const QString& strText)
{
    m_context.ShowMessageFromWorker(strText, m_bShutdown);
}

void CParamWorker::WeightReading(int nAddress)
{
    const ModuleRequest request = CModuleCommand::MeasuredValue(nAddress);
    qint32 nValue = 0;
    if (!m_context.ReadMeasuredValue(nAddress, nValue, request.m_nReplyLen, request.m_nTimeoutMs)) {
        // A closed port fails at once: wait as long as a read would have.
        if (!m_context.IsPortOpen())
            Pause(request.m_nTimeoutMs);
        return;
    }
    CWeightReading::Statistics statistics;
    {
        std::lock_guard lock(m_statisticsMutex);
        m_statistics =
            CWeightReading::Accumulate(m_statistics, m_bRestartStatistics.exchange(0) != 0, nValue);
        statistics = m_statistics;
    }
    int nError = 0;
    {
        std::lock_guard lock(m_recordMutex);
        if (m_bRecording && !m_recording.AppendRecord(
                                WeightRecord::Make(nValue, QDateTime::currentMSecsSinceEpoch())))
            nError = m_recording.TakeFailureToReport();
    }
    if (nError != 0)
        Message(QStringLiteral("写文件错误,错误码:%1").arg(nError));
    const auto tNow = std::chrono::steady_clock::now();
    if (tNow - m_tLastShown >= std::chrono::milliseconds(kDisplayIntervalMs)) {
        m_tLastShown = tNow;
        Q_EMIT Reading(nValue, statistics.m_nMaximum, statistics.m_nMinimum,
                       statistics.m_nDifference);
    }
}

void CParamWorker::ReadParameters(int nAddress)
{
    Q_EMIT ReadStarted();
    CSignalSink sink(*this);
    ModuleParamRecord record;
    const CParamSetReadSequence::Result result =
        CParamSetReadSequence(m_context.BusLink(), sink).Run(nAddress, record, [this] {
            return m_bStop.load();
        });
    if (result.m_failedMnemonic == "FMD" || result.m_failedMnemonic == "ASF")
        Message(QStringLiteral("Time Out"));
    if (!result.m_bStopped)
        Q_EMIT ReadFinished(nAddress, result.m_bComplete);
}

void CParamWorker::Scan()
{
    CSignalSink sink(*this);
    const CBusScanSequence::Result result =
        CBusScanSequence(m_context.BusLink(), sink)
            .Run(CBusScanSequence::kLastAddress, &m_bScanContinue,
                 [this] { return m_bShutdown.load(); });
    Q_EMIT ScanFinished(result.m_arrFound);
    if (result.m_arrFound.isEmpty() || m_bShutdown)
        return;
    const int nFirst = result.m_arrFound.first();
    m_nPollAddress = nFirst;
    ReadParameters(nFirst);
}

void CParamWorker::ChangeAddress(int nOldAddress, int nNewAddress)
{
    CSignalSink sink(*this);
    const CAddressChangeSequence::Result result =
        CAddressChangeSequence(m_context.BusLink(), sink).Run(nOldAddress, nNewAddress, false);
    if (result.m_outcome == CAddressChangeSequence::Outcome::InUse) {
        Message(QStringLiteral("地址%1已被占用").arg(nNewAddress));
        return;
    }
    if (result.m_outcome == CAddressChangeSequence::Outcome::NotAcknowledged) {
        Message(QStringLiteral("参数保存失败: adr"));
        return;
    }
    m_context.SetStatusText(QStringLiteral("模块地址%1已改为%2").arg(nOldAddress).arg(nNewAddress));
    Scan();
    if (!result.m_bStoreAcknowledged)
        Message(QStringLiteral("参数保存失败: TDD1"));
}

void CParamWorker::Save(int nAddress)
{
    ModuleParamRecord record;
    {
        std::lock_guard lock(m_saveMutex);
        record = m_saveRecord;
    }
    CSignalSink sink(*this);
    const CParamSaveSequence::Result result =
        CParamSaveSequence(m_context.BusLink(), sink).Run(nAddress, record, {}, [this] {
            return m_bShutdown.load();
        });
    if (result.m_arrNotAcknowledged.isEmpty())
        m_context.SetStatusText(QStringLiteral("参数保存成功"));
    else
        Message(QStringLiteral("参数保存失败: %1")
                    .arg(result.m_arrNotAcknowledged.join(QLatin1Char(' '))));
}
