#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>

// A VBScript value: Empty, Boolean (True is -1), Long (32 bits), Double or String,
// with the conversions the language applies. Conversions that fail throw
// VbsRuntimeError (type mismatch 13, overflow 6).
class CVbsValue
{
public:
    enum class EType
    {
        Empty,
        Boolean,
        Long,
        Double,
        String
    };

    // Longest string a program may build.
    static constexpr qsizetype kMaxStringLength = 16 * 1024 * 1024;

    CVbsValue() = default;
    static CVbsValue FromBool(bool b);
    static CVbsValue FromLong(qint32 n);
    // A Long when the value fits, else a Double.
    static CVbsValue FromWide(qint64 n);
    // Throws overflow when the value is not finite.
    static CVbsValue FromDouble(double d);
    static CVbsValue FromString(QString str);

    EType Type() const { return m_eType; }
    bool IsEmpty() const { return m_eType == EType::Empty; }
    bool IsString() const { return m_eType == EType::String; }
    // Boolean, Long or Double.
    bool IsNumber() const;
    bool BoolValue() const { return m_nValue != 0; }
    qint32 LongValue() const { return m_nValue; }
    double DoubleValue() const { return m_dValue; }
    const QString& StringValue() const { return m_strValue; }

    // The number a text stands for ("12", " -1.5e3 ", "&HFF"), if any.
    static std::optional<CVbsValue> ParseNumber(const QString& strText);
    // The value as Long or Double: Empty is 0, True -1; a string must be numeric.
    CVbsValue ToNumeric() const;
    double ToDouble() const;
    // Rounded half to even into the Long range, else overflow.
    qint32 ToLong() const;
    bool ToCondition() const;
    QString ToText() const;
    // True when the value is a number, Empty, or a numeric string.
    bool IsNumericLike() const;

    // A Double as text: whole values without a decimal part, up to 15
    // significant digits, exponent form ("1E+20") beyond.
    static QString NumberText(double d);
    // Rounds half to even; overflow unless the result fits a Long.
    static qint32 RoundToLong(double d);

private:
    EType m_eType = EType::Empty;
    qint32 m_nValue = 0;
    double m_dValue = 0;
    QString m_strValue;
};
