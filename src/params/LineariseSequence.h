#pragma once

#include "params/ModuleWrite.h"
#include "params/SequenceSink.h"

class CBusLink;

// The linearisation writes: the correction on or off (RLE), the number of
// points (RLN, 4 to 8) and one point's value (RLC). Each is one write with
// Command, 500 ms and a second attempt, and none is followed by a store.
class CLineariseSequence
{
public:
    CLineariseSequence(CBusLink& link, CSequenceSink& sink) : m_link(link), m_sink(sink) {}

    // "写入RLE..." when acknowledged.
    CModuleWrite::Result WriteEnable(int nAddress, int nRle);
    // "写入RLN..." when acknowledged.
    CModuleWrite::Result WriteCount(int nAddress, int nRln);
    // No progress text. An index outside 0 to 7 is refused without a frame
    // (the step "RLC" with the outcome Refused).
    CModuleWrite::Result WritePoint(int nAddress, int nIndex, qint32 nValue);

private:
    CModuleWrite::Result Write(const ModuleRequest& request, const QByteArray& name,
                               bool bProgress);

    CBusLink& m_link;
    CSequenceSink& m_sink;
};
