#include "params/BusScanSequence.h"

#include "link/BusLink.h"
#include "module/ModuleCommand.h"
#include "module/ModuleReply.h"

CBusScanSequence::Result CBusScanSequence::Run(int nLastAddress, std::atomic<int>* pbContinue,
                                               const StopTest& stop)
{
    Result result;
    m_sink.ShowProgress(QStringLiteral("总线扫描中..."));
    for (int nAddress = 0; nAddress <= nLastAddress; ++nAddress) {
        if (stop && stop()) {
            result.m_bCut = true;
            break;
        }
        m_sink.SetCellText(nAddress, QStringLiteral(" ADR %1 ?").arg(nAddress));
        const ModuleRequest request = CModuleCommand::AddressQuery(nAddress);
        QByteArray reply;
        if (m_link.Query(request.m_text, reply, request.m_nReplyLen, request.m_nTimeoutMs) &&
            CModuleReply::IsAddressEcho(reply, nAddress)) {
            result.m_arrFound.append(nAddress);
            m_sink.SetCellText(nAddress, QStringLiteral("ADR %1 OK").arg(nAddress));
            m_sink.OnAddressFound(nAddress);
        } else {
            m_sink.SetCellText(nAddress, QStringLiteral("ADR %1 --").arg(nAddress));
        }
        if (pbContinue && pbContinue->load() == 0) {
            m_sink.SetCellText(nAddress, QStringLiteral("ADR %1 --").arg(nAddress));
            pbContinue->store(1);
            result.m_bCut = true;
            break;
        }
    }
    if (result.m_arrFound.isEmpty())
        m_sink.ShowProgress(QStringLiteral("没有发现Vemo模块..."));
    return result;
}
