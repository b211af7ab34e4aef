#include "curves/HistoryData.h"

#include <algorithm>

CHistoryData::CHistoryData(std::vector<WeightRecord> arrRecords)
    : m_arrRecords(std::move(arrRecords))
{
    const size_t nBlock = size_t(1) << kFirstLevel;
    std::vector<Extremes> arrLevel;
    arrLevel.reserve(m_arrRecords.size() / nBlock);
    for (size_t i = 0; i + nBlock <= m_arrRecords.size(); i += nBlock) {
        Extremes e{m_arrRecords[i].m_nValue, m_arrRecords[i].m_nValue};
        for (size_t j = i + 1; j < i + nBlock; ++j) {
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
        // The largest summarised block that starts at i and ends by nEnd.
        int nLevel = -1;
        for (int k = int(m_arrLevels.size()) - 1; k >= 0; --k) {
            const qint64 nSize = qint64(1) << (k + kFirstLevel);
            if (i % nSize == 0 && i + nSize <= nEnd) {
                nLevel = k;
                break;
            }
        }
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
