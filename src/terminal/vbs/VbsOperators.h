#pragma once

#include "terminal/vbs/VbsValue.h"

// The VBScript operators on values. Errors throw VbsRuntimeError.
class CVbsOperators
{
public:
    enum class EBinary
    {
        Add,
        Subtract,
        Multiply,
        Divide,
        IntDivide,
        Mod,
        Power,
        Concat,
        Equal,
        NotEqual,
        Less,
        Greater,
        LessEqual,
        GreaterEqual,
        And,
        Or,
        Xor
    };
    enum class EUnary
    {
        Negate,
        Not
    };

    static CVbsValue Binary(EBinary eOp, const CVbsValue& a, const CVbsValue& b);
    static CVbsValue Unary(EUnary eOp, const CVbsValue& a);
    // Negative, zero or positive as a compares to b.
    static int Compare(const CVbsValue& a, const CVbsValue& b);

private:
    static CVbsValue Arithmetic(EBinary eOp, const CVbsValue& a, const CVbsValue& b);
    static CVbsValue Bitwise(EBinary eOp, const CVbsValue& a, const CVbsValue& b);
};
