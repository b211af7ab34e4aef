#include "recording/RecordingReader.h"
#include "recording/FdCloser.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <new>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

qint64 CRecordingReader::MaxCopyBytes()
{
    const long nPages = ::sysconf(_SC_PHYS_PAGES);
    const long nPageSize = ::sysconf(_SC_PAGESIZE);
    if (nPages <= 0 || nPageSize <= 0)
        return kMaxRecords * WeightRecord::kSize;
    return qint64(nPages) * nPageSize / 2;
}

bool CRecordingReader::Read(const QString& strPath, CRecordBuffer& arrRecords, int& nError)
{
    // Non-blocking, so that a FIFO cannot hold the caller in open().
    const int nFd = ::open(QFile::encodeName(strPath).constData(),
                           O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (nFd < 0) {
        nError = errno;
        return false;
    }
    const CFdCloser closer(nFd);
    struct stat st
    {
    };
    if (::fstat(nFd, &st) != 0) {
        nError = errno;
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        nError = EINVAL;
        return false;
    }
    // A running recording holds its file exclusively.
    if (::flock(nFd, LOCK_SH | LOCK_NB) != 0) {
        nError = errno;
        return false;
    }
    const qint64 nCount = qint64(st.st_size) / WeightRecord::kSize;
    if (nCount > kMaxRecords || nCount * WeightRecord::kSize > MaxCopyBytes()) {
        nError = EFBIG;
        return false;
    }
    CRecordBuffer arrRead;
    try {
        arrRead = CRecordBuffer(nCount);
    } catch (const std::bad_alloc&) {
        nError = ENOMEM;
        return false;
    }
    // The count comes from the bytes obtained: a file cut short meanwhile
    // gives fewer records, never stale ones.
    char* pBytes = reinterpret_cast<char*>(arrRead.Data());
    const qint64 nWanted = nCount * WeightRecord::kSize;
    qint64 nGot = 0;
    while (nGot < nWanted) {
        const ssize_t nRead = ::read(nFd, pBytes + nGot, size_t(nWanted - nGot));
        if (nRead < 0 && errno == EINTR)
            continue;
        if (nRead < 0) {
            nError = errno;
            return false;
        }
        if (nRead == 0)
            break;
        nGot += nRead;
    }
    arrRead.Shrink(nGot / WeightRecord::kSize);
    if constexpr (Q_BYTE_ORDER != Q_LITTLE_ENDIAN) {
        for (qint64 i = 0; i < arrRead.Count(); ++i)
            arrRead[i] = WeightRecord::FromBytes(reinterpret_cast<const char*>(&arrRead[i]));
    }
    arrRecords = std::move(arrRead);
    nError = 0;
    return true;
}
