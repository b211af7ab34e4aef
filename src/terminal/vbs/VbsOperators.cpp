#include "terminal/vbs/VbsOperators.h"

#include "terminal/vbs/VbsRuntimeError.h"

#include <cmath>

namespace {
using EType = CVbsValue::EType;

CVbsValue Concatenate(const QString& a, const QString& b)
{
    if (a.size() + b.size() > CVbsValue::kMaxStringLength)
        throw VbsRuntimeError::OutOfStringSpace();
    return CVbsValue::FromString(a + b);
}

qint32 BitwiseOperand(const CVbsValue& v)
{
    return v.ToLong();
}
} // namespace

CVbsValue CVbsOperators::Binary(EBinary eOp, const CVbsValue& a, const CVbsValue& b)
{
    switch (eOp) {
    case EBinary::Add:
        if (a.IsString() && b.IsString())
            return Concatenate(a.StringValue(), b.StringValue());
        if (a.IsEmpty() && b.IsString())
            return b;
        if (b.IsEmpty() && a.IsString())
            return a;
        return Arithmetic(eOp, a, b);
    case EBinary::Concat:
        return Concatenate(a.ToText(), b.ToText());
    case EBinary::Equal:
        return CVbsValue::FromBool(Compare(a, b) == 0);
    case EBinary::NotEqual:
        return CVbsValue::FromBool(Compare(a, b) != 0);
    case EBinary::Less:
        return CVbsValue::FromBool(Compare(a, b) < 0);
    case EBinary::Greater:
        return CVbsValue::FromBool(Compare(a, b) > 0);
    case EBinary::LessEqual:
        return CVbsValue::FromBool(Compare(a, b) <= 0);
    case EBinary::GreaterEqual:
        return CVbsValue::FromBool(Compare(a, b) >= 0);
    case EBinary::And:
    case EBinary::Or:
    case EBinary::Xor:
        return Bitwise(eOp, a, b);
    default:
        return Arithmetic(eOp, a, b);
    }
}

CVbsValue CVbsOperators::Arithmetic(EBinary eOp, const CVbsValue& a, const CVbsValue& b)
{
    const CVbsValue na = a.ToNumeric();
    const CVbsValue nb = b.ToNumeric();
    const bool bLongs = na.Type() == EType::Long && nb.Type() == EType::Long;
    switch (eOp) {
    case EBinary::Add:
        if (bLongs)
            return CVbsValue::FromWide(qint64(na.LongValue()) + nb.LongValue());
        return CVbsValue::FromDouble(na.ToDouble() + nb.ToDouble());
    case EBinary::Subtract:
        if (bLongs)
            return CVbsValue::FromWide(qint64(na.LongValue()) - nb.LongValue());
        return CVbsValue::FromDouble(na.ToDouble() - nb.ToDouble());
    case EBinary::Multiply:
        if (bLongs)
            return CVbsValue::FromWide(qint64(na.LongValue()) * nb.LongValue());
        return CVbsValue::FromDouble(na.ToDouble() * nb.ToDouble());
    case EBinary::Divide:
        if (nb.ToDouble() == 0)
            throw VbsRuntimeError::DivisionByZero();
        return CVbsValue::FromDouble(na.ToDouble() / nb.ToDouble());
    case EBinary::IntDivide:
    case EBinary::Mod: {
        const qint64 nA = na.ToLong();
        const qint64 nB = nb.ToLong();
        if (nB == 0)
            throw VbsRuntimeError::DivisionByZero();
        return CVbsValue::FromWide(eOp == EBinary::Mod ? nA % nB : nA / nB);
    }
    case EBinary::Power: {
        const double dBase = na.ToDouble();
        const double dExponent = nb.ToDouble();
        if (dBase < 0 && dExponent != std::floor(dExponent))
            throw VbsRuntimeError::InvalidCall(QStringLiteral("^"));
        if (dBase == 0 && dExponent < 0)
            throw VbsRuntimeError::InvalidCall(QStringLiteral("^"));
        return CVbsValue::FromDouble(std::pow(dBase, dExponent));
    }
    default:
        break;
    }
    throw VbsRuntimeError::TypeMismatch();
}

CVbsValue CVbsOperators::Bitwise(EBinary eOp, const CVbsValue& a, const CVbsValue& b)
{
    const bool bBooleans = a.Type() == EType::Boolean && b.Type() == EType::Boolean;
    const qint32 nA = BitwiseOperand(a);
    const qint32 nB = BitwiseOperand(b);
    qint32 nResult = 0;
    if (eOp == EBinary::And)
        nResult = nA & nB;
    else if (eOp == EBinary::Or)
        nResult = nA | nB;
    else
        nResult = nA ^ nB;
    return bBooleans ? CVbsValue::FromBool(nResult != 0) : CVbsValue::FromLong(nResult);
}

CVbsValue CVbsOperators::Unary(EUnary eOp, const CVbsValue& a)
{
    if (eOp == EUnary::Not) {
        if (a.Type() == EType::Boolean)
            return CVbsValue::FromBool(!a.BoolValue());
        return CVbsValue::FromLong(~BitwiseOperand(a));
    }
    const CVbsValue n = a.ToNumeric();
    if (n.Type() == EType::Long)
        return CVbsValue::FromWide(-qint64(n.LongValue()));
    return CVbsValue::FromDouble(-n.DoubleValue());
}

int CVbsOperators::Compare(const CVbsValue& a, const CVbsValue& b)
{
    // Numeric when both sides are numbers (Empty counting as 0), or one is a
    // number and the other a numeric string; else text against text.
    const bool bNumeric =
        (a.IsNumber() || a.IsEmpty()) && (b.IsNumber() || b.IsEmpty())
            ? !(a.IsEmpty() && b.IsEmpty())
            : (a.IsNumber() && b.IsNumericLike()) || (b.IsNumber() && a.IsNumericLike());
    if (bNumeric) {
        const CVbsValue na = a.ToNumeric();
        const CVbsValue nb = b.ToNumeric();
        if (na.Type() == EType::Long && nb.Type() == EType::Long)
            return na.LongValue() < nb.LongValue() ? -1 : na.LongValue() > nb.LongValue() ? 1 : 0;
        const double dA = na.ToDouble();
        const double dB = nb.ToDouble();
        return dA < dB ? -1 : dA > dB ? 1 : 0;
    }
    const int n = QString::compare(a.ToText(), b.ToText(), Qt::CaseSensitive);
    return n < 0 ? -1 : n > 0 ? 1 : 0;
}
