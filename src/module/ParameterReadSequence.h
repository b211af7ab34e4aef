#pragma once

#include <QList>

// The queries of a parameter read, in the order they are sent, and how each
// reply is taken.
class CParameterReadSequence
{
public:
    enum class Reading {
        Number,         // atoi: a list position or a plain number
        Rate,           // atoi: the output rate itself
        Unsupportable,  // "?\r\n" leaves the value as it was, else atoi
        Identification, // the reply text
    };

    struct Step
    {
        const char* m_pszMnemonic;
        int m_nReplyLen;
        int m_nTimeoutMs;
        Reading m_reading;
    };

    static const QList<Step>& Steps();
};
