#pragma once

#include "module/ValueTables.h"

#include <QByteArray>
#include <QList>

#include <optional>

// The queries of a parameter read, in the order they are sent, and how each
// reply is taken.
class CParameterReadSequence
{
public:
    enum class Reading
    {
        ListIndex,      // atoi: the position in the step's list
        Number,         // atoi: a plain number
        Rate,           // atoi: the output rate itself, not a position
        Unsupportable,  // "?\r\n" leaves the value as it was, else atoi: a list position
        Identification, // the reply text
    };

    struct Step
    {
        const char* m_pszMnemonic;
        int m_nReplyLen;
        int m_nTimeoutMs;
        Reading m_reading;
        // The choice list that shows the value, if any; the value's entry is
        // CValueTables::PositionOf(list, value).
        std::optional<CValueTables::List> m_list;
    };

    static const QList<Step>& Steps();

    // The value a numeric step's reply carries. False, with nValue untouched,
    // when the module says it lacks the parameter, and for the identification,
    // which is text.
    static bool ReadValue(const Step& step, const QByteArray& reply, int& nValue);
};
