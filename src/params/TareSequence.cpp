#include "params/TareSequence.h"

#include "link/BusLink.h"
#include "module/ModuleCommand.h"
#include "module/ModuleReply.h"
#include "params/ParamSetReadSequence.h"

CTareSequence::Result CTareSequence::Run(int nAddress)
{
    Result result;
    const ModuleRequest tare = CModuleCommand::Tare(nAddress);
    result.m_bAcknowledged = m_link.Command(tare.m_text, tare.m_nTimeoutMs);
    if (!result.m_bAcknowledged)
        return result;
    const ModuleRequest query =
        CModuleCommand::Query(nAddress, "TAV", CModuleCommand::kShortTimeoutMs);
    QByteArray reply;
    if (m_link.Query(query.m_text, reply, query.m_nReplyLen, query.m_nTimeoutMs) &&
        CParamSetReadSequence::HasNumber(reply)) {
        result.m_bHasTare = true;
        result.m_nTare = CModuleReply::Atoi(reply);
    }
    return result;
}
