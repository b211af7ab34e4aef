#pragma once

#include "terminal/vbs/ScriptError.h"
#include "terminal/vbs/VbsBudget.h"
#include "terminal/vbs/VbsProgram.h"

#include <QString>

#include <atomic>
#include <optional>

class QObject;

// The VBScript subset that macros are written in. Compile the whole text
// first (a syntax error anywhere means nothing runs), then Run it.
class CVbsInterpreter
{
public:
    // Lexes and parses the whole text; the syntax error (1002) if any. Nothing runs.
    std::optional<ScriptError> Compile(const QString& strText);
    // Runs the compiled program. Calls of names the script does not define go to
    // pMacro's Q_INVOKABLE methods, matched case-insensitively, both as global
    // names (Send "x") and as members of "ScriptControlMacro". pMacro may be null
    // (then such calls are error 13). bStop is looked at before every statement
    // and loop turn: once set, Run returns std::nullopt.
    // Past a limit of budget the run ends with its run-time error.
    // Returns the run-time error, or std::nullopt when the program ended or was stopped.
    std::optional<ScriptError> Run(QObject* pMacro, const std::atomic<bool>& bStop,
                                   const VbsBudget& budget = {});

private:
    ScriptError MakeError(unsigned nNumber, const QString& strSource, const QString& strDescription,
                          int nLine, int nColumn) const;
    QString PhysicalLine(int nLine) const;

    QString m_strText;
    std::optional<VbsProgram> m_program;
};
