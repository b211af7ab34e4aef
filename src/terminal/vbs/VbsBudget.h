#pragma once

#include <QtGlobal>

// Limits a host sets on a run: the machine's steps, and the characters of all
// strings alive at once (on the value stack and in variables; a string held
// twice counts twice). Past either, the run ends with a run-time error. Zero
// is no limit.
struct VbsBudget
{
    qint64 nMaxSteps = 0;
    qsizetype nMaxStringChars = 0;
};
