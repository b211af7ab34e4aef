#include "params/LineariseSequence.h"

#include "module/ModuleCommand.h"
#include "params/CalibrationChecks.h"

CModuleWrite::Result CLineariseSequence::Write(const ModuleRequest& request, const QByteArray& name,
                                               bool bProgress)
{
    CModuleWrite::Result result;
    const CModuleWrite::Outcome outcome = CModuleWrite::Send(m_link, request);
    if (outcome == CModuleWrite::Outcome::Acknowledged) {
        if (bProgress)
            m_sink.ShowProgress(QStringLiteral("写入%1...").arg(QString::fromLatin1(name)));
        m_sink.OnAcknowledged(name.constData());
    } else {
        result.m_arrFailed.append({name, outcome});
        m_sink.OnNotAcknowledged(name.constData());
    }
    if (bProgress)
        m_sink.ClearProgress();
    return result;
}

CModuleWrite::Result CLineariseSequence::WriteEnable(int nAddress, int nRle)
{
    return Write(CModuleCommand::Set(nAddress, "RLE", nRle), "RLE", true);
}

CModuleWrite::Result CLineariseSequence::WriteCount(int nAddress, int nRln)
{
    return Write(CModuleCommand::Set(nAddress, "RLN", nRln), "RLN", true);
}

CModuleWrite::Result CLineariseSequence::WritePoint(int nAddress, int nIndex, qint32 nValue)
{
    if (!CCalibrationChecks::IsPointIndex(nIndex)) {
        CModuleWrite::Result result;
        result.m_arrFailed.append({"RLC", CModuleWrite::Outcome::Refused});
        return result;
    }
    return Write(CModuleCommand::LinearPoint(nAddress, nIndex, nValue),
                 "RLC" + QByteArray::number(nIndex), false);
}
