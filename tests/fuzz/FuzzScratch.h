#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

// A folder of this process's own for the files a target writes and reads
// back each run: in memory (/dev/shm) where the system has it.
inline const QTemporaryDir& FuzzScratchDir()
{
    static const QTemporaryDir dir(QDir(QStringLiteral("/dev/shm")).exists()
                                       ? QStringLiteral("/dev/shm/tolvex-fuzz-XXXXXX")
                                       : QDir::tempPath() + QStringLiteral("/tolvex-fuzz-XXXXXX"));
    return dir;
}

// The bytes as the whole of the file, written without Qt's write buffer.
inline bool WriteWholeFile(QFile& file, const QByteArray& bytes)
{
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered) &&
           file.write(bytes) == bytes.size();
}
