#pragma once

#include "module/ModuleParamRecord.h"
#include "params/SequenceSink.h"

class CBusLink;

// Reads a module's whole parameter set over the bus: binary output and
// unlock, then every parameter of the parameter table in its order, values
// into the record and the sink as they come.
class CParamSetReadSequence
{
public:
    struct Result
    {
        bool m_bComplete = false;
        bool m_bStopped = false;
        // The query that got no usable reply; empty when none failed.
        QByteArray m_failedMnemonic;
    };

    CParamSetReadSequence(CBusLink& link, CSequenceSink& sink) : m_link(link), m_sink(sink) {}

    // The stop test is asked before each command; a stopped read leaves the
    // cell and the display as they are.
    Result Run(int nAddress, ModuleParamRecord& record, const StopTest& stop = {});

    // A numeric reply carries a number when atoi would read a digit: a reply
    // without one ("?\r\n" aside, where the module may lack the parameter) is
    // taken as no reply rather than as 0.
    static bool HasNumber(const QByteArray& reply);

private:
    CBusLink& m_link;
    CSequenceSink& m_sink;
};
