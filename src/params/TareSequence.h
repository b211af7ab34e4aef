#pragma once

class CBusLink;

// Tare: "TAR", and once it is acknowledged the tare the module took, read back
// so that the record follows it (a later save would otherwise write the old one).
class CTareSequence
{
public:
    struct Result
    {
        bool m_bAcknowledged = false;
        bool m_bHasTare = false;
        int m_nTare = 0;
    };

    explicit CTareSequence(CBusLink& link) : m_link(link) {}

    Result Run(int nAddress);

private:
    CBusLink& m_link;
};
