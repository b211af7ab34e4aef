#pragma once

#include "recording/RecordBuffer.h"

#include <QString>

// Reads a data file back as records, for the history page. The whole file is
// copied and closed at once, so nothing that happens to it later can reach
// the copy. Any regular file is taken as records; a remainder under 12 bytes
// is ignored.
class CRecordingReader
{
public:
    // More records than a signed 32-bit count can hold are refused.
    static constexpr qint64 kMaxRecords = 0x7fffffffLL;

    // False, with errno in nError, for a file that cannot be opened, is
    // recorded into right now (its writer's lock), is not a regular file
    // (folder, FIFO, device: EINVAL), or is too large to copy (EFBIG past
    // kMaxRecords or half the physical memory).
    static bool Read(const QString& strPath, CRecordBuffer& arrRecords, int& nError);

    // Half the physical memory: the largest copy a load may make.
    static qint64 MaxCopyBytes();
};
