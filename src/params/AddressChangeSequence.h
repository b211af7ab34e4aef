#pragma once

#include "params/SequenceSink.h"

class CBusLink;

// Gives a module a new address: the new address is asked first (a module
// already there refuses the change, since two modules on one address cannot
// be parted over the bus), then "adr" to the old address and, once it is
// acknowledged, TDD1 to the new one. A module given its own address answers
// that question itself, so it is not asked: adr and TDD1 go out as for any
// other address. The scan that follows is the caller's.
class CAddressChangeSequence
{
public:
    enum class Outcome
    {
        InUse,           // the new address answered: nothing was sent to the old one
        NotAcknowledged, // adr refused or unanswered: no TDD1
        Changed,         // adr acknowledged, TDD1 sent
    };

    struct Result
    {
        Outcome m_outcome = Outcome::NotAcknowledged;
        bool m_bUnlockAcknowledged = false; // when the unlock was asked for
        bool m_bStoreAcknowledged = false;
    };

    CAddressChangeSequence(CBusLink& link, CSequenceSink& sink) : m_link(link), m_sink(sink) {}

    // With bUnlock the old address is unlocked before adr.
    Result Run(int nOldAddress, int nNewAddress, bool bUnlock);

private:
    CBusLink& m_link;
    CSequenceSink& m_sink;
};
