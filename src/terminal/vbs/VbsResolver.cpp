#include "terminal/vbs/VbsResolver.h"

#include "terminal/vbs/VbsBuiltins.h"

CVbsResolver::CVbsResolver(VbsProgram& program) : m_program(program) {}

void CVbsResolver::Resolve()
{
    // The top level first: the globals it creates are seen by every procedure.
    for (size_t i = 0; i < m_program.arrProcedures.size(); ++i)
        ResolveProcedure(int(i));
}

void CVbsResolver::ResolveProcedure(int nProc)
{
    VbsProcedure& proc = m_program.arrProcedures[size_t(nProc)];
    int nLine = 1;
    int nColumn = 1;
    for (VbsOp& op : proc.arrCode) {
        switch (op.eOp) {
        case EVbsOp::Statement:
            nLine = op.nA;
            nColumn = op.nB;
            break;
        case EVbsOp::LoadName:
            ResolveLoad(nProc, op);
            break;
        case EVbsOp::StoreName:
            ResolveStore(nProc, op, nLine, nColumn);
            break;
        case EVbsOp::CallName:
            ResolveCall(nProc, op);
            break;
        case EVbsOp::CallMember:
            op.eOp = EVbsOp::CallHost;
            break;
        default:
            break;
        }
    }
    // The For loops' hidden slots follow the named ones.
    for (VbsOp& op : proc.arrCode)
        if (op.eOp == EVbsOp::ForPrepare || op.eOp == EVbsOp::ForTest || op.eOp == EVbsOp::ForStep)
            op.nA += proc.nSlots;
    proc.nSlots += proc.nHidden;
    proc.nHidden = 0;
}

bool CVbsResolver::IsOwnFunction(int nProc, const QString& strLower) const
{
    const VbsProcedure& proc = m_program.arrProcedures[size_t(nProc)];
    return nProc > 0 && proc.bFunction && proc.strName.toLower() == strLower;
}

std::optional<CVbsValue> CVbsResolver::ConstantOf(int nProc, const QString& strLower) const
{
    const VbsProcedure& proc = m_program.arrProcedures[size_t(nProc)];
    const auto it = proc.hashConsts.constFind(strLower);
    if (it != proc.hashConsts.constEnd())
        return m_program.arrConsts[size_t(*it)];
    if (nProc > 0 && !proc.hashLocals.contains(strLower))
        return ConstantOf(0, strLower);
    return CVbsBuiltins::Constant(strLower);
}

int CVbsResolver::AddConstant(const CVbsValue& value)
{
    m_program.arrConsts.push_back(value);
    return int(m_program.arrConsts.size()) - 1;
}

void CVbsResolver::ResolveLoad(int nProc, VbsOp& op)
{
    const QString strLower = m_program.arrNames[op.nA].toLower();
    VbsProcedure& proc = m_program.arrProcedures[size_t(nProc)];
    const VbsProcedure& global = m_program.arrProcedures[0];
    if (IsOwnFunction(nProc, strLower)) {
        op = VbsOp{EVbsOp::LoadLocal, 0, 0};
    } else if (proc.hashLocals.contains(strLower)) {
        op = VbsOp{EVbsOp::LoadLocal, proc.hashLocals.value(strLower), 0};
    } else if (const auto value = ConstantOf(nProc, strLower)) {
        op = VbsOp{EVbsOp::PushConst, AddConstant(*value), 0};
    } else if (global.hashLocals.contains(strLower)) {
        op = VbsOp{EVbsOp::LoadGlobal, global.hashLocals.value(strLower), 0};
    } else if (m_program.hashProcedures.contains(strLower)) {
        op = VbsOp{EVbsOp::CallUser, m_program.hashProcedures.value(strLower), 0};
    } else if (const int nBuiltin = CVbsBuiltins::Find(strLower); nBuiltin >= 0) {
        op = VbsOp{EVbsOp::CallBuiltin, nBuiltin, 0};
    } else if (m_program.bExplicit) {
        op.eOp = EVbsOp::Undefined;
    } else {
        proc.hashLocals.insert(strLower, proc.nSlots);
        op = VbsOp{EVbsOp::LoadLocal, proc.nSlots++, 0};
    }
}

void CVbsResolver::ResolveStore(int nProc, VbsOp& op, int nLine, int nColumn)
{
    const QString& strName = m_program.arrNames[op.nA];
    const QString strLower = strName.toLower();
    VbsProcedure& proc = m_program.arrProcedures[size_t(nProc)];
    const VbsProcedure& global = m_program.arrProcedures[0];
    if (IsOwnFunction(nProc, strLower)) {
        op = VbsOp{EVbsOp::StoreLocal, 0, 0};
    } else if (proc.hashLocals.contains(strLower)) {
        op = VbsOp{EVbsOp::StoreLocal, proc.hashLocals.value(strLower), 0};
    } else if (ConstantOf(nProc, strLower) || m_program.hashProcedures.contains(strLower) ||
               CVbsBuiltins::Find(strLower) >= 0) {
        throw VbsSyntaxError{nLine, nColumn,
                             QStringLiteral("Illegal assignment: '%1'").arg(strName)};
    } else if (global.hashLocals.contains(strLower)) {
        op = VbsOp{EVbsOp::StoreGlobal, global.hashLocals.value(strLower), 0};
    } else if (m_program.bExplicit) {
        op.eOp = EVbsOp::Undefined;
    } else {
        proc.hashLocals.insert(strLower, proc.nSlots);
        op = VbsOp{EVbsOp::StoreLocal, proc.nSlots++, 0};
    }
}

void CVbsResolver::ResolveCall(int nProc, VbsOp& op)
{
    const QString strLower = m_program.arrNames[op.nA].toLower();
    const VbsProcedure& proc = m_program.arrProcedures[size_t(nProc)];
    const VbsProcedure& global = m_program.arrProcedures[0];
    if (IsOwnFunction(nProc, strLower))
        op.eOp = EVbsOp::CallUser, op.nA = nProc;
    else if (proc.hashLocals.contains(strLower) || proc.hashConsts.contains(strLower) ||
             global.hashLocals.contains(strLower) || global.hashConsts.contains(strLower))
        op.eOp = EVbsOp::NotCallable;
    else if (m_program.hashProcedures.contains(strLower))
        op.eOp = EVbsOp::CallUser, op.nA = m_program.hashProcedures.value(strLower);
    else if (const int nBuiltin = CVbsBuiltins::Find(strLower); nBuiltin >= 0)
        op.eOp = EVbsOp::CallBuiltin, op.nA = nBuiltin;
    else
        op.eOp = EVbsOp::CallHost;
}
