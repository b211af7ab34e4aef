#include "params/GrossNetSequence.h"

#include "link/BusLink.h"
#include "module/ModuleCommand.h"

bool CGrossNetSequence::Run(int nAddress, bool bNet)
{
    const ModuleRequest request = CModuleCommand::SelectNet(nAddress, bNet);
    return m_link.Command(request.m_text, request.m_nTimeoutMs);
}
