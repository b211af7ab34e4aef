#include "terminal/vbs/VbsBuiltins.h"

#include "module/GbkCodec.h"
#include "terminal/vbs/VbsRuntimeError.h"

#include <cmath>

namespace {
enum EBuiltin
{
    kLen,
    kLeft,
    kRight,
    kMid,
    kInStr,
    kUCase,
    kLCase,
    kTrim,
    kChr,
    kAsc,
    kHex,
    kCStr,
    kCInt,
    kCLng,
    kCDbl,
    kInt,
    kAbs,
    kIsNumeric,
    kCount
};

struct Builtin
{
    const char* pszName;
    int nMinArguments;
    int nMaxArguments;
};

constexpr Builtin kBuiltins[kCount] = {
    {"Len", 1, 1},   {"Left", 2, 2},  {"Right", 2, 2},     {"Mid", 2, 3},  {"InStr", 2, 3},
    {"UCase", 1, 1}, {"LCase", 1, 1}, {"Trim", 1, 1},      {"Chr", 1, 1},  {"Asc", 1, 1},
    {"Hex", 1, 1},   {"CStr", 1, 1},  {"CInt", 1, 1},      {"CLng", 1, 1}, {"CDbl", 1, 1},
    {"Int", 1, 1},   {"Abs", 1, 1},   {"IsNumeric", 1, 1},
};

QString NameOf(int nId)
{
    return QLatin1String(kBuiltins[nId].pszName);
}

// A length or position argument: a Long, never negative.
qint32 CountArgument(int nId, const CVbsValue& value, qint32 nMin)
{
    const qint32 n = value.ToLong();
    if (n < nMin)
        throw VbsRuntimeError::InvalidCall(NameOf(nId));
    return n;
}
} // namespace

int CVbsBuiltins::Find(const QString& strLowerName)
{
    for (int i = 0; i < kCount; ++i)
        if (strLowerName.compare(QLatin1String(kBuiltins[i].pszName), Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

std::optional<CVbsValue> CVbsBuiltins::Constant(const QString& strLowerName)
{
    if (strLowerName == u"vbcrlf")
        return CVbsValue::FromString(QStringLiteral("\r\n"));
    if (strLowerName == u"vbcr")
        return CVbsValue::FromString(QStringLiteral("\r"));
    if (strLowerName == u"vblf")
        return CVbsValue::FromString(QStringLiteral("\n"));
    if (strLowerName == u"vbtab")
        return CVbsValue::FromString(QStringLiteral("\t"));
    return std::nullopt;
}

CVbsValue CVbsBuiltins::Call(int nId, const CVbsValue* pArguments, int nArguments)
{
    if (nArguments < kBuiltins[nId].nMinArguments || nArguments > kBuiltins[nId].nMaxArguments)
        throw VbsRuntimeError::WrongArgumentCount(NameOf(nId));
    const CVbsValue& a = pArguments[0];
    switch (nId) {
    case kLen:
        return CVbsValue::FromLong(qint32(a.ToText().size()));
    case kLeft:
    case kRight:
    case kMid:
        return Substring(nId, pArguments, nArguments);
    case kInStr:
        return InStr(pArguments, nArguments);
    case kUCase:
        return CVbsValue::FromString(a.ToText().toUpper());
    case kLCase:
        return CVbsValue::FromString(a.ToText().toLower());
    case kTrim: {
        const QString str = a.ToText();
        qsizetype nBegin = 0;
        qsizetype nEnd = str.size();
        while (nBegin < nEnd && str[nBegin] == u' ')
            ++nBegin;
        while (nEnd > nBegin && str[nEnd - 1] == u' ')
            --nEnd;
        return CVbsValue::FromString(str.mid(nBegin, nEnd - nBegin));
    }
    case kChr:
        return Chr(a);
    case kAsc:
        return Asc(a);
    case kIsNumeric:
        return CVbsValue::FromBool(a.IsNumericLike() &&
                                   !(a.IsString() && a.StringValue().isEmpty()));
    default:
        return Convert(nId, a);
    }
}

CVbsValue CVbsBuiltins::Substring(int nId, const CVbsValue* pArguments, int nArguments)
{
    const QString str = pArguments[0].ToText();
    if (nId == kMid) {
        const qint32 nStart = CountArgument(nId, pArguments[1], 1);
        const qint32 nLength = nArguments == 3 ? CountArgument(nId, pArguments[2], 0) : -1;
        return CVbsValue::FromString(str.mid(nStart - 1, nLength));
    }
    const qint32 nLength = CountArgument(nId, pArguments[1], 0);
    return CVbsValue::FromString(nId == kLeft ? str.left(nLength) : str.right(nLength));
}

CVbsValue CVbsBuiltins::InStr(const CVbsValue* pArguments, int nArguments)
{
    qint32 nStart = 1;
    if (nArguments == 3) {
        nStart = CountArgument(kInStr, pArguments[0], 1);
        ++pArguments;
    }
    const QString strText = pArguments[0].ToText();
    const QString strFind = pArguments[1].ToText();
    if (nStart > strText.size())
        return CVbsValue::FromLong(0);
    return CVbsValue::FromLong(qint32(strText.indexOf(strFind, nStart - 1) + 1));
}

CVbsValue CVbsBuiltins::Chr(const CVbsValue& value)
{
    qint32 nCode = value.ToLong();
    if (nCode < -32768 || nCode > 65535)
        throw VbsRuntimeError::InvalidCall(NameOf(kChr));
    if (nCode < 0)
        nCode += 65536;
    if (nCode < 128)
        return CVbsValue::FromString(QString(QChar(char16_t(nCode))));
    // Other codes are code page 936 characters: one byte, or lead and trail byte.
    QByteArray bytes;
    if (nCode > 255)
        bytes.append(char(nCode >> 8));
    bytes.append(char(nCode & 0xFF));
    const QString str = CGbkCodec::Decode(bytes);
    if (str.size() != 1 || str[0] == QChar::ReplacementCharacter)
        throw VbsRuntimeError::InvalidCall(NameOf(kChr));
    return CVbsValue::FromString(str);
}

CVbsValue CVbsBuiltins::Asc(const CVbsValue& value)
{
    const QString str = value.ToText();
    if (str.isEmpty())
        throw VbsRuntimeError::InvalidCall(NameOf(kAsc));
    if (str[0].unicode() < 128)
        return CVbsValue::FromLong(str[0].unicode());
    const qsizetype nLength = str[0].isHighSurrogate() && str.size() > 1 ? 2 : 1;
    const QString strFirst = str.left(nLength);
    if (!CGbkCodec::CanEncode(strFirst))
        return CVbsValue::FromLong('?');
    const QByteArray bytes = CGbkCodec::Encode(strFirst);
    qint32 nCode = 0;
    for (const char c : bytes)
        nCode = (nCode << 8) | quint8(c);
    return CVbsValue::FromLong(nCode & 0xFFFF);
}

CVbsValue CVbsBuiltins::Convert(int nId, const CVbsValue& value)
{
    switch (nId) {
    case kHex:
        return CVbsValue::FromString(QString::number(quint32(value.ToLong()), 16).toUpper());
    case kCStr:
        return CVbsValue::FromString(value.ToText());
    case kCInt: {
        const qint32 n = value.ToLong();
        if (n < -32768 || n > 32767)
            throw VbsRuntimeError::Overflow();
        return CVbsValue::FromLong(n);
    }
    case kCLng:
        return CVbsValue::FromLong(value.ToLong());
    case kCDbl:
        return CVbsValue::FromDouble(value.ToDouble());
    case kInt: {
        const CVbsValue n = value.ToNumeric();
        if (n.Type() == CVbsValue::EType::Long)
            return n;
        return CVbsValue::FromDouble(std::floor(n.DoubleValue()));
    }
    case kAbs: {
        const CVbsValue n = value.ToNumeric();
        if (n.Type() == CVbsValue::EType::Long)
            return CVbsValue::FromWide(std::abs(qint64(n.LongValue())));
        return CVbsValue::FromDouble(std::fabs(n.DoubleValue()));
    }
    default:
        break;
    }
    throw VbsRuntimeError::TypeMismatch();
}
