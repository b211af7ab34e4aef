#include "module/ModuleReply.h"

#include "module/ModuleCommand.h"

#include <limits>

int CModuleReply::Atoi(const QByteArray& reply)
{
    qsizetype i = 0;
    const qsizetype n = reply.size();
    while (i < n && (reply[i] == ' ' || (reply[i] >= '\t' && reply[i] <= '\r')))
        ++i;
    bool bNegative = false;
    if (i < n && (reply[i] == '+' || reply[i] == '-'))
        bNegative = reply[i++] == '-';
    qint64 nValue = 0;
    constexpr qint64 kLimit = qint64(std::numeric_limits<int>::max()) + 1;
    for (; i < n && reply[i] >= '0' && reply[i] <= '9'; ++i)
        nValue = qMin(kLimit, nValue * 10 + (reply[i] - '0'));
    if (bNegative)
        nValue = -nValue;
    return static_cast<int>(qBound<qint64>(qint64(std::numeric_limits<int>::min()), nValue,
                                           qint64(std::numeric_limits<int>::max())));
}

bool CModuleReply::IsAcknowledged(const QByteArray& reply)
{
    return reply.startsWith("0\r\n");
}

bool CModuleReply::DecodeMeasuredValue(const QByteArray& reply, bool bChecksum, qint32& nValue)
{
    return CheckMeasuredValue(reply, bChecksum, nValue) == ValueReply::Decoded;
}

CModuleReply::ValueReply CModuleReply::CheckMeasuredValue(const QByteArray& reply, bool bChecksum,
                                                          qint32& nValue)
{
    if (reply.size() < 6)
        return ValueReply::TooShort;
    if (reply.size() > 6)
        return ValueReply::TooLong;
    const auto b0 = static_cast<quint8>(reply[0]);
    const auto b1 = static_cast<quint8>(reply[1]);
    const auto b2 = static_cast<quint8>(reply[2]);
    if (bChecksum && (b0 ^ b1 ^ b2) != static_cast<quint8>(reply[3]))
        return ValueReply::BadCheckByte;
    qint32 nRaw = (b0 << 16) | (b1 << 8) | b2;
    if (nRaw >= 0x800000)
        nRaw -= 0x1000000;
    nValue = nRaw;
    return ValueReply::Decoded;
}

bool CModuleReply::IsUnsupported(const QByteArray& reply)
{
    return reply == "?\r\n";
}

bool CModuleReply::IsAddressEcho(const QByteArray& reply, int nAddress)
{
    return reply == CModuleCommand::AddressText(nAddress) + "\r\n";
}

QList<QByteArray> CModuleReply::IdentificationFields(const QByteArray& reply)
{
    struct Span
    {
        int m_nStart, m_nLen;
    };
    static constexpr Span kFields[] = {{0, 3}, {4, 15}, {20, 7}, {28, 3}};
    QList<QByteArray> fields;
    for (const Span& span : kFields)
        fields.append(reply.mid(span.m_nStart, span.m_nLen));
    return fields;
}

QByteArray CModuleReply::IdentificationText(const QByteArray& reply)
{
    return reply.left(kMaxIdentificationLen);
}

bool CModuleReply::SplitForWrite(const QByteArray& text, QByteArray& field2, QByteArray& field3)
{
    const qsizetype nFirst = text.indexOf(',');
    const qsizetype nSecond = nFirst < 0 ? -1 : text.indexOf(',', nFirst + 1);
    if (nSecond < 0)
        return false;
    qsizetype nThird = text.indexOf(',', nSecond + 1);
    if (nThird < 0) {
        nThird = text.size();
        if (text.endsWith("\r\n"))
            nThird -= 2;
    }
    field2 = text.mid(nFirst + 1, nSecond - nFirst - 1).left(kField2MaxLen);
    field3 = text.mid(nSecond + 1, nThird - nSecond - 1).left(kField3MaxLen);
    return true;
}
