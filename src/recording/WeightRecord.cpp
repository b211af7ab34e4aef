#include "recording/WeightRecord.h"

#include "module/GbkCodec.h"

#include <QtEndian>

#include <cstdio>
#include <ctime>

WeightRecord WeightRecord::Make(qint32 nValue, qint64 nUnixMs)
{
    WeightRecord record;
    record.SetFileTime(FileTimeFromUnixMs(nUnixMs));
    record.m_nValue = nValue;
    return record;
}

void WeightRecord::ToBytes(char* pBytes) const
{
    qToLittleEndian<quint32>(m_nLowDateTime, pBytes);
    qToLittleEndian<quint32>(m_nHighDateTime, pBytes + 4);
    qToLittleEndian<qint32>(m_nValue, pBytes + 8);
}

WeightRecord WeightRecord::FromBytes(const char* pBytes)
{
    WeightRecord record;
    record.m_nLowDateTime = qFromLittleEndian<quint32>(pBytes);
    record.m_nHighDateTime = qFromLittleEndian<quint32>(pBytes + 4);
    record.m_nValue = qFromLittleEndian<qint32>(pBytes + 8);
    return record;
}

quint64 WeightRecord::FileTimeFromUnixMs(qint64 nUnixMs)
{
    return quint64(kUnixEpochFileTime + nUnixMs * (kIntervalsPerSecond / 1000));
}

bool WeightRecord::UnixSecondsFromFileTime(quint64 nFileTime, qint64& nSeconds)
{
    if (nFileTime >> 63)
        return false;
    const qint64 nSince = qint64(nFileTime) - kUnixEpochFileTime;
    // Floor division: a time before 1970 still falls in its own second.
    nSeconds = nSince / kIntervalsPerSecond;
    if (nSince % kIntervalsPerSecond < 0)
        --nSeconds;
    return true;
}

QByteArray WeightRecord::TextLine(qint32 nValue, qint64 nUnixMs)
{
    std::time_t tSeconds = std::time_t(nUnixMs / 1000);
    if (nUnixMs % 1000 < 0)
        --tSeconds;
    std::tm tmLocal{};
    char szTime[64] = "";
    if (localtime_r(&tSeconds, &tmLocal))
        std::strftime(szTime, sizeof szTime, "%Y-%m-%d %H:%M:%S", &tmLocal);
    char szLine[128];
    std::snprintf(szLine, sizeof szLine, "%d    %s\r\n", int(nValue), szTime);
    return CGbkCodec::Encode(QString::fromLatin1(szLine));
}
