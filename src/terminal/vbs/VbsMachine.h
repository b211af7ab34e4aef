#pragma once

#include "terminal/vbs/VbsBudget.h"
#include "terminal/vbs/VbsProgram.h"
#include "terminal/vbs/VbsRuntimeError.h"

#include <atomic>
#include <optional>
#include <vector>

class CVbsHostCall;

struct VbsRunError
{
    VbsRuntimeError error;
    int nLine = 1;
    int nColumn = 1;
};

// Runs a resolved program on an explicit value stack and call stack, so
// neither deep expressions nor recursion in the script grow the C++ stack.
class CVbsMachine
{
public:
    static constexpr int kMaxCallDepth = 256;

    CVbsMachine(const VbsProgram& program, CVbsHostCall& host, const std::atomic<bool>& bStop,
                const VbsBudget& budget = {});
    // The run-time error, or nothing when the program ended or was stopped.
    std::optional<VbsRunError> Run();

private:
    struct Frame
    {
        int nProc = 0;
        int nPc = 0;
        size_t nStackBase = 0;
        int nLine = 1;
        int nColumn = 1;
        std::vector<CVbsValue> arrLocals;
    };

    // False when the program ended or was stopped.
    bool Step();
    bool Stopped() const { return m_bStop.load(std::memory_order_relaxed); }
    CVbsValue Pop();
    void Call(const VbsOp& op);
    void CallUser(int nProc, int nArguments);
    void Return();
    // Throws once the strings alive hold more characters than the budget allows.
    void CheckStringBudget() const;

    const VbsProgram& m_program;
    CVbsHostCall& m_host;
    const std::atomic<bool>& m_bStop;
    const VbsBudget m_budget;
    qint64 m_nSteps = 0;
    std::vector<Frame> m_arrFrames;
    std::vector<CVbsValue> m_arrStack;
};
