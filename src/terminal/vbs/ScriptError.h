#pragma once

#include <QString>

// A script's compile or run-time error, as the error box and tolvex-cli report it.
// Shared by the VBScript interpreter and the JavaScript run.
struct ScriptError
{
    unsigned nNumber = 0;   // 1002 syntax error; VBScript run-time numbers; JavaScript uses 1
    QString strSource;      // "VBScript compilation error", "VBScript runtime error", ...
    QString strDescription; // "Expected 'End If'", "Division by zero", ...
    unsigned nLine = 0;     // from 1; a continued statement reports its first line
    unsigned nColumn = 0;   // from 1; a run-time error gives the statement's first column
    QString strCode;        // that physical line as it stands
};
