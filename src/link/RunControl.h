#pragma once

// What a bus procedure asks of whoever runs it: whether to stop, and a wait
// that a stop, or new work for the runner, cuts short.
class CRunControl
{
public:
    virtual ~CRunControl() = default;

    virtual bool StopRequested() const = 0;
    // Waits up to nMs; returns early when a stop is asked or work is posted.
    virtual void Wait(int nMs) = 0;
};
