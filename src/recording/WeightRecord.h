#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <cstdint>

// One record of a data file: the write time as a Windows file time (100 ns
// intervals since 1601-01-01 UTC, low word first) and the measured value.
// Stored as 12 little-endian bytes, field by field, whatever the host.
struct WeightRecord
{
    static constexpr int kSize = 12;
    // File time of 1970-01-01 00:00:00 UTC.
    static constexpr qint64 kUnixEpochFileTime = 116444736000000000LL;
    static constexpr qint64 kIntervalsPerSecond = 10000000LL;

    quint32 m_nLowDateTime = 0;
    quint32 m_nHighDateTime = 0;
    qint32 m_nValue = 0;

    quint64 FileTime() const { return (quint64(m_nHighDateTime) << 32) | m_nLowDateTime; }
    void SetFileTime(quint64 nFileTime)
    {
        m_nLowDateTime = quint32(nFileTime);
        m_nHighDateTime = quint32(nFileTime >> 32);
    }

    // A record of value nValue written at nUnixMs milliseconds since 1970 UTC.
    static WeightRecord Make(qint32 nValue, qint64 nUnixMs);

    void ToBytes(char* pBytes) const;
    static WeightRecord FromBytes(const char* pBytes);

    // Milliseconds since 1970 UTC as a file time; a whole number of milliseconds.
    static quint64 FileTimeFromUnixMs(qint64 nUnixMs);
    // Whole seconds since 1970 UTC (rounded down) of a file time. False for a
    // file time with its top bit set, which no clock gives.
    static bool UnixSecondsFromFileTime(quint64 nFileTime, qint64& nSeconds);

    // The text file's line "%d    %s" and CR LF, the time as local
    // "%Y-%m-%d %H:%M:%S", in code page 936.
    static QByteArray TextLine(qint32 nValue, qint64 nUnixMs);
};
static_assert(sizeof(WeightRecord) == WeightRecord::kSize, "a record is 12 bytes in memory too");
