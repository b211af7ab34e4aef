#pragma once

#include "sim/SimFaults.h"

#include <QList>

// How a simulated bus is set up: its modules, the line timing, the signal the
// modules measure, and the faults.
struct SimOptions
{
    QList<int> m_arrAddresses{1, 3, 17};

    // Line timing: a reply is written (command bytes + reply bytes) x 11 / baud
    // seconds after its frame arrived, as the bytes would take on the wire. The
    // turnaround, the module's own reaction time, is added either way.
    bool m_bLineTiming = false;
    int m_nBaud = 19200;
    double m_dTurnaroundMs = 0.0;

    // The pace of a real bus at nBaud (the demo's): line timing with a
    // module's reaction time of about a millisecond.
    void AtLinePace(int nBaud)
    {
        m_bLineTiming = true;
        if (nBaud > 0)
            m_nBaud = nBaud;
        m_dTurnaroundMs = 1.0;
    }

    // The measured raw signal: zero offset + a load swinging between 0 and
    // m_nLoadSwing counts over m_dLoadPeriodS + uniform noise of at most
    // m_nNoise counts. Swing 0 and noise 0 give a constant signal.
    int m_nLoadSwing = 160000;
    double m_dLoadPeriodS = 10.0;
    int m_nNoise = 20;
    quint32 m_nSeed = 1;

    // "LDW;" and "LWT;" answer after this delay with the value they captured.
    int m_nCaptureDelayMs = 50;

    // Each module's signal sits this many raw counts per address above the
    // others' (0: all alike), so that a value can tell which module gave it.
    qint32 m_nAddressBand = 0;

    // A random fault for this fraction of the replies (see CSimFaultPlan);
    // its delay holds a reply back this much past its time.
    double m_dFaultRate = 0.0;
    int m_nFaultDelayMs = 110;

    SimFaults m_faults;
};
