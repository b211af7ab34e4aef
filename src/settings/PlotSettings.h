#pragma once

#include <QByteArray>
#include <QtEndian>

// Value ranges of the real-time and the history curve, stored as these 24
// little-endian bytes.
struct PlotSettings
{
    qint32 m_nRealTimeMax = 100;
    qint32 m_nRealTimeMin = -100;
    qint32 m_nRealTimeDivisions = 20;
    qint32 m_nHistoryMax = 100;
    qint32 m_nHistoryMin = -100;
    qint32 m_nHistoryDivisions = 20;

    static constexpr int kSize = 24;
    static constexpr int kMinDivisions = 1;
    static constexpr int kMaxDivisions = 100;

    // A curve's divisions outside 1..100, or a maximum below its minimum (a
    // hand-edited or damaged file), back at the defaults; the other values
    // stay. True when one changed.
    bool RepairFields()
    {
        const PlotSettings defaults;
        const PlotSettings before = *this;
        RepairCurve(m_nRealTimeMax, m_nRealTimeMin, m_nRealTimeDivisions, defaults.m_nRealTimeMax,
                    defaults.m_nRealTimeMin, defaults.m_nRealTimeDivisions);
        RepairCurve(m_nHistoryMax, m_nHistoryMin, m_nHistoryDivisions, defaults.m_nHistoryMax,
                    defaults.m_nHistoryMin, defaults.m_nHistoryDivisions);
        return !(*this == before);
    }

    QByteArray ToBytes() const
    {
        QByteArray bytes(kSize, '\0');
        const qint32 fields[6] = {m_nRealTimeMax, m_nRealTimeMin, m_nRealTimeDivisions,
                                  m_nHistoryMax,  m_nHistoryMin,  m_nHistoryDivisions};
        for (int i = 0; i < 6; ++i)
            qToLittleEndian<qint32>(fields[i], bytes.data() + 4 * i);
        return bytes;
    }

    // Takes exactly 24 bytes; anything else leaves the record unchanged.
    bool FromBytes(const QByteArray& bytes)
    {
        if (bytes.size() != kSize)
            return false;
        const char* p = bytes.constData();
        m_nRealTimeMax = qFromLittleEndian<qint32>(p);
        m_nRealTimeMin = qFromLittleEndian<qint32>(p + 4);
        m_nRealTimeDivisions = qFromLittleEndian<qint32>(p + 8);
        m_nHistoryMax = qFromLittleEndian<qint32>(p + 12);
        m_nHistoryMin = qFromLittleEndian<qint32>(p + 16);
        m_nHistoryDivisions = qFromLittleEndian<qint32>(p + 20);
        return true;
    }

    bool operator==(const PlotSettings&) const = default;

private:
    static void RepairCurve(qint32& nMax, qint32& nMin, qint32& nDivisions, qint32 nDefaultMax,
                            qint32 nDefaultMin, qint32 nDefaultDivisions)
    {
        if (nMax < nMin) {
            nMax = nDefaultMax;
            nMin = nDefaultMin;
        }
        if (nDivisions < kMinDivisions || nDivisions > kMaxDivisions)
            nDivisions = nDefaultDivisions;
    }
};
