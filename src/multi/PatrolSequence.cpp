#include "multi/PatrolSequence.h"

#include "link/BusLink.h"
#include "link/RunControl.h"
#include "module/ModuleCommand.h"
#include "multi/CircleSettings.h"
#include "multi/PatrolObserver.h"
#include "recording/PatrolRecorder.h"

CPatrolSequence::CPatrolSequence(CBusLink& link, CRunControl& control)
    : m_link(link), m_control(control), m_poll(link, control)
{
}

bool CPatrolSequence::Stopped() const
{
    return m_control.StopRequested();
}

void CPatrolSequence::SetMaxAddress(int nMaxAddress)
{
    m_nMaxAddress.store(CircleSettings::ClampMaxAddress(nMaxAddress));
}

void CPatrolSequence::SetTimeout(int nTimeoutMs)
{
    m_nTimeout.store(CircleSettings::ClampTimeout(nTimeoutMs));
}

bool CPatrolSequence::ChecksumOn(int nAddress) const
{
    return nAddress >= 0 && nAddress < kAddresses && m_arrChecksum[nAddress].load();
}

int CPatrolSequence::Run(int nCycles)
{
    m_arrSetUp.fill(false);
    m_nSetUpReconnects = m_link.ReconnectCount();
    for (auto& bChecksum : m_arrChecksum)
        bChecksum.store(false);

    for (int i = 0; i <= MaxAddress() && !Stopped(); ++i)
        SetUp(i);

    int nCompleted = 0;
    while (!Stopped() && (nCycles == 0 || nCompleted < nCycles)) {
        const Clock::time_point tStart = Clock::now();
        // A device that came back may have lost its set-up (a bus that lost power).
        if (m_link.ReconnectCount() != m_nSetUpReconnects) {
            m_nSetUpReconnects = m_link.ReconnectCount();
            m_arrSetUp.fill(false);
        }
        bool bWhole = true;
        for (int j = 0; j <= MaxAddress(); ++j) {
            if (Stopped()) {
                bWhole = false;
                break;
            }
            // An address that joined a running patrol is set up before its first read.
            if (!m_arrSetUp[j]) {
                SetUp(j);
                if (Stopped()) {
                    bWhole = false;
                    break;
                }
            }
            if (m_arrSetUp[j]) {
                Read(j);
            } else if (m_pObserver) {
                // Not set up, the port was closed: that took the read's time-out.
                m_pObserver->OnAddress(j);
                m_pObserver->OnRead(j, false, 0);
            }
        }
        if (!bWhole)
            break;
        if (m_pRecorder)
            m_pRecorder->Flush();
        ++nCompleted;
        if (m_pObserver) {
            const auto elapsed =
                std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - tStart);
            m_pObserver->OnCycle(nCompleted, elapsed.count());
        }
    }
    if (m_pRecorder)
        m_pRecorder->Flush();
    return nCompleted;
}

void CPatrolSequence::SetUp(int nAddress)
{
    // Nothing can reach the module: its set-up waits for a port that is open,
    // and costs the time-out meanwhile instead of spinning.
    if (!m_link.IsPortOpen()) {
        m_control.Wait(Timeout());
        return;
    }
    const ModuleRequest binary = CModuleCommand::BinaryOutput(nAddress, Timeout());
    m_link.Command(binary.m_text, binary.m_nTimeoutMs, true);
    if (Stopped())
        return;
    // Only an address that acknowledged check bytes has its check byte tested.
    const ModuleRequest checksum = CModuleCommand::ChecksumOn(nAddress, Timeout());
    m_arrChecksum[nAddress].store(m_link.Command(checksum.m_text, checksum.m_nTimeoutMs, true));
    m_arrSetUp[nAddress] = true;
}

void CPatrolSequence::Read(int nAddress)
{
    if (m_pObserver)
        m_pObserver->OnAddress(nAddress);
    const int nTimeoutMs = Timeout();
    qint32 nValue = 0;
    const CMeasuredValuePoll::Outcome outcome =
        m_poll.Read(nAddress, nTimeoutMs, m_arrChecksum[nAddress].load(), nValue);
    const bool bOk = outcome == CMeasuredValuePoll::Outcome::Value;
    if (bOk && m_pRecorder)
        m_pRecorder->Append(nAddress, nValue);
    if (m_pObserver)
        m_pObserver->OnRead(nAddress, bOk, bOk ? nValue : 0);
    // The read timed out, and its reply may still come.
    if (outcome == CMeasuredValuePoll::Outcome::NoReply)
        WaitForQuietLine(Clock::now(), nTimeoutMs);
}

void CPatrolSequence::WaitForQuietLine(Clock::time_point tFailed, int nTimeoutMs)
{
    const Clock::time_point tLimit = tFailed + std::chrono::milliseconds(nTimeoutMs);
    const auto quiet = std::chrono::milliseconds(kQuietMs);
    // A reply that arrives meanwhile moves the end on; the loop sleeps until
    // the end it knows of and looks again.
    while (!Stopped()) {
        const Clock::time_point tNow = Clock::now();
        const Clock::time_point tEnd =
            std::min(std::max(tFailed, m_link.LastReplyTime()) + quiet, tLimit);
        if (tNow >= tEnd)
            return;
        m_control.Wait(int(std::chrono::ceil<std::chrono::milliseconds>(tEnd - tNow).count()));
    }
}
