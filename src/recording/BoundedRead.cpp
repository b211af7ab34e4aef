#include "recording/BoundedRead.h"
#include "recording/FdCloser.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

int CBoundedRead::Read(const QString& strPath, qint64 nMaxBytes, Longer longer, QByteArray& bytes,
                       int nOpenFlags)
{
    bytes.clear();
    const int nFd = ::open(QFile::encodeName(strPath).constData(),
                           nOpenFlags | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0644);
    if (nFd < 0)
        return errno;
    const CFdCloser holder(nFd);
    struct stat st
    {
    };
    if (::fstat(nFd, &st) != 0)
        return errno;
    if (!S_ISREG(st.st_mode))
        return EINVAL;
    if (longer == Longer::Refuse && st.st_size > nMaxBytes)
        return EFBIG;
    // One byte past the limit tells a file grown since fstat from a whole one.
    const qint64 nWanted = longer == Longer::Refuse ? nMaxBytes + 1 : nMaxBytes;
    QByteArray read(qsizetype(qMin<qint64>(nWanted, qMax<qint64>(st.st_size, 0) + 1)), '\0');
    qint64 nGot = 0;
    while (nGot < nWanted) {
        if (nGot == read.size())
            read.resize(qsizetype(qMin<qint64>(nWanted, nGot * 2 + 4096)));
        const ssize_t nRead = ::read(nFd, read.data() + nGot, size_t(read.size() - nGot));
        if (nRead < 0 && errno == EINTR)
            continue;
        if (nRead < 0)
            return errno;
        if (nRead == 0)
            break;
        nGot += nRead;
    }
    if (nGot > nMaxBytes)
        return EFBIG;
    read.truncate(qsizetype(nGot));
    bytes = std::move(read);
    return 0;
}

QString CBoundedRead::ErrorText(int nError, qint64 nMaxBytes)
{
    if (nError == EINVAL)
        return QStringLiteral("not a regular file");
    if (nError == EFBIG)
        return QStringLiteral("larger than %1 bytes").arg(nMaxBytes);
    return QString::fromLocal8Bit(std::strerror(nError));
}
