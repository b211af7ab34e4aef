#pragma once

#include "terminal/vbs/VbsValue.h"

#include <optional>

// The built-in functions and constants of the VBScript subset.
class CVbsBuiltins
{
public:
    // The built-in function of that lower-case name, or -1.
    static int Find(const QString& strLowerName);
    // vbCrLf, vbCr, vbLf, vbTab by lower-case name.
    static std::optional<CVbsValue> Constant(const QString& strLowerName);
    // Throws VbsRuntimeError (5, 6, 13, 450).
    static CVbsValue Call(int nId, const CVbsValue* pArguments, int nArguments);

private:
    static CVbsValue Substring(int nId, const CVbsValue* pArguments, int nArguments);
    static CVbsValue InStr(const CVbsValue* pArguments, int nArguments);
    static CVbsValue Chr(const CVbsValue& value);
    static CVbsValue Asc(const CVbsValue& value);
    static CVbsValue Convert(int nId, const CVbsValue& value);
};
