#include "curves/RecordBuffer.h"

#include <new>
#include <sys/mman.h>
#include <utility>

CRecordBuffer::CRecordBuffer(qint64 nCount)
{
    if (nCount <= 0)
        return;
    const size_t nBytes = size_t(nCount) * WeightRecord::kSize;
    void* pMemory = ::mmap(nullptr, nBytes, PROT_READ | PROT_WRITE,
                           MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
    if (pMemory == MAP_FAILED)
        throw std::bad_alloc();
    // Anonymous memory is zeroed: the records are there, value 0 at time 0.
    m_pRecords = static_cast<WeightRecord*>(pMemory);
    m_nCount = nCount;
    m_nMappedBytes = nBytes;
}

CRecordBuffer::~CRecordBuffer()
{
    Release();
}

CRecordBuffer::CRecordBuffer(CRecordBuffer&& other) noexcept
    : m_pRecords(std::exchange(other.m_pRecords, nullptr)),
      m_nCount(std::exchange(other.m_nCount, 0)),
      m_nMappedBytes(std::exchange(other.m_nMappedBytes, 0))
{
}

CRecordBuffer& CRecordBuffer::operator=(CRecordBuffer&& other) noexcept
{
    if (this != &other) {
        Release();
        m_pRecords = std::exchange(other.m_pRecords, nullptr);
        m_nCount = std::exchange(other.m_nCount, 0);
        m_nMappedBytes = std::exchange(other.m_nMappedBytes, 0);
    }
    return *this;
}

void CRecordBuffer::Shrink(qint64 nCount)
{
    if (nCount >= 0 && nCount < m_nCount)
        m_nCount = nCount;
}

void CRecordBuffer::Release()
{
    if (m_pRecords)
        ::munmap(m_pRecords, m_nMappedBytes);
    m_pRecords = nullptr;
    m_nCount = 0;
    m_nMappedBytes = 0;
}
