#pragma once

#include <QtGlobal>

class CBusLink;

// Captures the current signal as a module's zero ("S%.2d;LDW;") or full load
// ("S%.2d;LWT;"), then reads back the value the module took. No progress text.
class CCaptureSequence
{
public:
    enum class Outcome
    {
        Captured,      // m_nValue holds the read-back
        NoReply,       // the capture went unanswered: nothing read back
        Refused,       // the capture was answered "?\r\n": nothing read back
        ReadBackFailed // the read-back was missing, "?\r\n" or had no digit
    };

    struct Result
    {
        Outcome m_outcome = Outcome::NoReply;
        qint32 m_nValue = 0;
    };

    explicit CCaptureSequence(CBusLink& link) : m_link(link) {}

    Result Run(int nAddress, bool bFullLoad);

    // "LDW" or "LWT".
    static const char* Mnemonic(bool bFullLoad) { return bFullLoad ? "LWT" : "LDW"; }

private:
    CBusLink& m_link;
};
