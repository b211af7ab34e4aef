#include "params/CalibrateSequence.h"

#include "module/ModuleCommand.h"

bool CCalibrateSequence::Write(const ModuleRequest& request, const char* pszName,
                               CModuleWrite::Result& result, const StopTest& stop)
{
    if (result.m_bStopped || (stop && stop())) {
        result.m_bStopped = true;
        return false;
    }
    const CModuleWrite::Outcome outcome = CModuleWrite::Send(m_link, request);
    if (outcome != CModuleWrite::Outcome::Acknowledged) {
        result.m_arrFailed.append({pszName, outcome});
        m_sink.OnNotAcknowledged(pszName);
        return false;
    }
    m_sink.ShowProgress(QStringLiteral("写入%1...").arg(QLatin1String(pszName)));
    m_sink.OnAcknowledged(pszName);
    return true;
}

CModuleWrite::Result CCalibrateSequence::WritePoints(int nAddress, qint32 nLdw, qint32 nLwt,
                                                     qint32 nNov, const StopTest& stop)
{
    CModuleWrite::Result result;
    const bool bPoints = Write(CModuleCommand::Set(nAddress, "LDW", nLdw), "LDW", result, stop) &&
                         Write(CModuleCommand::Set(nAddress, "LWT", nLwt), "LWT", result, stop);
    m_sink.ClearProgress();
    if (!bPoints)
        return result;
    CModuleWrite::Result nominal = WriteNominal(nAddress, nNov, stop);
    nominal.m_arrFailed = result.m_arrFailed + nominal.m_arrFailed;
    return nominal;
}

CModuleWrite::Result CCalibrateSequence::WriteNominal(int nAddress, qint32 nNov,
                                                      const StopTest& stop)
{
    CModuleWrite::Result result;
    Write(CModuleCommand::Set(nAddress, "NOV", nNov), "NOV", result, stop);
    Write(CModuleCommand::Store(nAddress, CModuleCommand::kShortTimeoutMs), "TDD1", result, stop);
    m_sink.ClearProgress();
    return result;
}
