#include "terminal/vbs/VbsValue.h"

#include "terminal/vbs/VbsRuntimeError.h"

#include <cmath>
#include <limits>

CVbsValue CVbsValue::FromBool(bool b)
{
    CVbsValue v;
    v.m_eType = EType::Boolean;
    v.m_nValue = b ? -1 : 0;
    return v;
}

CVbsValue CVbsValue::FromLong(qint32 n)
{
    CVbsValue v;
    v.m_eType = EType::Long;
    v.m_nValue = n;
    return v;
}

CVbsValue CVbsValue::FromWide(qint64 n)
{
    if (n >= std::numeric_limits<qint32>::min() && n <= std::numeric_limits<qint32>::max())
        return FromLong(qint32(n));
    return FromDouble(double(n));
}

CVbsValue CVbsValue::FromDouble(double d)
{
    if (!std::isfinite(d))
        throw VbsRuntimeError::Overflow();
    CVbsValue v;
    v.m_eType = EType::Double;
    v.m_dValue = d;
    return v;
}

CVbsValue CVbsValue::FromString(QString str)
{
    if (str.size() > kMaxStringLength)
        throw VbsRuntimeError::OutOfStringSpace();
    CVbsValue v;
    v.m_eType = EType::String;
    v.m_strValue = std::move(str);
    return v;
}

bool CVbsValue::IsNumber() const
{
    return m_eType == EType::Boolean || m_eType == EType::Long || m_eType == EType::Double;
}

std::optional<CVbsValue> CVbsValue::ParseNumber(const QString& strText)
{
    const QString str = strText.trimmed();
    if (str.size() > 2 && str[0] == u'&' && (str[1] == u'H' || str[1] == u'h')) {
        if (str.size() > 10)
            return std::nullopt;
        bool bOk = false;
        const quint32 n = str.mid(2).toUInt(&bOk, 16);
        if (!bOk)
            return std::nullopt;
        return FromLong(qint32(n));
    }
    // sign? digits* (. digits*)? ([eE] sign? digits+)?, with at least one digit
    qsizetype i = 0;
    const qsizetype n = str.size();
    if (i < n && (str[i] == u'+' || str[i] == u'-'))
        ++i;
    qsizetype nDigits = 0;
    bool bWhole = true;
    while (i < n && str[i].isDigit() && str[i].unicode() < 128)
        ++i, ++nDigits;
    if (i < n && str[i] == u'.') {
        bWhole = false;
        ++i;
        while (i < n && str[i].isDigit() && str[i].unicode() < 128)
            ++i, ++nDigits;
    }
    if (nDigits == 0)
        return std::nullopt;
    if (i < n && (str[i] == u'e' || str[i] == u'E')) {
        bWhole = false;
        ++i;
        if (i < n && (str[i] == u'+' || str[i] == u'-'))
            ++i;
        qsizetype nExp = 0;
        while (i < n && str[i].isDigit() && str[i].unicode() < 128)
            ++i, ++nExp;
        if (nExp == 0)
            return std::nullopt;
    }
    if (i != n)
        return std::nullopt;
    bool bOk = false;
    if (bWhole) {
        const qint64 nValue = str.toLongLong(&bOk);
        if (bOk)
            return FromWide(nValue);
    }
    const double d = str.toDouble(&bOk);
    if (!bOk || !std::isfinite(d))
        return std::nullopt;
    return FromDouble(d);
}

CVbsValue CVbsValue::ToNumeric() const
{
    switch (m_eType) {
    case EType::Empty:
        return FromLong(0);
    case EType::Boolean:
        return FromLong(m_nValue);
    case EType::Long:
    case EType::Double:
        return *this;
    case EType::String:
        if (auto number = ParseNumber(m_strValue))
            return *number;
        break;
    }
    throw VbsRuntimeError::TypeMismatch();
}

double CVbsValue::ToDouble() const
{
    const CVbsValue v = ToNumeric();
    return v.m_eType == EType::Double ? v.m_dValue : double(v.m_nValue);
}

qint32 CVbsValue::ToLong() const
{
    const CVbsValue v = ToNumeric();
    return v.m_eType == EType::Double ? RoundToLong(v.m_dValue) : v.m_nValue;
}

bool CVbsValue::ToCondition() const
{
    if (m_eType == EType::Boolean)
        return m_nValue != 0;
    return ToDouble() != 0;
}

QString CVbsValue::ToText() const
{
    switch (m_eType) {
    case EType::Empty:
        return QString();
    case EType::Boolean:
        return m_nValue ? QStringLiteral("True") : QStringLiteral("False");
    case EType::Long:
        return QString::number(m_nValue);
    case EType::Double:
        return NumberText(m_dValue);
    case EType::String:
        return m_strValue;
    }
    return QString();
}

bool CVbsValue::IsNumericLike() const
{
    return m_eType != EType::String || ParseNumber(m_strValue).has_value();
}

QString CVbsValue::NumberText(double d)
{
    if (d == std::floor(d) && std::fabs(d) < 1e15)
        return QString::number(qint64(d));
    return QString::number(d, 'G', 15);
}

qint32 CVbsValue::RoundToLong(double d)
{
    const double dRounded = std::nearbyint(d);
    if (!(dRounded >= -2147483648.0 && dRounded <= 2147483647.0))
        throw VbsRuntimeError::Overflow();
    return qint32(dRounded);
}
