#include "params/ParamSetReadSequence.h"

#include "link/BusLink.h"
#include "module/ModuleCommand.h"
#include "module/ModuleReply.h"
#include "module/ParameterTable.h"

#include <cstring>

bool CParamSetReadSequence::HasNumber(const QByteArray& reply)
{
    qsizetype i = 0;
    while (i < reply.size() && (reply[i] == ' ' || (reply[i] >= '\t' && reply[i] <= '\r')))
        ++i;
    if (i < reply.size() && (reply[i] == '+' || reply[i] == '-'))
        ++i;
    return i < reply.size() && reply[i] >= '0' && reply[i] <= '9';
}

CParamSetReadSequence::Result CParamSetReadSequence::Run(int nAddress, ModuleParamRecord& record,
                                                         const StopTest& stop)
{
    Result result;
    auto bStopped = [&] { return stop && stop(); };
    m_sink.SetCellText(nAddress, QStringLiteral("ADR %1?").arg(nAddress));
    m_sink.ShowProgress(QStringLiteral("参数读取中..."));

    for (const ModuleRequest& request :
         {CModuleCommand::BinaryOutput(nAddress, CModuleCommand::kLongTimeoutMs),
          CModuleCommand::Unlock(nAddress, CModuleCommand::kLongTimeoutMs)}) {
        if (bStopped()) {
            result.m_bStopped = true;
            return result;
        }
        m_link.Command(request.m_text, request.m_nTimeoutMs);
    }

    using Reading = CParameterTable::Reading;
    for (const CParameterTable::Parameter& step : CParameterTable::Parameters()) {
        if (bStopped()) {
            result.m_bStopped = true;
            return result;
        }
        const ModuleRequest request = CModuleCommand::Query(nAddress, step.m_pszMnemonic);
        QByteArray reply;
        const bool bAnswered =
            m_link.Query(request.m_text, reply, step.m_nReplyLen, step.m_nTimeoutMs);
        // "?\r\n" is the module's word for a parameter it lacks: ZTS keeps its
        // value, any other query reads it as 0, and the read goes on.
        const bool bLacking = CModuleReply::IsUnsupported(reply);
        const bool bUnsupported = step.m_reading == Reading::Unsupportable && bLacking;
        const bool bUsable = bAnswered && (step.m_reading == Reading::Identification || bLacking ||
                                           HasNumber(reply));
        if (!bUsable) {
            result.m_failedMnemonic = step.m_pszMnemonic;
            m_sink.SetCellText(nAddress, QStringLiteral("ADR %1").arg(nAddress));
            m_sink.ClearProgress();
            return result;
        }
        if (step.m_reading == Reading::Identification) {
            record.m_strIdentification = CModuleReply::IdentificationText(reply);
            m_sink.OnIdentification(record.m_strIdentification);
            continue;
        }
        if (bUnsupported) {
            m_sink.OnUnsupported(step.m_pszMnemonic);
            continue;
        }
        const qint32 nValue = CModuleReply::Atoi(reply);
        record.*step.m_pField = nValue;
        if (std::strcmp(step.m_pszMnemonic, "CSM") == 0)
            m_link.m_bChecksum = nValue;
        m_sink.OnValue(step.m_pszMnemonic, nValue);
    }
    m_sink.ClearProgress();
    m_sink.SetCellText(nAddress, QStringLiteral("ADR %1 OK").arg(nAddress));
    result.m_bComplete = true;
    return result;
}
