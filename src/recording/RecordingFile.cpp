#include "recording/RecordingFile.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

CRecordingFile::~CRecordingFile()
{
    Close();
}

bool CRecordingFile::CreateNew(const QString& strPath, Empty empty)
{
    return Open(strPath, O_CREAT | O_EXCL, empty);
}

bool CRecordingFile::CreateOrTruncate(const QString& strPath)
{
    // Created here if new, so that an unused new file can be removed again.
    if (Open(strPath, O_CREAT | O_EXCL, Empty::Remove))
        return true;
    if (m_nError != EEXIST)
        return false;
    m_nError = 0;
    m_nFirstError = 0;
    if (!Open(strPath, 0, Empty::Keep))
        return false;
    // Truncated only once the lock is held: a running recording is never cut.
    // A device (/dev/null, /dev/full) has nothing to cut.
    struct stat st
    {
    };
    if (::fstat(m_nFd, &st) == 0 && S_ISREG(st.st_mode) && ::ftruncate(m_nFd, 0) != 0) {
        const int nError = errno;
        Close();
        Fail(nError);
        return false;
    }
    return true;
}

bool CRecordingFile::Open(const QString& strPath, int nFlags, Empty empty)
{
    Close();
    m_bCreated = false;
    m_strPath = strPath;
    m_nSize = 0;
    m_bReported = false;
    m_nError = 0;
    m_nFirstError = 0;
    const QByteArray path = QFile::encodeName(strPath);
    const int nFd = ::open(path.constData(), O_WRONLY | O_CLOEXEC | nFlags, 0644);
    if (nFd < 0) {
        Fail(errno);
        return false;
    }
    if (::flock(nFd, LOCK_EX | LOCK_NB) != 0) {
        const int nError = errno;
        if (nFlags & O_EXCL)
            ::unlink(path.constData());
        ::close(nFd);
        Fail(nError);
        return false;
    }
    m_nFd = nFd;
    m_bCreated = (nFlags & O_EXCL) != 0;
    m_empty = empty;
    return true;
}

bool CRecordingFile::Write(const char* pBytes, qint64 nLength)
{
    if (m_nFd < 0) {
        Fail(EBADF);
        return false;
    }
    qint64 nDone = 0;
    while (nDone < nLength) {
        const ssize_t nWritten = ::write(m_nFd, pBytes + nDone, size_t(nLength - nDone));
        if (nWritten < 0 && errno == EINTR)
            continue;
        if (nWritten <= 0) {
            const int nError = nWritten < 0 ? errno : EIO;
            if (nDone > 0 && ::ftruncate(m_nFd, off_t(m_nSize)) == 0)
                ::lseek(m_nFd, off_t(m_nSize), SEEK_SET);
            Fail(nError);
            return false;
        }
        nDone += nWritten;
    }
    m_nSize += nLength;
    return true;
}

bool CRecordingFile::AppendRecord(const WeightRecord& record)
{
    char bytes[WeightRecord::kSize];
    record.ToBytes(bytes);
    return Write(bytes, sizeof bytes);
}

int CRecordingFile::TakeFailureToReport()
{
    if (m_bReported || m_nFirstError == 0)
        return 0;
    m_bReported = true;
    return m_nFirstError;
}

bool CRecordingFile::Close()
{
    if (m_nFd < 0)
        return true;
    // Removed while the lock is still held: no reader sees it half gone.
    if (m_bCreated && m_empty == Empty::Remove && m_nSize == 0) {
        struct stat st
        {
        };
        if (::fstat(m_nFd, &st) == 0 && st.st_size == 0)
            ::unlink(QFile::encodeName(m_strPath).constData());
    }
    const bool bClosed = ::close(m_nFd) == 0;
    m_nFd = -1;
    if (!bClosed) {
        // Still this object's file: Discard may remove it.
        Fail(errno);
        return false;
    }
    m_bCreated = false;
    return true;
}

void CRecordingFile::Discard()
{
    if (m_bCreated)
        ::unlink(QFile::encodeName(m_strPath).constData());
    m_bCreated = false;
    Close();
}

void CRecordingFile::Fail(int nError)
{
    m_nError = nError;
    if (m_nFirstError == 0)
        m_nFirstError = nError;
}
