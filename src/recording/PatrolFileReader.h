#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// Reads a patrol recording (.sdat) back: 4-byte little-endian values without
// a header. The tool only writes these files; tests, benches and anyone
// checking a recording read them through here. Bytes after the last whole
// value (a recording cut short) are counted, never taken as a value.
class CPatrolFileReader
{
public:
    static constexpr qsizetype kValueSize = 4;
    // A longer file is refused (EFBIG): 256 Mi values, months of one
    // module's patrol at the wire rate.
    static constexpr qint64 kMaxBytes = qint64(1) << 30;

    // The whole values of the bytes; nTornBytes gets the count after the last.
    static QList<qint32> Values(const QByteArray& bytes, qsizetype& nTornBytes);
    // 0 with the values, or the errno of a file that cannot be read (see
    // CBoundedRead: EINVAL for anything but a regular file, EFBIG past kMaxBytes).
    static int Read(const QString& strPath, QList<qint32>& arrValues, qsizetype& nTornBytes);
};
