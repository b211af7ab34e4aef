#include "params/CaptureSequence.h"

#include "link/BusLink.h"
#include "module/ModuleCommand.h"
#include "module/ModuleReply.h"
#include "params/ParamSetReadSequence.h"

CCaptureSequence::Result CCaptureSequence::Run(int nAddress, bool bFullLoad)
{
    Result result;
    const ModuleRequest capture = bFullLoad ? CModuleCommand::CaptureFullLoad(nAddress)
                                            : CModuleCommand::CaptureZero(nAddress);
    QByteArray reply;
    if (!m_link.Query(capture.m_text, reply, capture.m_nReplyLen, capture.m_nTimeoutMs))
        return result;
    if (CModuleReply::IsUnsupported(reply)) {
        result.m_outcome = Outcome::Refused;
        return result;
    }
    const ModuleRequest query = CModuleCommand::Query(nAddress, Mnemonic(bFullLoad));
    result.m_outcome = Outcome::ReadBackFailed;
    if (m_link.Query(query.m_text, reply, query.m_nReplyLen, query.m_nTimeoutMs) &&
        !CModuleReply::IsUnsupported(reply) && CParamSetReadSequence::HasNumber(reply)) {
        result.m_outcome = Outcome::Captured;
        result.m_nValue = CModuleReply::Atoi(reply);
    }
    return result;
}
