#pragma once

#include "params/SequenceSink.h"

#include <QList>

#include <atomic>

class CBusLink;

// Asks the addresses 0 to a last one for their address and lists those that
// answer with it, marking each cell as it goes.
class CBusScanSequence
{
public:
    static constexpr int kLastAddress = 31;

    struct Result
    {
        QList<int> m_arrFound;
        // The scan ended early: the continue flag was cleared, or the stop test said so.
        bool m_bCut = false;
    };

    CBusScanSequence(CBusLink& link, CSequenceSink& sink) : m_link(link), m_sink(sink) {}

    // pbContinue, when given, is the scan-continue flag: cleared by the user
    // ("停止扫描"), it ends the scan after the address being asked, which is then
    // marked "--" and the flag set back to 1. The stop test (shutdown) ends it
    // before the next command.
    Result Run(int nLastAddress = kLastAddress, std::atomic<int>* pbContinue = nullptr,
               const StopTest& stop = {});

private:
    CBusLink& m_link;
    CSequenceSink& m_sink;
};
