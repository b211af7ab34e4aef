#pragma once

#include "recording/RecordBuffer.h"

#include <vector>

// A history curve's own copy of a data file's records, with a summary of
// minima and maxima over aligned blocks, so that the extremes of any run of
// records cost a few steps whatever the file's size.
class CHistoryData
{
public:
    CHistoryData() = default;
    explicit CHistoryData(CRecordBuffer arrRecords);
    explicit CHistoryData(const std::vector<WeightRecord>& arrRecords);

    qint64 Count() const { return m_arrRecords.Count(); }
    const WeightRecord& Record(qint64 nIndex) const { return m_arrRecords[nIndex]; }
    // Seconds since 1970 of a record; false for a time no clock gives.
    bool Seconds(qint64 nIndex, qint64& nSeconds) const;
    // Smallest and largest value of the records [nFirst, nEnd), nFirst < nEnd <= Count().
    void MinMax(qint64 nFirst, qint64 nEnd, qint32& nMin, qint32& nMax) const;

private:
    // Level k holds the extremes of blocks of 2^(k + kFirstLevel) records.
    static constexpr int kFirstLevel = 4;
    struct Extremes
    {
        qint32 m_nMin;
        qint32 m_nMax;
    };

    void Summarise();

    CRecordBuffer m_arrRecords;
    std::vector<std::vector<Extremes>> m_arrLevels;
};
