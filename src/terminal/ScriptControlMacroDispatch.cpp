#include "terminal/ScriptControlMacroDispatch.h"

#include "link/RunControl.h"
#include "module/GbkCodec.h"
#include "terminal/HexText.h"
#include "terminal/TerminalPort.h"

namespace {

// How often a write blocked by a full output queue looks at it again.
constexpr int kOutputCheckMs = 10;

} // namespace

CScriptControlMacroDispatch::CScriptControlMacroDispatch(CRunControl& control,
                                                         std::mutex& writeGate, QObject* parent)
    : QObject(parent), m_control(control), m_writeGate(writeGate)
{
}

bool CScriptControlMacroDispatch::Send(const QString& strText)
{
    if (m_pPage == nullptr)
        return false;
    return Write(CGbkCodec::Encode(strText));
}

bool CScriptControlMacroDispatch::SendHex(const QString& strText)
{
    if (m_pPage == nullptr)
        return false;
    QByteArray bytes;
    ParseHexText(strText, bytes);
    return Write(bytes);
}

void CScriptControlMacroDispatch::Delay(int nMs)
{
    if (nMs > 0)
        m_control.Wait(nMs);
}

void CScriptControlMacroDispatch::BusScan(int nLast)
{
    const int nEnd = qMin(nLast, kMaxScanAddress);
    for (int nAddress = 0; nAddress <= nEnd && !m_control.StopRequested(); ++nAddress)
        Send(QString::asprintf("S%.2d;adr?;", nAddress));
}

bool CScriptControlMacroDispatch::Write(const QByteArray& bytes)
{
    while (m_pPage->PendingOutput() > kMaxPendingOutput && !m_control.StopRequested())
        m_control.Wait(kOutputCheckMs);
    {
        // A stop sets its word under this lock: once it has, nothing goes out.
        std::lock_guard lock(m_writeGate);
        if (m_control.StopRequested())
            return false;
        m_pPage->SendByteData(bytes);
    }
    m_control.Wait(kPauseMs);
    return true;
}
