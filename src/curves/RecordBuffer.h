#pragma once

#include "curves/WeightRecord.h"

// Records in memory of their own, mapped and faulted in at once: a history
// copy of millions of records costs one mapping instead of a page fault per
// page, which is most of a large load's time.
class CRecordBuffer
{
public:
    CRecordBuffer() = default;
    // nCount zeroed records; throws std::bad_alloc when the memory is not there.
    explicit CRecordBuffer(qint64 nCount);
    ~CRecordBuffer();
    CRecordBuffer(CRecordBuffer&& other) noexcept;
    CRecordBuffer& operator=(CRecordBuffer&& other) noexcept;
    CRecordBuffer(const CRecordBuffer&) = delete;
    CRecordBuffer& operator=(const CRecordBuffer&) = delete;

    qint64 Count() const { return m_nCount; }
    WeightRecord* Data() { return m_pRecords; }
    const WeightRecord* Data() const { return m_pRecords; }
    WeightRecord& operator[](qint64 nIndex) { return m_pRecords[nIndex]; }
    const WeightRecord& operator[](qint64 nIndex) const { return m_pRecords[nIndex]; }
    // Keeps the first nCount records (nCount <= Count()).
    void Shrink(qint64 nCount);

private:
    void Release();

    WeightRecord* m_pRecords = nullptr;
    qint64 m_nCount = 0;
    size_t m_nMappedBytes = 0;
};
