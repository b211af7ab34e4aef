#pragma once

#include "module/ModuleParamRecord.h"
#include "module/ValueTables.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QList>

#include <optional>

// The module's parameters, in the order a read queries them: per parameter
// its mnemonic, its word in the parameter record, the values it takes, the
// reply length and time-out of its query, the time-out of its setting, and
// whether a save writes it. A save writes its parameters in this order and
// stores them with "TDD1" last. The parameter page, tolvex-cli and the read
// and save sequences all take their parameters from here.
class CParameterTable
{
public:
    // How a query's reply is taken.
    enum class Reading
    {
        ListIndex,      // atoi: the position in the parameter's list
        Number,         // atoi: a plain number
        Rate,           // atoi: the output rate itself, not a position
        Unsupportable,  // "?\r\n" leaves the value as it was, else atoi: a list position
        Identification, // the reply text
    };

    struct Parameter
    {
        const char* m_pszMnemonic;
        // The record's word; nullptr for the identification, which is text.
        qint32 ModuleParamRecord::*m_pField;
        Reading m_reading;
        // The choice list that shows the value, if any; the value's entry is
        // CValueTables::PositionOf(list, value).
        std::optional<CValueTables::List> m_list;
        // The range of a number without a list.
        qint32 m_nMin;
        qint32 m_nMax;
        int m_nReplyLen;
        int m_nTimeoutMs;
        int m_nSetTimeoutMs;
        bool m_bSaved;

        // A value a setting may carry: one of its list's, or within its range.
        bool Accepts(qint32 nValue) const;
    };

    static const QList<Parameter>& Parameters();
    // nullptr for a mnemonic that is no parameter.
    static const Parameter* Find(const QByteArray& mnemonic);
    // The steps of a whole save in order: the saved parameters, then "TDD1".
    static const QByteArrayList& SaveSteps();

    // The value a numeric parameter's reply carries. False, with nValue
    // untouched, when the module says it lacks the parameter, and for the
    // identification, which is text.
    static bool ReadValue(const Parameter& parameter, const QByteArray& reply, int& nValue);
};
