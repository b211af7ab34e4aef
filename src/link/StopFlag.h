#pragma once

#include "link/RunControl.h"

#include <atomic>

// The run control of a procedure run outside a page worker (tolvex-cli,
// tests): a stop word that may be set from a signal handler, which cannot
// wake a condition variable, so the wait looks at the word every kCheckMs.
class CStopFlag final : public CRunControl
{
public:
    static constexpr int kCheckMs = 50;

    explicit CStopFlag(const std::atomic<bool>& bStop) : m_bStop(bStop) {}

    bool StopRequested() const override { return m_bStop.load(); }
    void Wait(int nMs) override;

private:
    const std::atomic<bool>& m_bStop;
};
