#include "params/AddressChangeSequence.h"

#include "link/BusLink.h"
#include "module/ModuleCommand.h"

CAddressChangeSequence::Result CAddressChangeSequence::Run(int nOldAddress, int nNewAddress,
                                                           bool bUnlock)
{
    Result result;
    const ModuleRequest ask = CModuleCommand::AddressQuery(nNewAddress);
    QByteArray reply;
    if (nNewAddress != nOldAddress &&
        m_link.Query(ask.m_text, reply, ask.m_nReplyLen, ask.m_nTimeoutMs)) {
        result.m_outcome = Outcome::InUse;
        return result;
    }
    if (bUnlock) {
        const ModuleRequest unlock =
            CModuleCommand::Unlock(nOldAddress, CModuleCommand::kShortTimeoutMs);
        result.m_bUnlockAcknowledged = m_link.Command(unlock.m_text, unlock.m_nTimeoutMs);
        if (result.m_bUnlockAcknowledged)
            m_sink.OnAcknowledged("SPW");
        else
            m_sink.OnNotAcknowledged("SPW");
    }
    const ModuleRequest change = CModuleCommand::NewAddress(nOldAddress, nNewAddress);
    if (!m_link.Command(change.m_text, change.m_nTimeoutMs)) {
        m_sink.OnNotAcknowledged("adr");
        return result;
    }
    m_sink.OnAcknowledged("adr");
    result.m_outcome = Outcome::Changed;
    const ModuleRequest store = CModuleCommand::Store(nNewAddress, CModuleCommand::kShortTimeoutMs);
    result.m_bStoreAcknowledged = m_link.Command(store.m_text, store.m_nTimeoutMs);
    if (result.m_bStoreAcknowledged)
        m_sink.OnAcknowledged("TDD1");
    else
        m_sink.OnNotAcknowledged("TDD1");
    return result;
}
