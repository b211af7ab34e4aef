#include "params/ParamWorker.h"

#include "link/BusLink.h"
#include "module/ModuleCommand.h"
#include "params/AddressChangeSequence.h"
#include "params/BusScanSequence.h"
#include "params/CalibrateSequence.h"
#include "params/CaptureSequence.h"
#include "params/GrossNetSequence.h"
#include "params/LineariseSequence.h"
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
        m_worker.Report(&CParamWorker::CellText, nAddress, strText);
    }
    void ShowProgress(const QString& strText) override
    {
        m_worker.Report(&CParamWorker::ProgressShown, strText);
    }
    void ClearProgress() override { m_worker.Report(&CParamWorker::ProgressCleared); }
    void OnValue(const char* pszMnemonic, qint32 nValue) override
    {
        m_worker.Report(&CParamWorker::ValueRead, QByteArray(pszMnemonic), nValue);
    }
    void OnIdentification(const QByteArray& text) override
    {
        m_worker.Report(&CParamWorker::IdentificationRead, text);
    }

private:
    CParamWorker& m_worker;
};

} // namespace

CParamWorker::CParamWorker(CPageContext& context, QObject* parent)
    : QObject(parent), m_context(context), m_poll(context.BusLink(), m_thread),
      m_thread([this] { Run(); })
{
}

CParamWorker::~CParamWorker()
{
    Shutdown();
}

bool CParamWorker::PostRequest(const ParamRequest& request)
{
    if (!m_context.IsPortOpen() || m_bShutdown)
        return false;
    m_thread.PostRequest(request.Pack());
    m_thread.Start();
    return true;
}

bool CParamWorker::PostWithRecord(const ParamRequest& request, const ModuleParamRecord& record)
{
    if (!m_context.IsPortOpen())
        return false;
    {
        std::lock_guard lock(m_postedMutex);
        m_postedRecord = record;
    }
    return PostRequest(request);
}

void CParamWorker::Shutdown()
{
    m_bShutdown = true;
    m_thread.StopAndJoin();
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
    Unlock(m_nPollAddress);
    while (!m_thread.StopRequested()) {
        ParamRequest request;
        if (ParamRequest::Unpack(m_thread.TakeRequest(), request))
            Carry(request);
        else
            WeightReading(m_nPollAddress);
    }
}

void CParamWorker::Unlock(int nAddress)
{
    for (const ModuleRequest& request :
         {CModuleCommand::BinaryOutput(nAddress, CModuleCommand::kShortTimeoutMs),
          CModuleCommand::Unlock(nAddress, CModuleCommand::kShortTimeoutMs)})
        m_context.Command(request.m_text, request.m_nTimeoutMs);
}

void CParamWorker::Carry(const ParamRequest& request)
{
    using Kind = ParamRequest::Kind;
    switch (request.m_kind) {
    case Kind::Weight:
        WeightReading(request.m_nAddress);
        break;
    case Kind::Gross:
    case Kind::Net:
        CGrossNetSequence(m_context.BusLink()).Run(request.m_nAddress, request.m_kind == Kind::Net);
        break;
    case Kind::Tare: {
        const CTareSequence::Result result =
            CTareSequence(m_context.BusLink()).Run(request.m_nAddress);
        if (result.m_bHasTare)
            Report(&CParamWorker::TareRead, result.m_nTare);
        break;
    }
    case Kind::Scan:
        Scan();
        break;
    case Kind::ChangeAddress:
        ChangeAddress(request.m_nAddress, request.m_nNewAddress);
        break;
    case Kind::UnlockAndRead:
        Unlock(request.m_nAddress);
        ReadParameters(request.m_nAddress);
        break;
    case Kind::Read:
        ReadParameters(request.m_nAddress);
        break;
    case Kind::Save:
        Save(request.m_nAddress);
        break;
    case Kind::CaptureZero:
    case Kind::CaptureFullLoad:
        Capture(request.m_nAddress, request.m_kind == Kind::CaptureFullLoad);
        break;
    case Kind::WriteMeasured:
        // The manual values have no module command.
        Message(QStringLiteral("WriteRLM"));
        break;
    case Kind::WriteWeights:
        Message(QStringLiteral("WriteRLP"));
        break;
    case Kind::WritePoints:
    case Kind::WriteNominal:
    case Kind::WriteEnable:
    case Kind::WriteCount:
    case Kind::WritePoint:
        Calibrate(request);
        break;
    }
}

void CParamWorker::Message(const QString& strText)
{
    m_context.ShowMessageFromWorker(strText, m_bShutdown);
}

void CParamWorker::WeightReading(int nAddress)
{
    qint32 nValue = 0;
    if (m_poll.Read(nAddress, CModuleCommand::MeasuredValue(nAddress).m_nTimeoutMs, std::nullopt,
                    nValue) != CMeasuredValuePoll::Outcome::Value)
        return;
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
        Report(&CParamWorker::Reading, nValue, statistics.m_nMaximum, statistics.m_nMinimum,
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
            return m_thread.StopRequested();
        });
    if (result.m_failedMnemonic == "FMD" || result.m_failedMnemonic == "ASF")
        Message(QStringLiteral("Time Out"));
    if (!result.m_bStopped)
        Report(&CParamWorker::ReadFinished, nAddress, result.m_bComplete);
}

void CParamWorker::Scan()
{
    CSignalSink sink(*this);
    const CBusScanSequence::Result result =
        CBusScanSequence(m_context.BusLink(), sink)
            .Run(CBusScanSequence::kLastAddress, &m_bScanContinue,
                 [this] { return m_bShutdown.load(); });
    Report(&CParamWorker::ScanFinished, result.m_arrFound);
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

ModuleParamRecord CParamWorker::PostedRecord()
{
    std::lock_guard lock(m_postedMutex);
    return m_postedRecord;
}

void CParamWorker::Capture(int nAddress, bool bFullLoad)
{
    const CCaptureSequence::Result result =
        CCaptureSequence(m_context.BusLink()).Run(nAddress, bFullLoad);
    if (result.m_outcome == CCaptureSequence::Outcome::Captured)
        Report(&CParamWorker::CaptureRead, QByteArray(CCaptureSequence::Mnemonic(bFullLoad)),
               result.m_nValue);
}

void CParamWorker::Calibrate(const ParamRequest& request)
{
    using Kind = ParamRequest::Kind;
    const ModuleParamRecord record = PostedRecord();
    const int nAddress = request.m_nAddress;
    const StopTest stop = [this] { return m_bShutdown.load(); };
    CSignalSink sink(*this);
    CCalibrateSequence calibrate(m_context.BusLink(), sink);
    CLineariseSequence linearise(m_context.BusLink(), sink);
    CModuleWrite::Result result;
    if (request.m_kind == Kind::WritePoints)
        result = calibrate.WritePoints(nAddress, record.m_nLdw, record.m_nLwt, record.m_nNov, stop);
    else if (request.m_kind == Kind::WriteNominal)
        result = calibrate.WriteNominal(nAddress, record.m_nNov, stop);
    else if (request.m_kind == Kind::WriteEnable)
        result = linearise.WriteEnable(nAddress, record.m_nRle);
    else if (request.m_kind == Kind::WriteCount)
        result = linearise.WriteCount(nAddress, record.m_nRln);
    else if (request.m_kind == Kind::WritePoint)
        result = linearise.WritePoint(nAddress, record.m_nRlcIndex,
                                      record.PointValue(record.m_nRlcIndex));
    if (!result.m_arrFailed.isEmpty())
        Message(result.FailureText());
}

void CParamWorker::Save(int nAddress)
{
    const ModuleParamRecord record = PostedRecord();
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
