#include "params/PageDisplayState.h"

#include "module/LittleEndianReader.h"
#include "module/LittleEndianWriter.h"

QByteArray PageDisplayState::ToBytes() const
{
    CLittleEndianWriter writer;
    for (qint32 n :
         {m_nSelectedAddress, m_nNewAddress, m_nReserved, m_nUnit, m_nDecimals, m_nDivision,
          m_nMaximum, m_nMinimum, m_nDifference, m_bRestartStatistics, m_bRecording})
        writer.Put(n);
    writer.PutBytes(QByteArray(kReservedTailSize, '\0'));
    return writer.Bytes();
}

bool PageDisplayState::FromBytes(const QByteArray& bytes, PageDisplayState& state)
{
    if (bytes.size() != kSize)
        return false;
    CLittleEndianReader reader(bytes);
    PageDisplayState s;
    for (qint32* pn : {&s.m_nSelectedAddress, &s.m_nNewAddress, &s.m_nReserved, &s.m_nUnit,
                       &s.m_nDecimals, &s.m_nDivision, &s.m_nMaximum, &s.m_nMinimum,
                       &s.m_nDifference, &s.m_bRestartStatistics, &s.m_bRecording})
        *pn = reader.Take();
    state = s;
    return true;
}

QString PageDisplayState::CheckRanges() const
{
    struct Range
    {
        qint32 m_nValue;
        int m_nMin, m_nMax;
        const char* m_pszWhat;
    };
    const Range ranges[] = {
        {m_nSelectedAddress, 0, 31, "selected address"},
        {m_nNewAddress, 0, 31, "new address"},
        {m_nUnit, 0, 4, "unit"},
        {m_nDecimals, 0, 6, "decimals"},
        {m_nDivision, 0, 6, "division"},
    };
    for (const Range& range : ranges)
        if (range.m_nValue < range.m_nMin || range.m_nValue > range.m_nMax)
            return QStringLiteral("%1 %2 outside %3 to %4")
                .arg(QLatin1String(range.m_pszWhat))
                .arg(range.m_nValue)
                .arg(range.m_nMin)
                .arg(range.m_nMax);
    return QString();
}
