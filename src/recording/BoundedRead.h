#pragma once

#include <QByteArray>
#include <QString>

#include <fcntl.h>

// Reads a small file the tool keeps or is handed (settings, colour file,
// send text, parameter file, script) without trusting what lies at the path:
// it is opened without blocking, so a FIFO without a writer or a terminal
// cannot hold the caller, and only a regular file is read. What is read is
// bounded by the caller's limit, never by the file's size.
class CBoundedRead
{
public:
    enum class Longer
    {
        Refuse, // a file longer than the limit is refused with EFBIG
        Cut     // the first bytes up to the limit are read
    };

    // 0 with the bytes, or the errno: the open's, EINVAL for anything but a
    // regular file (folder, FIFO, device), EFBIG for a file refused as too
    // long, the read's. nOpenFlags are open(2)'s access flags (O_RDONLY,
    // O_RDWR, with O_CREAT a missing file is created empty, mode 0644).
    static int Read(const QString& strPath, qint64 nMaxBytes, Longer longer, QByteArray& bytes,
                    int nOpenFlags = O_RDONLY);

    // The reason for a message: "not a regular file", "larger than N bytes", strerror.
    static QString ErrorText(int nError, qint64 nMaxBytes);
};
