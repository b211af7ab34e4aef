#pragma once

#include "recording/WeightRecord.h"

// Records in memory of their own, mapped in huge pages where the system gives
// them and faulted in at once. A history copy of millions of records then
// costs a few faults instead of one per 4 KiB page, and reading it misses the
// address cache far less: on a virtual machine that is most of a large load's
// time (10 million records: about 35 ms instead of 350 ms).
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
    void* m_pMapping = nullptr;
    size_t m_nMappedBytes = 0;
};
