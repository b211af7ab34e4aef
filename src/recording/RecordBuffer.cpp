#include "recording/RecordBuffer.h"

#include <cerrno>
#include <cstdint>
#include <new>
#include <sys/mman.h>
#include <unistd.h>
#include <utility>

namespace {

constexpr size_t kHugePage = size_t(2) << 20;

// Writes to every page, for kernels without MADV_POPULATE_WRITE.
void TouchPages(char* pBytes, size_t nBytes)
{
    const size_t nPage = size_t(::sysconf(_SC_PAGESIZE));
    for (size_t i = 0; i < nBytes; i += nPage)
        reinterpret_cast<volatile char*>(pBytes)[i] = 0;
}

} // namespace

CRecordBuffer::CRecordBuffer(qint64 nCount)
{
    if (nCount <= 0)
        return;
    const size_t nBytes = size_t(nCount) * WeightRecord::kSize;
    // One huge page more than needed, so that the records can start on a
    // huge-page boundary.
    const size_t nMapped = nBytes + kHugePage;
    void* pMapping =
        ::mmap(nullptr, nMapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (pMapping == MAP_FAILED)
        throw std::bad_alloc();
    m_pMapping = pMapping;
    m_nMappedBytes = nMapped;
    char* pStart = reinterpret_cast<char*>(
        (reinterpret_cast<std::uintptr_t>(pMapping) + kHugePage - 1) & ~(kHugePage - 1));
    // Without transparent huge pages this fails and the pages stay small.
    ::madvise(pStart, nBytes, MADV_HUGEPAGE);
    // Faulted in now: memory that is not there fails here, not later in a read.
    if (::madvise(pStart, nBytes, MADV_POPULATE_WRITE) != 0) {
        if (errno != EINVAL) {
            Release();
            throw std::bad_alloc();
        }
        TouchPages(pStart, nBytes);
    }
    // Anonymous memory is zeroed: the records are there, value 0 at time 0.
    m_pRecords = reinterpret_cast<WeightRecord*>(pStart);
    m_nCount = nCount;
}

CRecordBuffer::~CRecordBuffer()
{
    Release();
}

CRecordBuffer::CRecordBuffer(CRecordBuffer&& other) noexcept
    : m_pRecords(std::exchange(other.m_pRecords, nullptr)),
      m_nCount(std::exchange(other.m_nCount, 0)),
      m_pMapping(std::exchange(other.m_pMapping, nullptr)),
      m_nMappedBytes(std::exchange(other.m_nMappedBytes, 0))
{
}

CRecordBuffer& CRecordBuffer::operator=(CRecordBuffer&& other) noexcept
{
    if (this != &other) {
        Release();
        m_pRecords = std::exchange(other.m_pRecords, nullptr);
        m_nCount = std::exchange(other.m_nCount, 0);
        m_pMapping = std::exchange(other.m_pMapping, nullptr);
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
    if (m_pMapping)
        ::munmap(m_pMapping, m_nMappedBytes);
    m_pMapping = nullptr;
    m_pRecords = nullptr;
    m_nCount = 0;
    m_nMappedBytes = 0;
}
