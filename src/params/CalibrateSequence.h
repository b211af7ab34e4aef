#pragma once

#include "params/ModuleWrite.h"
#include "params/SequenceSink.h"

class CBusLink;

// Writes a module's calibration: both points, then the nominal value and the
// store (WritePoints), or the nominal value and the store alone
// (WriteNominal). Every write goes with Command, 500 ms and a second attempt;
// an acknowledged one shows "写入NAME..." in the sink's small font.
class CCalibrateSequence
{
public:
    CCalibrateSequence(CBusLink& link, CSequenceSink& sink) : m_link(link), m_sink(sink) {}

    // A failed LDW or LWT ends the sequence there, without NOV and TDD1, so
    // that the module never stores half a calibration.
    CModuleWrite::Result WritePoints(int nAddress, qint32 nLdw, qint32 nLwt, qint32 nNov,
                                     const StopTest& stop = {});
    // A failed NOV still goes on to TDD1: the points must be stored anyway.
    CModuleWrite::Result WriteNominal(int nAddress, qint32 nNov, const StopTest& stop = {});

private:
    // False when the step failed or the sequence was stopped before it.
    bool Write(const ModuleRequest& request, const char* pszName, CModuleWrite::Result& result,
               const StopTest& stop);

    CBusLink& m_link;
    CSequenceSink& m_sink;
};
