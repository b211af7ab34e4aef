#pragma once

#include "module/ModuleParamRecord.h"
#include "params/PageDisplayState.h"

#include <QString>

// The parameter file (".stp"): a ModuleParamRecord and a PageDisplayState,
// 516 bytes, no header.
class CParamFile
{
public:
    static constexpr int kSize = ModuleParamRecord::kSize + PageDisplayState::kSize;

    // Why an import refused a file, for callers that word it themselves.
    enum class Refusal
    {
        None,
        Unreadable,          // strError holds the system's reason
        WrongSize,           // any size but kSize
        NoIdentificationEnd, // the identification text has no terminating zero
        OutOfRange,          // an address or a display setting outside its table
    };

    // Writes through a temporary file that replaces strPath only when whole:
    // a failure leaves an earlier file as it was. False with the reason.
    static bool Export(const QString& strPath, const ModuleParamRecord& record,
                       const PageDisplayState& state, QString& strError);

    // Reads and checks a whole file; record and state change only when it
    // passes. Refused: any size but 516, a unit, decimals or division outside
    // its table, an address outside 0 to 31, an identification without its
    // terminating zero. Indices outside the parameter lists pass, as a read
    // passes them. strError says why in English; pRefusal, when given, gets
    // the kind of refusal.
    static bool Import(const QString& strPath, ModuleParamRecord& record, PageDisplayState& state,
                       QString& strError, Refusal* pRefusal = nullptr);
    static bool Parse(const QByteArray& bytes, ModuleParamRecord& record, PageDisplayState& state,
                      QString& strError, Refusal* pRefusal = nullptr);
};
