#pragma once

#include <QtGlobal>

// What a patrol reports, on the thread that runs it.
class CPatrolObserver
{
public:
    virtual ~CPatrolObserver() = default;

    // The read of nAddress is about to be sent.
    virtual void OnAddress(int /*nAddress*/) {}
    // One read ended: its value, or bOk false for a failed read.
    virtual void OnRead(int nAddress, bool bOk, qint32 nValue) = 0;
    // Cycle nCycle (from 1) completed in nElapsedMs (monotonic, truncated).
    virtual void OnCycle(int nCycle, qint64 nElapsedMs) = 0;
};
