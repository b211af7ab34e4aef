#include "params/ParamSaveSequence.h"

#include "link/BusLink.h"
#include "module/ModuleCommand.h"
#include "module/ModuleReply.h"
#include "module/ParameterTable.h"

bool CParamSaveSequence::IsWritableField(const QByteArray& field, int nMaxBytes)
{
    return field.size() <= nMaxBytes && !field.contains('"') && !field.contains(';');
}

CParamSaveSequence::Identification CParamSaveSequence::SplitIdentification(const QByteArray& text,
                                                                           QByteArray& field2,
                                                                           QByteArray& field3)
{
    const qsizetype nFirst = text.indexOf(',');
    const qsizetype nSecond = nFirst < 0 ? -1 : text.indexOf(',', nFirst + 1);
    const qsizetype nThird = nSecond < 0 ? -1 : text.indexOf(',', nSecond + 1);
    if (nThird < 0)
        return Identification::NotThreeCommas;
    const QByteArray f2 = text.mid(nFirst + 1, nSecond - nFirst - 1);
    const QByteArray f3 = text.mid(nSecond + 1, nThird - nSecond - 1);
    if (!IsWritableField(f2, CModuleReply::kField2MaxLen) ||
        !IsWritableField(f3, CModuleReply::kField3MaxLen))
        return Identification::BadField;
    field2 = f2;
    field3 = f3;
    return Identification::Ok;
}

CParamSaveSequence::Result CParamSaveSequence::Run(int nAddress, const ModuleParamRecord& record,
                                                   const QByteArrayList& arrSteps,
                                                   const StopTest& stop)
{
    Result result;
    m_sink.ShowProgress(QStringLiteral("参数保存中..."));
    for (const QByteArray& step : CParameterTable::SaveSteps()) {
        if (!arrSteps.isEmpty() && !arrSteps.contains(step))
            continue;
        if (stop && stop()) {
            result.m_bStopped = true;
            break;
        }
        ModuleRequest request;
        if (step == "GAN") {
            request = CModuleCommand::Gain(nAddress, record.m_nGan);
        } else if (step == "IDN") {
            QByteArray field2, field3;
            result.m_identification =
                SplitIdentification(record.m_strIdentification, field2, field3);
            if (result.m_identification != Identification::Ok) {
                result.m_bIdentificationSkipped = true;
                continue;
            }
            request = CModuleCommand::WriteIdentification(nAddress, field2, field3);
        } else if (step == "TDD1") {
            request = CModuleCommand::Store(nAddress, CModuleCommand::kLongTimeoutMs);
        } else {
            request =
                CModuleCommand::Set(nAddress, step.constData(), *record.Field(step.constData()));
        }
        if (m_link.Command(request.m_text, request.m_nTimeoutMs)) {
            if (step == "CSM")
                m_link.m_bChecksum = record.m_nCsm;
            m_sink.ShowProgress(QStringLiteral("保存%1...").arg(QString::fromLatin1(step)));
            m_sink.OnAcknowledged(step.constData());
        } else {
            result.m_arrNotAcknowledged.append(QString::fromLatin1(step));
            m_sink.OnNotAcknowledged(step.constData());
        }
    }
    m_sink.ClearProgress();
    return result;
}
