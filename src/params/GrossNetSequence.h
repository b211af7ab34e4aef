#pragma once

class CBusLink;

// Switches a module between gross ("TAS0") and net ("TAS1") weight.
class CGrossNetSequence
{
public:
    explicit CGrossNetSequence(CBusLink& link) : m_link(link) {}

    // True when the module acknowledged.
    bool Run(int nAddress, bool bNet);

private:
    CBusLink& m_link;
};
