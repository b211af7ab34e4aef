#pragma once

#include <QString>

// An error of a script run, in the terms its report uses; shared with the
// JavaScript run.
struct ScriptError
{
    unsigned nNumber = 0; // 1002 syntax; VBScript run-time numbers; JS uses 1
    QString strSource;
    QString strDescription;
    unsigned nLine = 0;
    unsigned nColumn = 0; // from 1
    QString strCode;      // the offending physical line
};
