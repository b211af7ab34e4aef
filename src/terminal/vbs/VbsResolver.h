#pragma once

#include "terminal/vbs/VbsParser.h"
#include "terminal/vbs/VbsProgram.h"

// Binds the names a parsed program uses: locals, globals, constants, the
// script's own procedures (callable before their definition), built-ins, and
// the macro object for the rest. Without Option Explicit an unknown name is a
// new variable of its scope. Throws VbsSyntaxError for an assignment to a
// constant or procedure.
class CVbsResolver
{
public:
    explicit CVbsResolver(VbsProgram& program);
    void Resolve();

private:
    void ResolveProcedure(int nProc);
    void ResolveLoad(int nProc, VbsOp& op);
    void ResolveStore(int nProc, VbsOp& op, int nLine, int nColumn);
    void ResolveCall(int nProc, VbsOp& op);
    std::optional<CVbsValue> ConstantOf(int nProc, const QString& strLower) const;
    int AddConstant(const CVbsValue& value);
    bool IsOwnFunction(int nProc, const QString& strLower) const;

    VbsProgram& m_program;
};
