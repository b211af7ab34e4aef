#include "curves/HistoryData.h"

#include <algorithm>
#include <bit>

CHistoryData::CHistoryData(CRecordBuffer arrRecords) : m_arrRecords(std::move(arrRecords))
{
    Summarise();
}

CHistoryData::CHistoryData(const std::vector<WeightRecord>& arrRecords)
    : m_arrRecords(qint64(arrRecords.size()))
{
    std::copy(arrRecords.begin(), arrRecords.end(), m_arrRecords.Data());
    Summarise();
}

void CHistoryData::Summarise()
{
    const qint64 nBlock = qint64(1) << kFirstLevel;
    std::vector<Extremes> arrLevel;
    arrLevel.reserve(size_t(m_arrRecords.Count() / nBlock));
    for (qint64 i = 0; i + nBlock <= m_arrRecords.Count(); i += nBlock) {
        Extremes e{m_arrRecords[i].m_nValue, m_arrRecords[i].m_nValue};
        for (qint64 j = i + 1; j < i + nBlock; ++j) {
            e.m_nMin = std::min(e.m_nMin, m_arrRecords[j].m_nValue);
            e.m_nMax = std::max(e.m_nMax, m_arrRecords[j].m_nValue);
        }
        arrLevel.push_back(e);
    }
    while (!arrLevel.empty()) {
        std::vector<Extremes> arrNext;
        arrNext.reserve(arrLevel.size() / 2);
        for (size_t i = 0; i + 1 < arrLevel.size(); i += 2)
            arrNext.push_back({std::min(arrLevel[i].m_nMin, arrLevel[i + 1].m_nMin),
                               std::max(arrLevel[i].m_nMax, arrLevel[i + 1].m_nMax)});
        m_arrLevels.push_back(std::move(arrLevel));
        arrLevel = std::move(arrNext);
    }
}

bool CHistoryData::Seconds(qint64 nIndex, qint64& nSeconds) const
{
    return WeightRecord::UnixSecondsFromFileTime(Record(nIndex).FileTime(), nSeconds);
}

void CHistoryData::MinMax(qint64 nFirst, qint64 nEnd, qint32& nMin, qint32& nMax) const
{
    nMin = nMax = Record(nFirst).m_nValue;
    qint64 i = nFirst;
    while (i < nEnd) {
        // The largest summarised block that starts at i and ends by nEnd:
        // aligned to i's lowest set bit, no longer than what is left.
        const int nAligned = i == 0 ? 62 : std::countr_zero(quint64(i));
        const int nFits = 63 - std::countl_zero(quint64(nEnd - i));
        const int nLevel =
            std::min({nAligned, nFits, int(m_arrLevels.size()) - 1 + kFirstLevel}) - kFirstLevel;
        if (nLevel < 0) {
            nMin = std::min(nMin, Record(i).m_nValue);
            nMax = std::max(nMax, Record(i).m_nValue);
            ++i;
            continue;
        }
        const Extremes& e = m_arrLevels[size_t(nLevel)][size_t(i >> (nLevel + kFirstLevel))];
        nMin = std::min(nMin, e.m_nMin);
        nMax = std::max(nMax, e.m_nMax);
        i += qint64(1) << (nLevel + kFirstLevel);
    }
}
