#pragma once

#include "link/MeasuredValuePoll.h"

#include <array>
#include <atomic>
#include <chrono>

class CBusLink;
class CRunControl;
class CPatrolObserver;
class CPatrolRecorder;

// The patrol of a range of addresses: a set-up pass that puts each module into
// binary output with check bytes, then cycles reading the measured value of
// addresses 0 up to the highest one in turn. The highest address and the
// time-out are read afresh every step, the stop test before every transaction.
// The page's worker and tolvex-cli run this one sequence.
class CPatrolSequence
{
public:
    static constexpr int kAddresses = 32;
    // After a read that timed out, the line must be this quiet before the next
    // command, so that a late reply is dropped rather than taken by the next
    // address (the binary reply carries no address).
    static constexpr int kQuietMs = 30;

    CPatrolSequence(CBusLink& link, CRunControl& control);

    // Any thread; values are clamped to 0..31 and 50..5000 ms.
    void SetMaxAddress(int nMaxAddress);
    void SetTimeout(int nTimeoutMs);
    int MaxAddress() const { return m_nMaxAddress.load(); }
    int Timeout() const { return m_nTimeout.load(); }

    // Both may be null; set them before Run.
    void SetObserver(CPatrolObserver* pObserver) { m_pObserver = pObserver; }
    void SetRecorder(CPatrolRecorder* pRecorder) { m_pRecorder = pRecorder; }
    // Reports every read and cycle to the link's reading tap under this source.
    CMeasuredValuePoll& Poll() { return m_poll; }

    // The set-up pass, then nCycles cycles (0: until stopped). Returns the
    // number of completed cycles. The recorder is flushed at the end of every
    // cycle and when the run ends.
    int Run(int nCycles);

    // Whether this run's set-up of nAddress was acknowledged with check bytes on.
    bool ChecksumOn(int nAddress) const;

private:
    using Clock = std::chrono::steady_clock;

    bool Stopped() const;
    void SetUp(int nAddress);
    void Read(int nAddress);
    void WaitForQuietLine(Clock::time_point tFailed, int nTimeoutMs);

    CBusLink& m_link;
    CRunControl& m_control;
    CMeasuredValuePoll m_poll;
    std::atomic<int> m_nMaxAddress{0};
    std::atomic<int> m_nTimeout{100};
    CPatrolObserver* m_pObserver = nullptr;
    CPatrolRecorder* m_pRecorder = nullptr;
    std::array<bool, kAddresses> m_arrSetUp{};
    quint64 m_nSetUpReconnects = 0;
    std::array<std::atomic<bool>, kAddresses> m_arrChecksum{};
};
