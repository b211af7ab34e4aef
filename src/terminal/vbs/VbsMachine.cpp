#include "terminal/vbs/VbsMachine.h"

#include "terminal/vbs/VbsBuiltins.h"
#include "terminal/vbs/VbsHostCall.h"
#include "terminal/vbs/VbsOperators.h"

CVbsMachine::CVbsMachine(const VbsProgram& program, CVbsHostCall& host,
                         const std::atomic<bool>& bStop, const VbsBudget& budget)
    : m_program(program), m_host(host), m_bStop(bStop), m_budget(budget)
{
}

std::optional<VbsRunError> CVbsMachine::Run()
{
    Frame top;
    top.arrLocals.resize(size_t(m_program.arrProcedures[0].nSlots));
    m_arrFrames.push_back(std::move(top));
    try {
        while (Step()) {
        }
    } catch (const VbsRuntimeError& error) {
        const Frame& frame = m_arrFrames.back();
        return VbsRunError{error, frame.nLine, frame.nColumn};
    }
    return std::nullopt;
}

CVbsValue CVbsMachine::Pop()
{
    CVbsValue value = std::move(m_arrStack.back());
    m_arrStack.pop_back();
    return value;
}

void CVbsMachine::CheckStringBudget() const
{
    qsizetype nChars = 0;
    const auto add = [&nChars](const CVbsValue& value) {
        if (value.IsString())
            nChars += value.StringValue().size();
    };
    for (const CVbsValue& value : m_arrStack)
        add(value);
    for (const Frame& frame : m_arrFrames)
        for (const CVbsValue& value : frame.arrLocals)
            add(value);
    if (nChars > m_budget.nMaxStringChars)
        throw VbsRuntimeError::OutOfMemory(m_budget.nMaxStringChars);
}

bool CVbsMachine::Step()
{
    if (m_budget.nMaxSteps > 0 && ++m_nSteps > m_budget.nMaxSteps)
        throw VbsRuntimeError::StepBudget(m_budget.nMaxSteps);
    Frame& frame = m_arrFrames.back();
    const VbsOp& op = m_program.arrProcedures[size_t(frame.nProc)].arrCode[size_t(frame.nPc++)];
    switch (op.eOp) {
    case EVbsOp::Statement:
        frame.nLine = op.nA;
        frame.nColumn = op.nB;
        return !Stopped();
    case EVbsOp::PushConst:
        m_arrStack.push_back(m_program.arrConsts[size_t(op.nA)]);
        break;
    case EVbsOp::LoadLocal:
        m_arrStack.push_back(frame.arrLocals[size_t(op.nA)]);
        break;
    case EVbsOp::LoadGlobal:
        m_arrStack.push_back(m_arrFrames.front().arrLocals[size_t(op.nA)]);
        break;
    case EVbsOp::StoreLocal:
        frame.arrLocals[size_t(op.nA)] = Pop();
        break;
    case EVbsOp::StoreGlobal:
        m_arrFrames.front().arrLocals[size_t(op.nA)] = Pop();
        break;
    case EVbsOp::Undefined:
        throw VbsRuntimeError::Undefined(m_program.arrNames[op.nA]);
    case EVbsOp::NotCallable:
        throw VbsRuntimeError::TypeMismatch(m_program.arrNames[op.nA]);
    case EVbsOp::CallUser:
    case EVbsOp::CallBuiltin:
    case EVbsOp::CallHost:
        Call(op);
        if (op.eOp != EVbsOp::CallUser && m_budget.nMaxStringChars > 0 &&
            m_arrStack.back().IsString())
            CheckStringBudget();
        return !Stopped();
    case EVbsOp::Unary:
        m_arrStack.back() = CVbsOperators::Unary(CVbsOperators::EUnary(op.nA), m_arrStack.back());
        break;
    case EVbsOp::Binary: {
        const CVbsValue b = Pop();
        m_arrStack.back() =
            CVbsOperators::Binary(CVbsOperators::EBinary(op.nA), m_arrStack.back(), b);
        // Only an operator or a call makes a new string; loads and stores share one.
        if (m_budget.nMaxStringChars > 0 && m_arrStack.back().IsString())
            CheckStringBudget();
        break;
    }
    case EVbsOp::Pop:
        m_arrStack.pop_back();
        break;
    case EVbsOp::Jump:
        frame.nPc = op.nA;
        return !Stopped();
    case EVbsOp::JumpIfFalse:
    case EVbsOp::JumpIfTrue:
        if (Pop().ToCondition() == (op.eOp == EVbsOp::JumpIfTrue))
            frame.nPc = op.nA;
        return !Stopped();
    case EVbsOp::ForPrepare: {
        // Bounds and step are taken once, as numbers.
        frame.arrLocals[size_t(op.nA) + 1] = Pop().ToNumeric();
        frame.arrLocals[size_t(op.nA)] = Pop().ToNumeric();
        m_arrStack.back() = m_arrStack.back().ToNumeric();
        break;
    }
    case EVbsOp::ForTest: {
        const CVbsValue counter = Pop();
        const CVbsValue& end = frame.arrLocals[size_t(op.nA)];
        const bool bUp = frame.arrLocals[size_t(op.nA) + 1].ToDouble() >= 0;
        const int nOrder = CVbsOperators::Compare(counter.ToNumeric(), end);
        if (bUp ? nOrder > 0 : nOrder < 0)
            frame.nPc = op.nB;
        return !Stopped();
    }
    case EVbsOp::ForStep:
        m_arrStack.back() =
            CVbsOperators::Binary(CVbsOperators::EBinary::Add, m_arrStack.back().ToNumeric(),
                                  frame.arrLocals[size_t(op.nA) + 1]);
        break;
    case EVbsOp::Return:
        Return();
        return m_arrFrames.size() > 0;
    default:
        throw VbsRuntimeError::TypeMismatch();
    }
    return true;
}

void CVbsMachine::Call(const VbsOp& op)
{
    if (op.eOp == EVbsOp::CallUser) {
        CallUser(op.nA, op.nB);
        return;
    }
    const size_t nFirst = m_arrStack.size() - size_t(op.nB);
    CVbsValue result =
        op.eOp == EVbsOp::CallBuiltin
            ? CVbsBuiltins::Call(op.nA, m_arrStack.data() + nFirst, op.nB)
            : m_host.Call(m_program.arrNames[op.nA], m_arrStack.data() + nFirst, op.nB);
    m_arrStack.resize(nFirst);
    m_arrStack.push_back(std::move(result));
}

void CVbsMachine::CallUser(int nProc, int nArguments)
{
    const VbsProcedure& proc = m_program.arrProcedures[size_t(nProc)];
    if (nArguments != proc.nParams)
        throw VbsRuntimeError::WrongArgumentCount(proc.strName);
    if (int(m_arrFrames.size()) > kMaxCallDepth)
        throw VbsRuntimeError::OutOfStackSpace();
    Frame frame;
    frame.nProc = nProc;
    frame.nLine = m_arrFrames.back().nLine;
    frame.nColumn = m_arrFrames.back().nColumn;
    frame.arrLocals.resize(size_t(proc.nSlots));
    const size_t nFirst = m_arrStack.size() - size_t(nArguments);
    for (int i = 0; i < nArguments; ++i)
        frame.arrLocals[size_t(i) + 1] = std::move(m_arrStack[nFirst + size_t(i)]);
    m_arrStack.resize(nFirst);
    frame.nStackBase = nFirst;
    m_arrFrames.push_back(std::move(frame));
}

void CVbsMachine::Return()
{
    Frame& frame = m_arrFrames.back();
    if (m_arrFrames.size() == 1) {
        m_arrFrames.clear();
        return;
    }
    m_arrStack.resize(frame.nStackBase);
    CVbsValue result = m_program.arrProcedures[size_t(frame.nProc)].bFunction
                           ? std::move(frame.arrLocals[0])
                           : CVbsValue();
    m_arrFrames.pop_back();
    m_arrStack.push_back(std::move(result));
}
