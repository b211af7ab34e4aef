#pragma once

#include "terminal/vbs/ScriptError.h"

#include <QString>

// The text of the error box of a failed script run: number, source (the
// tool's title when the engine names none) and description, then the
// position when there is one and the offending line when it is not empty.
QString ReportScriptError(const ScriptError& error);

// Physical line nLine (from 1) of strText, where a lone CR, a lone LF or CR LF
// ends a line; empty past the end.
QString ScriptSourceLine(const QString& strText, unsigned nLine);
